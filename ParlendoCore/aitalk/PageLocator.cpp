#include "aitalk/PageLocator.h"

#include "foundation/PyText.h"
#include "foundation/Text.h"

#include <string.h>

#include <algorithm>
#include <numeric>

namespace parlendo {

namespace {

std::int64_t costOfWords(const PageText::Words& words) {
    std::int64_t cost = PageLocator::wordSetCost;
    for (const auto& word : words) {
        cost += static_cast<std::int64_t>(word.size()) + PageLocator::wordCost;
    }
    return cost;
}

bool contains(const std::string& page, const std::string& probe) {
    if (page.size() < probe.size()) {
        return false;
    }
    if (probe.empty()) {
        return true;
    }
    return ::memmem(page.data(), page.size(), probe.data(), probe.size()) != nullptr;
}

struct Probe {
    std::string bytes;
    const char* route;
};

struct Candidate {
    const ReadyDocument* doc;
    std::shared_ptr<const std::vector<std::string>> pages;
    std::vector<int> order;
};

}  // namespace

PageLocator::PageLocator(std::shared_ptr<PageCopyStore> copies,
                         std::shared_ptr<const MonotonicClock> clock, std::int64_t bytesMax)
    : copies_(std::move(copies)),
      clock_(clock ? std::move(clock) : SystemClock::shared()),
      bytesMax_(bytesMax) {}

void PageLocator::clear() {
    std::lock_guard lock(mutex_);
    indexes_.clear();
    indexOrder_.clear();
    indexBytes_ = 0;
    lastHit_.reset();
}

std::int64_t PageLocator::indexBytes() const {
    std::lock_guard lock(mutex_);
    return indexBytes_;
}

std::vector<std::string> PageLocator::cachedDocuments() const {
    std::lock_guard lock(mutex_);
    return indexOrder_;
}

std::optional<std::string> PageLocator::lastHit() const {
    std::lock_guard lock(mutex_);
    return lastHit_;
}

std::vector<ReadyDocument> PageLocator::ordered(const std::vector<ReadyDocument>& documents,
                                                const std::optional<std::string>& matched,
                                                const std::optional<std::string>& title,
                                                const std::optional<std::string>& lastHit) {
    const std::string loweredTitle = PyText::lower(text::nfc(title.value_or("")));
    auto rank = [&](const ReadyDocument& doc) {
        if (matched && *matched == doc.id) {
            return 0;
        }
        if (!loweredTitle.empty()) {
            std::string name = PyText::lower(text::nfc(doc.fileName));
            if (name.ends_with(".pdf")) {
                name.resize(name.size() - 4);
            }
            if (!name.empty() && loweredTitle.find(name) != std::string::npos) {
                return 1;
            }
        }
        if (lastHit && *lastHit == doc.id) {
            return 2;
        }
        return 3;
    };
    std::vector<std::pair<int, const ReadyDocument*>> ranked;
    ranked.reserve(documents.size());
    for (const auto& doc : documents) {
        ranked.emplace_back(rank(doc), &doc);
    }
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        if (a.first != b.first) {
            return a.first < b.first;
        }
        return a.second->createdAt > b.second->createdAt;
    });
    std::vector<ReadyDocument> out;
    out.reserve(ranked.size());
    for (const auto& [r, doc] : ranked) {
        out.push_back(*doc);
    }
    return out;
}

void PageLocator::touchLocked(const std::string& id) {
    indexOrder_.erase(std::remove(indexOrder_.begin(), indexOrder_.end(), id), indexOrder_.end());
    indexOrder_.push_back(id);
}

void PageLocator::evictLocked() {
    for (;;) {
        const bool over = indexBytes_ > bytesMax_;
        if (over ? indexOrder_.size() < 2 : indexOrder_.size() <= indexDocsMax) {
            return;
        }
        const std::string id = indexOrder_.front();
        indexOrder_.erase(indexOrder_.begin());
        if (auto it = indexes_.find(id); it != indexes_.end()) {
            indexBytes_ -= it->second.cost;
            indexes_.erase(it);
        }
    }
}

PageLocator::Pages PageLocator::index(const std::string& user, const ReadyDocument& doc) {
    {
        std::lock_guard lock(mutex_);
        if (auto it = indexes_.find(doc.id); it != indexes_.end() && it->second.sha == doc.sha) {
            touchLocked(doc.id);
            return it->second.pages;
        }
    }
    auto raw = copies_->pages(user, doc.id, doc.sha);
    if (!raw) {
        return nullptr;
    }
    auto pages = std::make_shared<std::vector<std::string>>();
    pages->reserve(raw->size());
    std::int64_t cost = 0;
    for (const auto& page : *raw) {
        pages->push_back(PageText::normalize(page));
        cost += static_cast<std::int64_t>(pages->back().size() + page.size()) + pageCost;
    }
    std::lock_guard lock(mutex_);
    if (auto it = indexes_.find(doc.id); it != indexes_.end()) {
        indexBytes_ -= it->second.cost;
    }
    indexes_[doc.id] = Index{doc.sha, pages, raw, {}, cost};
    indexBytes_ += cost;
    touchLocked(doc.id);
    evictLocked();
    return pages;
}

void PageLocator::keepWords(const ReadyDocument& doc, int page, const WordSet& words) {
    std::lock_guard lock(mutex_);
    auto it = indexes_.find(doc.id);
    if (it == indexes_.end() || it->second.sha != doc.sha || it->second.words.count(page) > 0) {
        return;
    }
    const std::int64_t cost = costOfWords(*words);
    it->second.words.emplace(page, words);
    it->second.cost += cost;
    indexBytes_ += cost;
    evictLocked();
}

PageLocator::WordSet PageLocator::words(const std::string& user, const ReadyDocument& doc,
                                        int page) {
    PageCopyStore::Pages raw;
    {
        std::lock_guard lock(mutex_);
        auto it = indexes_.find(doc.id);
        if (it != indexes_.end() && it->second.sha == doc.sha && page >= 1 &&
            static_cast<size_t>(page) <= it->second.raw->size()) {
            if (auto cached = it->second.words.find(page); cached != it->second.words.end()) {
                return cached->second;
            }
            raw = it->second.raw;
        }
    }
    if (!raw) {
        raw = copies_->pages(user, doc.id, doc.sha);
        if (!raw || page < 1 || static_cast<size_t>(page) > raw->size()) {
            return std::make_shared<const PageText::Words>();
        }
    }
    auto words = std::make_shared<const PageText::Words>(
        PageText::words((*raw)[static_cast<size_t>(page) - 1]));
    keepWords(doc, page, words);
    return words;
}

LocateResult PageLocator::locate(const std::string& user,
                                 const std::vector<ReadyDocument>& documents,
                                 const std::string& selection,
                                 const std::optional<std::string>& matched,
                                 const std::vector<int>& near,
                                 const std::optional<std::string>& title) {
    const double start = now();
    LocateResult result;
    auto finish = [&](std::string route) {
        result.route = std::move(route);
        result.ms = static_cast<long long>((now() - start) * 1000);
        return result;
    };
    if (documents.empty()) {
        return finish("no_documents");
    }
    const std::string needle = PageText::normalize(selection);
    const size_t threshold = matched && !near.empty() ? minNarrow : minGlobal;
    if (needle.size() < threshold) {
        return finish("too_short");
    }
    std::vector<Probe> probes;
    if (needle.size() <= probeMax) {
        probes.push_back({needle, "exact"});
    } else {
        probes.push_back({needle.substr(0, probeBytes), "exact"});
        probes.push_back({needle.substr(needle.size() - probeBytes), "exact_tail"});
    }
    const auto order = ordered(documents, matched, title, lastHit());
    std::vector<Candidate> candidates;
    for (const auto& doc : order) {
        auto pages = index(user, doc);
        if (!pages) {
            result.missing.push_back(doc.id);
            continue;
        }
        const int count = static_cast<int>(pages->size());
        candidates.push_back(
            {&doc, pages,
             PageOrder::around(matched && *matched == doc.id ? near : std::vector<int>{}, count)});
    }
    if (candidates.empty()) {
        return finish("no_copy");
    }
    auto hitAt = [&](const ReadyDocument& doc, int page) {
        result.hit = PageHint{doc.id, page};
        std::lock_guard lock(mutex_);
        lastHit_ = doc.id;
    };
    auto spent = [&] {
        return now() - start > budget;
    };
    for (const auto& probe : probes) {
        for (const auto& candidate : candidates) {
            for (int page : candidate.order) {
                if (spent()) {
                    return finish("timeout");
                }
                result.checked += 1;
                if (contains((*candidate.pages)[static_cast<size_t>(page) - 1], probe.bytes)) {
                    hitAt(*candidate.doc, page);
                    return finish(probe.route);
                }
            }
        }
    }
    const PageText::Words wanted = PageText::words(selection);
    if (wanted.size() < wordsMin) {
        return finish("not_found");
    }
    std::optional<std::pair<const ReadyDocument*, int>> best;
    double bestScore = 0;
    bool stop = false;
    for (const auto& candidate : candidates) {
        for (int page : candidate.order) {
            if (spent()) {
                stop = true;
                break;
            }
            result.checked += 1;
            const auto pageWords = words(user, *candidate.doc, page);
            size_t shared = 0;
            for (const auto& word : wanted) {
                shared += pageWords->count(word);
            }
            const double score = static_cast<double>(shared) / static_cast<double>(wanted.size());
            if (score >= wordOverlap && (!best || score > bestScore)) {
                best = std::make_pair(candidate.doc, page);
                bestScore = score;
                if (score >= wordEnough) {
                    stop = true;
                    break;
                }
            }
        }
        if (stop) {
            break;
        }
    }
    if (best) {
        hitAt(*best->first, best->second);
        return finish("words");
    }
    return finish(spent() ? "timeout" : "not_found");
}

}  // namespace parlendo
