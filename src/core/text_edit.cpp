#include "text_edit.h"

#include "text.h"

#include <algorithm>
#include <vector>

namespace kestrova {

namespace {

// Byte offsets of the given character offsets (sorted), counted as the
// compiler's word reader counts them.
std::vector<size_t> ByteOffsets(std::string_view text, const std::vector<int32_t>& characters) {
    std::vector<size_t> bytes;
    bytes.reserve(characters.size());
    size_t at = 0;
    int32_t position = 0;
    for (const int32_t wanted : characters) {
        while (position < wanted && at < text.size()) {
            at += (text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n') ? 2 : 1;
            while (at < text.size() && IsUtf8ContinuationByte(text[at])) ++at;
            ++position;
        }
        bytes.push_back(at);
    }
    return bytes;
}

}  // namespace

std::string ApplyEdits(std::string_view program, std::span<const TextEdit> edits) {
    std::vector<const TextEdit*> order;
    for (const TextEdit& edit : edits) order.push_back(&edit);
    std::stable_sort(order.begin(), order.end(), [](const TextEdit* a, const TextEdit* b) { return a->start < b->start; });

    std::vector<int32_t> characters;
    int32_t reached = 0;
    for (const TextEdit* edit : order) {
        const int32_t start = std::max({edit->start, reached, 0});
        const int32_t end = std::max(edit->end, start);
        characters.push_back(start);
        characters.push_back(end);
        reached = end;
    }
    // The offsets are sorted, so one walk over the text finds them all.
    const std::vector<size_t> bytes = ByteOffsets(program, characters);

    std::string result;
    result.reserve(program.size());
    size_t copied = 0;
    for (size_t i = 0; i < order.size(); ++i) {
        result.append(program.substr(copied, bytes[2 * i] - copied));
        result.append(order[i]->text);
        copied = bytes[2 * i + 1];
    }
    result.append(program.substr(copied));
    return result;
}

TextEdit ReplaceWord(const Token& token, int32_t value) {
    return TextEdit{token.Start, token.End, std::to_string(value)};
}

}  // namespace kestrova
