#include "servo_settings_table.h"

#include "core/numeric_text.h"

namespace kestrova {

namespace {

constexpr int32_t kNumberColumnWidth = 255;
constexpr int32_t kNameColumnWidth = 1500;

}  // namespace

std::array<int32_t, 5> ServoTableColumnWidths(int32_t gridWidth) {
    const double share = (static_cast<double>(gridWidth) - kNameColumnWidth - kNumberColumnWidth) / 3.0;
    const int32_t position = RoundToInt32(share).value_or(0);
    const int32_t last = RoundToInt32(share - 15.0).value_or(0);
    return {kNumberColumnWidth, kNameColumnWidth, position, position, last};
}

std::optional<int32_t> ServoPositionFromText(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    const std::optional<int32_t> value = ToInt32(text);
    if (!value || *value < kLowestServoPosition || *value > kHighestServoPosition) return std::nullopt;
    return value;
}

}  // namespace kestrova
