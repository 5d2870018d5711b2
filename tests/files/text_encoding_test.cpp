#include "files/text_encoding.h"

#include <gtest/gtest.h>

#include <string>

namespace kestrova {
namespace {

TEST(DecodeProjectBytesTest, Utf8WhenValidOtherwiseWindows1252) {
    const struct {
        std::string bytes, utf8;
    } cases[] = {
        {"KVSL=1.0\r\n", "KVSL=1.0\r\n"},
        {"K\xC3\xA9pi \xE2\x82\xAC \xF0\x9F\x98\x80", "K\xC3\xA9pi \xE2\x82\xAC \xF0\x9F\x98\x80"},
        {"\xEF\xBB\xBFKVSL\xEF\xBB\xBF", "KVSL\xEF\xBB\xBF"},                     // only a leading BOM goes
        {"Caf\xE9 \x80", "Caf\xC3\xA9 \xE2\x82\xAC"},                            // é and the euro sign
        {"\x93\x96\x9F\xA0\xFF", "\xE2\x80\x9C\xE2\x80\x93\xC5\xB8\xC2\xA0\xC3\xBF"},
        {"\x81\x8D\x9D", "\xC2\x81\xC2\x8D\xC2\x9D"},                            // undefined: C1 controls
        {"\xC3\xA9\xE9", "\xC3\x83\xC2\xA9\xC3\xA9"},                            // one bad byte decides
        {"\xEF\xBB\xBFKVSL\xE9", "KVSL\xC3\xA9"},                                   // BOM dropped there too
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                                        // overlong
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},                        // surrogate
        {"\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},        // above U+10FFFF
        {"abcdefgh\xE2\x82", "abcdefgh\xC3\xA2\xE2\x80\x9A"},                    // cut at the end
        {"0123456789abcdef\xA9", "0123456789abcdef\xC2\xA9"},                    // after a long ASCII run
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeProjectBytes(c.bytes), c.utf8) << c.bytes;
}

TEST(DecodeWindows1252Test, EveryByteGivesOneValidCharacter) {
    for (int byte = 0; byte < 256; ++byte) {
        const std::string decoded = DecodeWindows1252(std::string(1, static_cast<char>(byte)));
        EXPECT_TRUE(IsValidUtf8(decoded)) << byte;
        int characters = 0;
        for (char c : decoded) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        EXPECT_EQ(characters, 1) << byte;
    }
}

}  // namespace
}  // namespace kestrova
