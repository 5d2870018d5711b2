#include "text_encoding.h"

#include "core/text.h"

#include <cstdint>
#include <cstring>

namespace kestrova {

namespace {

// Code points of the bytes 0x80 to 0x9F in Windows-1252; 0xA0 to 0xFF are
// the Latin-1 code points of the same number.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

}  // namespace

size_t Utf8SequenceLength(std::string_view bytes) {
    if (bytes.empty()) return 0;
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned char c = s[0];
    if (c < 0x80) return 1;
    size_t length;
    // Bounds of the second byte rule out overlong forms, surrogates and
    // code points above U+10FFFF.
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (bytes.size() < length) return 0;
    if (s[1] < low || s[1] > high) return 0;
    for (size_t k = 2; k < length; ++k) {
        if (!IsUtf8ContinuationByte(static_cast<char>(s[k]))) return 0;
    }
    return length;
}

bool IsValidUtf8(std::string_view bytes) {
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        // Plain ASCII 32, then eight bytes at a time: project files are
        // mostly ASCII.
        while (i + 32 <= n) {
            uint64_t words[4];
            std::memcpy(words, s + i, 32);
            if ((words[0] | words[1] | words[2] | words[3]) & 0x8080808080808080ull) break;
            i += 32;
        }
        while (i + 8 <= n) {
            uint64_t word;
            std::memcpy(&word, s + i, 8);
            if (word & 0x8080808080808080ull) break;
            i += 8;
        }
        if (i >= n) break;
        if (s[i] < 0x80) {
            ++i;
            continue;
        }
        const size_t length = Utf8SequenceLength(bytes.substr(i));
        if (length == 0) return false;
        i += length;
    }
    return true;
}

std::string DecodeWindows1252(std::string_view bytes) {
    // The exact size first, so the text is made once and no larger than it
    // is (a file full of "\x80" triples as it becomes "\u20AC").
    size_t size = 0;
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        size += c < 0x80 ? 1 : c < 0xA0 ? (kHighControls[c - 0x80] < 0x800 ? 2 : 3) : 2;
    }
    std::string out(size, '\0');
    char* to = out.data();
    for (char byte : bytes) {
        const auto c = static_cast<unsigned char>(byte);
        const char32_t cp = c < 0x80 ? c : c < 0xA0 ? kHighControls[c - 0x80] : c;
        if (cp < 0x80) {
            *to++ = static_cast<char>(cp);
        } else if (cp < 0x800) {
            *to++ = static_cast<char>(0xC0 | (cp >> 6));
            *to++ = static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            *to++ = static_cast<char>(0xE0 | (cp >> 12));
            *to++ = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            *to++ = static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

std::string DecodeProjectBytes(std::string_view bytes) {
    // A leading BOM goes either way: as Windows-1252 it would put "ï»¿" in
    // front of the first key and hide that line from the reader.
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    if (!IsValidUtf8(bytes)) return DecodeWindows1252(bytes);
    return std::string(bytes);
}

}  // namespace kestrova
