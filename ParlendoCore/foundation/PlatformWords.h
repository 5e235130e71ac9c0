#pragma once

#include <string>
#include <string_view>

namespace parlendo {

// The one table through which the system's own texts name keys and this computer on Linux:
// ⌥ is Alt, ⌘ is Ctrl, and "Mac" is "컴퓨터". Applied where a text reaches the screen, never to
// what the user captured and never to values the backend sees.
namespace PlatformWords {

// `text` as shown on Linux. Key symbols become their key names, joined with "+" to a key that
// follows at once ("⌥⌘" is "Alt+Ctrl", "⌘C" is "Ctrl+C"). "Mac" is replaced only as a whole
// word; a particle right after it (also after one space) is fitted to "컴퓨터", which ends in a
// vowel: 을 → 를, 은 → 는, 과 → 와, 으로 → 로, and 이 → 가 where the word ends with it.
std::string render(std::string_view text);

}  // namespace PlatformWords
}  // namespace parlendo
