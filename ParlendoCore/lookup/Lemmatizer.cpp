#include "lookup/Lemmatizer.h"

#include "foundation/Text.h"

#include <algorithm>

namespace parlendo {

namespace {

// The rules look only at the last few characters and cut at most four.
constexpr size_t tailLength = 5;

class Word {
  public:
    explicit Word(std::string_view word) : word_(word), size_(text::characterCount(word)) {
        size_t head = size_ > tailLength ? size_ - tailLength : 0;
        std::string_view tail = word.substr(text::characterPrefix(word, head).size());
        size_t previous = 0;
        for (size_t i = 1; i <= size_ - head; ++i) {
            size_t end = text::characterPrefix(tail, i).size();
            tail_.emplace_back(tail.substr(previous, end - previous));
            previous = end;
        }
    }

    size_t size() const { return size_; }

    // Whether the last characters are those of an ASCII suffix, one character per letter.
    bool endsWith(std::string_view suffix) const {
        if (suffix.size() > tail_.size()) {
            return false;
        }
        size_t offset = tail_.size() - suffix.size();
        for (size_t i = 0; i < suffix.size(); ++i) {
            if (tail_[offset + i] != suffix.substr(i, 1)) {
                return false;
            }
        }
        return true;
    }

    // The word without its last k characters.
    std::string stem(size_t k) const { return text::characterPrefix(word_, size_ - k); }

    // The character at a 1-based position within the last five.
    const std::string& at(size_t position) const {
        return tail_[position - 1 - (size_ - tail_.size())];
    }

  private:
    std::string_view word_;
    size_t size_;
    std::vector<std::string> tail_;
};

}  // namespace

std::vector<std::string> Lemmatizer::suffixCandidates(std::string_view input) {
    // The character walk below measures in valid UTF-8; a damaged byte reads as U+FFFD.
    const std::string valid = text::sanitize(input);
    const Word word(valid);
    const size_t n = word.size();
    std::vector<std::string> candidates;
    auto add = [&](std::string candidate) {
        candidates.push_back(std::move(candidate));
    };

    if (n >= 4 && word.endsWith("ies")) {
        add(word.stem(3) + "y");
    }
    if (n >= 3 && word.endsWith("es")) {
        add(word.stem(2));
    }
    if (n >= 2 && word.endsWith("s") && !word.endsWith("ss")) {
        add(word.stem(1));
    }
    if (n >= 4 && word.endsWith("ing")) {
        add(word.stem(3));
        add(word.stem(3) + "e");
        if (n >= 5 && word.at(n - 3) == word.at(n - 4)) {
            add(word.stem(4));
        }
    }
    if (n >= 3 && word.endsWith("ed")) {
        add(word.stem(2));
        add(word.stem(1));
        if (n >= 4 && word.at(n - 2) == word.at(n - 3)) {
            add(word.stem(3));
        }
    }
    if (n >= 4 && word.endsWith("ied")) {
        add(word.stem(3) + "y");
    }
    if (n >= 3 && word.endsWith("er")) {
        add(word.stem(2));
        add(word.stem(1));
    }
    if (n >= 4 && word.endsWith("est")) {
        add(word.stem(3));
        add(word.stem(2));
    }

    std::vector<std::string> unique;
    for (auto& candidate : candidates) {
        if (std::find(unique.begin(), unique.end(), candidate) == unique.end()) {
            unique.push_back(std::move(candidate));
        }
    }
    return unique;
}

}  // namespace parlendo
