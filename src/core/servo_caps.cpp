#include "servo_caps.h"

#include "numeric_text.h"

namespace kestrova {

std::optional<int32_t> CapFromText(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return std::nullopt;
    text = text.substr(first, text.find_last_not_of(' ') - first + 1);
    if (text.find_first_not_of("0123456789") != std::string_view::npos || text.size() > 6) return std::nullopt;
    const std::optional<int32_t> value = ToInt32(text);
    if (!value || *value < 0 || *value > kMostCap) return std::nullopt;
    return value;
}

}  // namespace kestrova
