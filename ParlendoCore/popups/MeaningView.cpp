#include "popups/MeaningView.h"

#include "foundation/Overloaded.h"
#include "foundation/Text.h"

#include <algorithm>
#include <string_view>

namespace parlendo::MeaningView {
namespace {

Label line(Style style, std::string_view text) {
    return Label{{Run{style, text::sanitize(text)}}, true};
}

Label settingLine(const std::string& name) {
    return Label{{Run{Style::settingLine, text::sanitize(name)}}, false};
}

// The head in the title style, then the captured form and the phonetic spelling in the note
// style, each two spaces further on.
Label headLine(const PopupBody::Word& word) {
    Label head{{Run{Style::title, text::sanitize(word.head)}}, true};
    if (word.original) {
        head.runs.push_back(Run{Style::note, "  " + text::sanitize(*word.original)});
    }
    auto phonetic = std::find_if(word.sections.begin(), word.sections.end(),
                                 [](const PopupSection& s) { return s.id == "phonetic"; });
    if (phonetic != word.sections.end()) {
        head.runs.push_back(Run{Style::note, "  /" + text::sanitize(phonetic->text) + "/"});
    }
    return head;
}

void senseLines(const std::string& text, std::vector<Label>& out) {
    int number = 0;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) {
            end = text.size();
        }
        if (end > start) {
            ++number;
            out.push_back(line(Style::senseLine,
                               std::to_string(number) + ". " + text.substr(start, end - start)));
        }
        start = end + 1;
    }
}

std::vector<Label> word(const PopupBody::Word& word, const std::optional<std::string>& setting) {
    std::vector<Label> out{headLine(word)};
    if (setting) {
        out.push_back(settingLine(*setting));
    }
    auto shown = std::count_if(word.sections.begin(), word.sections.end(),
                               [](const PopupSection& s) { return s.id != "phonetic"; });
    for (const auto& section : word.sections) {
        if (section.id == "phonetic") {
            continue;
        }
        if (section.id == "korean") {
            senseLines(section.text, out);
            continue;
        }
        if (shown >= 2) {
            out.push_back(line(Style::sectionCaption, section.label));
        }
        out.push_back(line(Style::sectionText, section.text));
    }
    return out;
}

}  // namespace

Look look(Style style) {
    switch (style) {
        case Style::title:
            return {15, true, Tone::primary};
        case Style::note:
            return {12, false, Tone::secondary};
        case Style::bodyText:
            return {13, false, Tone::primary};
        case Style::senseLine:
            return {13, false, Tone::primary};
        case Style::sectionCaption:
            return {10, false, Tone::tertiary};
        case Style::sectionText:
            return {11, false, Tone::secondary};
        case Style::settingLine:
            return {10, false, Tone::tertiary};
    }
    return {};
}

std::vector<Label> render(const PopupBody& body, const std::optional<std::string>& setting) {
    return std::visit(overloaded{
                          [&](const PopupBody::Loading& loading) {
                              std::vector<Label> out{line(Style::title, loading.title)};
                              if (setting) {
                                  out.push_back(settingLine(*setting));
                              }
                              out.push_back(line(Style::note, loading.note));
                              return out;
                          },
                          [&](const PopupBody::Word& w) { return word(w, setting); },
                          [&](const PopupBody::Text& t) {
                              std::vector<Label> out;
                              if (setting) {
                                  out.push_back(settingLine(*setting));
                              }
                              out.push_back(line(Style::bodyText, t.text));
                              return out;
                          },
                          [&](const PopupBody::Failure& failure) {
                              std::vector<Label> out;
                              if (failure.title && !failure.title->empty()) {
                                  out.push_back(line(Style::title, *failure.title));
                              }
                              if (setting) {
                                  out.push_back(settingLine(*setting));
                              }
                              out.push_back(line(Style::note, failure.message));
                              return out;
                          },
                      },
                      body.value());
}

}  // namespace parlendo::MeaningView
