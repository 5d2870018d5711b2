#pragma once
// Small text rules shared by the files, the windows and the command line.
// Texts are UTF-8.

#include <cstdint>
#include <string>
#include <string_view>

namespace kestrova {

// A byte that continues a UTF-8 sequence, so starts no character.
constexpr bool IsUtf8ContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters (not bytes) in a UTF-8 text.
int32_t Utf8CharacterCount(std::string_view text);

// The text with leading and trailing blanks (spaces) removed.
std::string_view TrimBlanks(std::string_view text);

// The text on one line: every line break (CR LF, a lone CR or LF) becomes a
// blank. Names and paths come from one-line boxes, but a pasted text can
// carry line breaks, which would split a line of the project file.
std::string SingleLine(std::string_view text);

}  // namespace kestrova
