#include "numeric_text.h"

#include <charconv>
#include <cmath>
#include <string>

namespace kestrova {

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Length of the run of digits starting at i.
size_t DigitRun(std::string_view text, size_t i) {
    size_t n = 0;
    while (i + n < text.size() && IsDigit(text[i + n])) ++n;
    return n;
}

}  // namespace

std::optional<double> ParseNumber(std::string_view text) {
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t bodyStart = i;
    const size_t intDigits = DigitRun(text, i);
    i += intDigits;
    size_t fracDigits = 0;
    if (i < text.size() && text[i] == '.') {
        ++i;
        fracDigits = DigitRun(text, i);
        i += fracDigits;
    }
    if (intDigits + fracDigits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        const size_t expDigits = DigitRun(text, i);
        if (expDigits == 0) return std::nullopt;
        i += expDigits;
    }
    if (i != text.size()) return std::nullopt;

    // from_chars does not take a leading '+': hand it the unsigned body and
    // apply the sign afterwards.
    double value = 0.0;
    const char* first = text.data() + bodyStart;
    const char* last = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    // A value beyond the range of a double (either way) is not numeric.
    if (ec != std::errc() || ptr != last) return std::nullopt;
    return negative ? -value : value;
}

std::optional<int32_t> RoundToInt32(double value) {
    if (!std::isfinite(value)) return std::nullopt;
    // The default rounding mode rounds halves to the even neighbour.
    const double rounded = std::nearbyint(value);
    if (rounded < -2147483648.0 || rounded > 2147483647.0) return std::nullopt;
    return static_cast<int32_t>(rounded);
}

std::optional<int32_t> ToInt32(std::string_view text) {
    const std::optional<double> value = ParseNumber(text);
    if (!value) return std::nullopt;
    return RoundToInt32(*value);
}

}  // namespace kestrova
