#pragma once
// The character encoding of project files. Files this program writes are
// UTF-8; files from older versions are in the Windows ANSI code page
// (Windows-1252). Reading accepts both without asking.

#include <string>
#include <string_view>

namespace kestrova {

// The byte order mark some editors put in front of UTF-8 text.
inline constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// True when the bytes are well-formed UTF-8 (no overlong forms, no
// surrogates, nothing above U+10FFFF).
bool IsValidUtf8(std::string_view bytes);

// The length of the UTF-8 character the bytes begin with (1 to 4); 0 when
// they begin with none (a stray continuation byte, an overlong form, a
// sequence cut short) or are empty.
size_t Utf8SequenceLength(std::string_view bytes);

// Bytes of a project file as UTF-8: a leading UTF-8 BOM is dropped, the rest
// is taken as UTF-8 when valid, otherwise decoded as Windows-1252.
std::string DecodeProjectBytes(std::string_view bytes);

// Windows-1252 bytes as UTF-8. The five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) become the control characters of the same
// number, as Windows itself decodes them.
std::string DecodeWindows1252(std::string_view bytes);

}  // namespace kestrova
