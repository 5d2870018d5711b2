#include "core/numeric_text.h"

#include <gtest/gtest.h>

#include <optional>

using kestrova::IsNumeric;
using kestrova::ToInt32;

namespace {

struct Case {
    const char* text;
    std::optional<int32_t> value;  // nothing: not numeric
};

TEST(NumericText, AcceptedNotationsAndHalfEvenRounding) {
    const Case cases[] = {
        {"0", 0},          {"-12", -12},      {"+3", 3},         {"2.5", 2},         {"3.5", 4},
        {"-2.5", -2},      {"-3.5", -4},      {".5", 0},         {"0.4", 0},
        {"5.", 5},         {"1e3", 1000},     {"1E3", 1000},     {"2.5e1", 25},      {"-1e-1", 0},
        {"+1.25E+2", 125}, {"007", 7},        {"127.49999", 127}, {"2147483647", 2147483647},
        {"-2147483648", -2147483648LL},       {"2147483647.4", 2147483647},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ToInt32(c.text), c.value);
        EXPECT_TRUE(IsNumeric(c.text));
    }
}

TEST(NumericText, RejectedTexts) {
    // Out of the signed 32-bit range after rounding counts as not numeric.
    const char* rejected[] = {"",     "+",    "-",      ".",     "e3",   "1e",    "1e+",  "abc",  "12a",
                              "1,000", " 12", "12 ",    "1.2.3", "--1",  "0x10",  "1_0",  "inf",  "nan",
                              "2147483648", "2147483647.5", "-2147483649", "1e10", "1e400", "-1e400", "Mov"};
    for (const char* text : rejected) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(IsNumeric(text));
    }
}

}  // namespace
