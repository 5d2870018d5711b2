#include "text.h"

namespace kestrova {

int32_t Utf8CharacterCount(std::string_view text) {
    int32_t count = 0;
    for (char c : text) {
        if (!IsUtf8ContinuationByte(c)) ++count;
    }
    return count;
}

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

std::string SingleLine(std::string_view text) {
    std::string line;
    line.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' || text[i] == '\n') {
            if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            line += ' ';
        } else {
            line += text[i];
        }
    }
    return line;
}

}  // namespace kestrova
