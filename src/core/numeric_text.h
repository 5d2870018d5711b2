#pragma once
// The numeric text rules of the whole program.
//
// A numeric text is an optional sign, digits with an optional fraction (at
// least one digit on either side of the point), and an optional exponent:
// "-12", "+3", "2.5", ".5", "5.", "1e3", "-2.5E-1". No spaces, no grouping.
// Its value converts to a signed 32-bit integer by rounding to the nearest
// integer, halves to the even neighbour; a value that then lies outside the
// signed 32-bit range does not count as numeric.

#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrova {

// The value of a numeric text as a double, or nothing when the text does not
// follow the grammar above (the range is not checked here).
std::optional<double> ParseNumber(std::string_view text);

// Rounds to the nearest integer, halves to even; nothing when the result lies
// outside the signed 32-bit range (or is not finite).
std::optional<int32_t> RoundToInt32(double value);

// ParseNumber and RoundToInt32 together: the integer value of a numeric text.
std::optional<int32_t> ToInt32(std::string_view text);

inline bool IsNumeric(std::string_view text) { return ToInt32(text).has_value(); }

}  // namespace kestrova
