#include "core/punch_in.h"

#include "core/command_map.h"
#include "support/servo_trace.h"

#include <gtest/gtest.h>

using namespace kestrova;
using kestrova::testing::BuiltColumn;
using kestrova::testing::Performance;

namespace {

using V = std::vector<int32_t>;

const ServoRecord kServo{"Jaw", 127, 20, 230, true, false};

std::string RandomProgram(std::mt19937& rng) {
    static const char* const kEasings[] = {"", ", EaseIn", ", EaseOut", ", EaseInOut"};
    std::string program = rng() % 2 ? "' opening words\r\n" : "";
    for (int i = 0, n = 1 + int(rng() % 12); i < n; ++i) {
        program += rng() % 3 == 0 ? "Wait " + std::to_string(1 + rng() % 30)
                                  : "Mov " + std::to_string(20 + rng() % 211) + ", " + std::to_string(1 + rng() % 40) +
                                        kEasings[rng() % 4];
        program += rng() % 4 == 0 ? "   ' note " + std::to_string(i) + "\r\n" : "\r\n";
    }
    return program;
}

// Random programs, ranges (inside, straddling moves, past the end) and three
// stacked takes each: the range follows the take, every other frame is what
// it was, the text before the first command touched stays and no comment is
// lost.
TEST(PunchIn, OnlyTheRangeChanges) {
    std::mt19937 rng(2226);
    for (int round = 0; round < 150; ++round) {
        std::string program = RandomProgram(rng);
        for (int take = 0; take < 3; ++take) {
            const ServoMap map = MapServo(kServo, program);
            const int32_t first = 2 + int32_t(rng() % (map.frames + 20)), last = first + int32_t(rng() % 60);
            const V recorded = Performance(size_t(last - first + 1), rng, 30 + rng() % 170, 1, 20, 230);
            const int32_t tolerance = int32_t(rng() % 4);
            const int32_t table = rng() % 3 ? 0 : std::max(map.frames, last);  // 0: not known
            const PunchInResult result =
                PunchIn(kServo, program, first, last, recorded, FitOptions{tolerance, rng() % 4 != 0}, table);
            SCOPED_TRACE(::testing::Message() << "round " << round << " frames " << first << ".." << last << "\n" << program);
            ASSERT_TRUE(result.ok()) << result.error;

            const int32_t through = std::max({MapServo(kServo, result.program).frames, map.frames, last}) + 1;
            const V before = BuiltColumn(kServo, program, through), after = BuiltColumn(kServo, result.program, through);
            for (int32_t f = 1; f <= (table ? table : through); ++f) {
                if (f < first || f > last) ASSERT_EQ(after[f], before[f]) << "frame " << f;
                else ASSERT_LE(std::abs(after[f] - recorded[f - first]), tolerance) << "frame " << f;
            }
            const int at = CommandAtFrame(map, first);
            size_t kept = at < 0 ? program.size() : 0;  // ASCII: only CR LF is two bytes for one character
            for (int32_t c = 0; at >= 0 && c < map.commands[at].word.Start; ++c) kept += program[kept] == '\r' ? 2 : 1;
            EXPECT_EQ(result.program.substr(0, kept), program.substr(0, kept));
            for (size_t c = program.find('\''); c != std::string::npos; c = program.find('\'', c + 1))
                EXPECT_NE(result.program.find(program.substr(c, program.find('\r', c) - c)), std::string::npos);
            program = result.program;
        }
    }
}

TEST(PunchIn, ReadableResultsAndRefusals) {
    struct Case {
        std::string program;
        int32_t first, last;
        V take;
        std::string expected, error;
    };
    const Case cases[] = {
        // A hold with a take inside: the hold is cut around it, its comment kept.
        {"Wait 20 ' rest\r\nMov 200, 10\r\n", 6, 10, V(5, 150),
         "Wait 4\r\nMov 150, 1\r\nWait 4\r\nMov 127, 1\r\nWait 10 ' rest\r\nMov 200, 10\r\n", ""},
        // Past the program's end: appended, and back to where it rested.
        {"Mov 140, 2", 5, 8, V(4, 60), "Mov 140, 2\r\nWait 1\r\nMov 60, 1\r\nWait 3\r\nMov 140, 1\r\n", ""},
        {"", 2, 4, {127, 130, 133}, "Wait 1\r\nMov 133, 2\r\nMov 127, 1\r\n", ""},
        {"Wait 10", 3, 8, V(5, 100), "", "The take does not match its range of frames."},
        {"Wait 10", 1, 5, V(5, 100), "", "The take does not match its range of frames."},
        {"Wait 10", 3, 5, {100, 240, 100}, "", "The take goes outside the servo's limits (20 to 230)."},
        {"Mov 300, 4", 3, 3, {100}, "", "The servo's program has an error to mend first: Position is greater than servo maximum."},
        {"Wait 10", kMaxFrames, kMaxFrames + 1, {100, 100}, "", "The animation is longer than 1,000,000 frames."},
    };
    for (const Case& c : cases) {
        const PunchInResult result = PunchIn(kServo, c.program, c.first, c.last, c.take, FitOptions{0, true});
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.program, c.expected) << c.program;
    }
    // A take to the end of a known table stays where it ends; before it, the servo goes back.
    for (const auto& [table, expected] : {std::pair{4, ""}, std::pair{5, "\r\nMov 140, 1"}}) {
        EXPECT_EQ(PunchIn(kServo, "Mov 140, 2\r\n", 3, 4, V(2, 60), FitOptions{0, true}, table).program,
                  "Mov 133, 1\r\nMov 60, 1\r\nWait 1" + std::string(expected) + "\r\n");
    }
}

}  // namespace
