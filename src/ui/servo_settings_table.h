#pragma once
// The rules of the servo settings table apart from its window: the column
// widths of the grid and the position values its editor accepts.

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kestrova {

// Twips per pixel at the design resolution.
inline constexpr int kTwipsPerPixel = 15;

// The widths of the table's five columns, in twips, for a grid `gridWidth`
// twips wide: the number column, the name column, and three position
// columns sharing the rest (the last one 15 twips narrower so that no
// horizontal scroll bar appears).
std::array<int32_t, 5> ServoTableColumnWidths(int32_t gridWidth);

// Lowest and highest position a servo's sliders can take.
inline constexpr int32_t kLowestServoPosition = -32768;
inline constexpr int32_t kHighestServoPosition = 32767;

// The position a Home, Min or Max text stands for: a numeric text (blanks
// around it ignored) rounded to the nearest whole number, halves to even,
// inside the 16-bit signed range; nothing otherwise.
std::optional<int32_t> ServoPositionFromText(std::string_view text);

}  // namespace kestrova
