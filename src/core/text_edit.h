#pragma once
// Changes to a program's text as replacements of character ranges, so that
// whatever a feature changes, the spacing, comments and line breaks around it
// stay byte for byte.

#include "compiler.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrova {

// Replaces characters [start, end) by text. Offsets are the compiler's
// Token offsets: characters from 0, each CR LF pair counted as one.
struct TextEdit {
    int32_t start = 0, end = 0;
    std::string text;

    bool operator==(const TextEdit&) const = default;
};

// The program with every edit applied. Offsets refer to the original text;
// the edits may come in any order. Offsets past the end are taken as the end,
// and an edit that overlaps one starting before it starts where that one
// ends.
std::string ApplyEdits(std::string_view program, std::span<const TextEdit> edits);

// The edit that writes value as a plain integer over a token.
TextEdit ReplaceWord(const Token& token, int32_t value);

}  // namespace kestrova
