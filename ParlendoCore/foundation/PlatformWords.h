#pragma once

#include <string>
#include <string_view>

namespace parlendo {

// The one table through which the system's own texts name keys, this computer and the
// desktop's places on Linux: ⌥ is Alt, ⌘ is Ctrl, "Mac" is "컴퓨터", "손쉬운 사용" is "접근성",
// "메뉴 막대" (where the program's icon sits) is "패널", and the settings paths of the Mac are the
// desktop's ("설정 → 접근성"). Applied where a text reaches the screen, never to what the user
// captured and never to values the backend sees.
namespace PlatformWords {

// `text` as shown on Linux. Key symbols become their key names, joined with "+" to a key that
// follows at once ("⌥⌘" is "Alt+Ctrl", "⌘C" is "Ctrl+C"); a particle after the last key name,
// also one written a space apart, is joined to it and fitted to how the name is read ("⌥⌘ 를" is
// "Alt+Ctrl을", "⌥ 와" is "Alt와"). "Mac" is replaced only as a whole word; a particle right
// after it (also after one space) is fitted to "컴퓨터", which ends in a vowel: 을 → 를,
// 은 → 는, 과 → 와, 으로 → 로, and 이 → 가 where the word ends with it. A particle after a
// replaced place name is fitted the same way ("메뉴 막대를" is "패널을").
// Values put into a text (see `value`) come out as they were, without their marks.
std::string render(std::string_view text);

// `text` marked as a value put into one of the program's texts (an address, a title, a name):
// `render` leaves it as it is. The marks are Unicode's isolates (U+2068 … U+2069), which are what
// a value inside a sentence is; `render` drops them.
std::string value(std::string_view text);

}  // namespace PlatformWords
}  // namespace parlendo
