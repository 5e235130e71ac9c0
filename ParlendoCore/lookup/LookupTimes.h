#pragma once

namespace parlendo {

// The time budgets of one capture, in seconds. Each race deadline lies 0.3 s beyond the time-out
// of the request it guards; each loading limit 1.0 s beyond the deadlines a capture of that kind
// may use one after the other.
namespace LookupTimes {

inline constexpr double dictionaryDeadline = 2.3;
inline constexpr double generationDeadline = 8.3;
inline constexpr double translationDeadline = 8.3;
inline constexpr double wordLoadingLimit = 2.3 + 8.3 + 1.0;  // 11.600000000000001
inline constexpr double sentenceLoadingLimit = 9.3;
inline constexpr double notAWordMemory = 600;

}  // namespace LookupTimes

}  // namespace parlendo
