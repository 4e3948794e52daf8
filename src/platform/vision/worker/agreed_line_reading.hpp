#pragma once

#include "platform/vision/worker/text_line_decoding.hpp"

namespace lumenary::platform::vision {

// Whether the network read every character of the line at
// `sureReadingProbability` or more.
inline constexpr float sureReadingProbability = 0.97F;
bool readSurely(const NetworkLineText& read);

// The reading two readings of one line (the glyphs at two sizes) agree on
// best. Their places are lined up (fewest places unlike or left alone,
// two places alike when either reading saw the other's character); each
// pair keeps the character with the highest geometric mean of its two
// probabilities (a character one reading did not see counting at half of
// leastAlternativeProbability there), the others as its alternatives. A
// character only the first holds stays when it was read at 0.9 or more
// (a mark read into the line's edge does not), and the second reading's
// characters alone are left out. Steps and spaces stay the first
// reading's. Readings that differ at more than one place and more than a
// quarter of the places leave the first as it is.
NetworkLineText agreedReading(const NetworkLineText& first, const NetworkLineText& second);

}  // namespace lumenary::platform::vision
