#include "files/text_encoding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace kestrova {
namespace {

struct DecodeCase {
    const char* name;
    std::string bytes;
    std::string utf8;
};

std::ostream& operator<<(std::ostream& out, const DecodeCase& c) { return out << c.name; }

class DecodeProjectBytesTest : public testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeProjectBytesTest, GivesUtf8) {
    EXPECT_EQ(DecodeProjectBytes(GetParam().bytes), GetParam().utf8);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeProjectBytesTest,
    testing::Values(
        DecodeCase{"Empty", "", ""},
        DecodeCase{"Ascii", "KVSL=1.0\r\n", "KVSL=1.0\r\n"},
        DecodeCase{"Utf8Kept", "Servo1.Name=K\xC3\xA9pi \xE2\x82\xAC \xF0\x9F\x98\x80", "Servo1.Name=K\xC3\xA9pi \xE2\x82\xAC \xF0\x9F\x98\x80"},
        DecodeCase{"BomDropped", "\xEF\xBB\xBFKVSL=1.0", "KVSL=1.0"},
        DecodeCase{"OnlyLeadingBomDropped", "\xEF\xBB\xBF" "a\xEF\xBB\xBF", "a\xEF\xBB\xBF"},
        DecodeCase{"Latin1Letter", "Caf\xE9", "Caf\xC3\xA9"},
        DecodeCase{"EuroSign", "\x80", "\xE2\x82\xAC"},
        DecodeCase{"SmartQuotesAndDashes", "\x93x\x94\x96\x97\x85", "\xE2\x80\x9Cx\xE2\x80\x9D\xE2\x80\x93\xE2\x80\x94\xE2\x80\xA6"},
        DecodeCase{"UndefinedBytesAsControls", "\x81\x8D\x8F\x90\x9D", "\xC2\x81\xC2\x8D\xC2\x8F\xC2\x90\xC2\x9D"},
        DecodeCase{"LastBytes", "\x9F\xA0\xFF", "\xC5\xB8\xC2\xA0\xC3\xBF"},
        // One bad byte makes the whole file Windows-1252, valid-looking pairs included.
        DecodeCase{"MixedIsAllWindows1252", "\xC3\xA9\xE9", "\xC3\x83\xC2\xA9\xC3\xA9"},
        DecodeCase{"OverlongSlash", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        DecodeCase{"OverlongThreeBytes", "\xE0\x80\xAF", "\xC3\xA0\xE2\x82\xAC\xC2\xAF"},
        DecodeCase{"Surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xE2\x82\xAC"},
        DecodeCase{"AboveUnicode", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xE2\x82\xAC\xE2\x82\xAC"},
        DecodeCase{"TruncatedAtEnd", "abcdefgh\xE2\x82", "abcdefgh\xC3\xA2\xE2\x80\x9A"},
        DecodeCase{"LoneContinuationAfterAsciiRun", "0123456789abcdef\xA9", "0123456789abcdef\xC2\xA9"}),
    [](const testing::TestParamInfo<DecodeCase>& info) { return std::string(info.param.name); });

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
