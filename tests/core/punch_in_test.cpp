#include "core/punch_in.h"

#include "core/command_map.h"
#include "core/compiler.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

using V = std::vector<int32_t>;

const ServoRecord kServo{"Jaw", 127, 20, 230, true, false};

// Frames 1 to `frames` of the servo's column, its last position held after
// the program's end.
V Column(const std::string& program, int32_t frames) {
    Project project;
    StartNewProject(project);
    project.Servos[0] = kServo;
    project.Programs[0] = program;
    ServoCompiler compiler(project);
    EXPECT_TRUE(compiler.CompileServo(0)) << compiler.LastError().message << "\n" << program;
    const int32_t own = project.ServoFrameCount[0];
    V column(static_cast<size_t>(frames) + 1);
    for (int32_t f = 1; f <= frames; ++f) column[f] = project.Frames[std::min(f, own)][0];
    return column;
}

std::string RandomProgram(std::mt19937& rng) {
    static const char* const kEasings[] = {"", ", EaseIn", ", EaseOut", ", EaseInOut"};
    std::string program = rng() % 2 ? "' opening words\r\n" : "";
    for (int i = 0, n = 1 + int(rng() % 12); i < n; ++i) {
        if (rng() % 3 == 0) {
            program += "Wait " + std::to_string(1 + rng() % 30);
        } else {
            program += "Mov " + std::to_string(20 + rng() % 211) + ", " + std::to_string(1 + rng() % 40) +
                       kEasings[rng() % 4];
        }
        program += rng() % 4 == 0 ? "   ' note " + std::to_string(i) + "\r\n" : "\r\n";
    }
    return program;
}

V RandomTake(size_t n, std::mt19937& rng) {
    const double a = 10 + rng() % 90, f = 0.02 + 0.1 * (rng() % 100) / 100.0, base = 30 + rng() % 170;
    V take(n);
    for (size_t i = 0; i < n; ++i)
        take[i] = std::clamp(int32_t(std::lround(base + a * std::sin(f * i))) + int32_t(rng() % 3) - 1, 20, 230);
    return take;
}

std::vector<std::string> Comments(const std::string& program) {
    std::vector<std::string> comments;
    for (size_t at = program.find('\''); at != std::string::npos; at = program.find('\'', at + 1))
        comments.push_back(program.substr(at, program.find('\r', at) - at));
    return comments;
}

// Random programs, ranges (inside, straddling, past the end) and stacked
// takes: the range follows the take, every other frame is what it was,
// the text before the range is untouched and no comment is lost.
TEST(PunchIn, OnlyTheRangeChanges) {
    std::mt19937 rng(2226);
    for (int round = 0; round < 150; ++round) {
        std::string program = RandomProgram(rng);
        const int32_t own = MapServo(kServo, program).frames;
        for (int take = 0; take < 3; ++take) {
            const int32_t first = 2 + int32_t(rng() % (own + 20));
            const int32_t last = first + int32_t(rng() % 60);
            const V recorded = RandomTake(size_t(last - first + 1), rng);
            const int32_t tolerance = int32_t(rng() % 4);
            const PunchInResult result = PunchIn(kServo, program, first, last, recorded, FitOptions{tolerance, rng() % 4 != 0});
            SCOPED_TRACE(::testing::Message() << "round " << round << " frames " << first << ".." << last << "\n" << program);
            ASSERT_TRUE(result.ok()) << result.error;

            const int32_t through = std::max(MapServo(kServo, result.program).frames, std::max(own, last)) + 1;
            const V before = Column(program, through), after = Column(result.program, through);
            for (int32_t f = 1; f <= through; ++f) {
                if (f >= first && f <= last) {
                    ASSERT_LE(std::abs(after[f] - recorded[f - first]), tolerance) << "frame " << f;
                } else {
                    ASSERT_EQ(after[f], before[f]) << "frame " << f;
                }
            }
            const ServoMap map = MapServo(kServo, program);
            const int at = CommandAtFrame(map, first);
            size_t kept = 0;  // bytes before the first command touched (ASCII, CR LF counted as one character)
            for (int32_t c = 0; at >= 0 && c < map.commands[at].word.Start; ++c) kept += program[kept] == '\r' ? 2 : 1;
            EXPECT_EQ(result.program.substr(0, at < 0 ? program.size() : kept), program.substr(0, at < 0 ? program.size() : kept));
            for (const std::string& comment : Comments(program))
                EXPECT_NE(result.program.find(comment), std::string::npos) << comment;
            program = result.program;
        }
    }
}

TEST(PunchIn, ReadableResults) {
    struct Case {
        std::string program;
        int32_t first;
        V take;
        std::string expected;
    };
    const Case cases[] = {
        // A hold with a short take inside: the hold is cut around it.
        {"Wait 20 ' rest\r\nMov 200, 10\r\n", 6, V(5, 150), "Wait 4\r\nMov 150, 1\r\nWait 4\r\nMov 127, 1\r\nWait 10 ' rest\r\nMov 200, 10\r\n"},
        // Past the program's end: appended, and back to where it rested.
        {"Mov 140, 2", 5, V(4, 60), "Mov 140, 2\r\nWait 1\r\nMov 60, 1\r\nWait 3\r\nMov 140, 1\r\n"},
        // An empty program.
        {"", 2, {127, 130, 133}, "Wait 1\r\nMov 133, 2\r\nMov 127, 1\r\n"},
    };
    for (const Case& c : cases) {
        const int32_t last = c.first + int32_t(c.take.size()) - 1;
        const PunchInResult result = PunchIn(kServo, c.program, c.first, last, c.take, FitOptions{0, true});
        EXPECT_TRUE(result.ok()) << result.error;
        EXPECT_EQ(result.program, c.expected) << c.program;
    }
}

TEST(PunchIn, RefusesWhatItCannotDo) {
    const V take(5, 100);
    struct Case {
        std::string program;
        int32_t first, last;
        V take;
        std::string error;
    };
    const Case cases[] = {
        {"Wait 10", 3, 8, take, "The take does not match its range of frames."},
        {"Wait 10", 1, 5, take, "The take does not match its range of frames."},
        {"Wait 10", 3, 7, {100, 100, 240, 100, 100}, "The take goes outside the servo's limits (20 to 230)."},
        {"Mov 300, 4", 3, 7, take, "The servo's program has an error to mend first: Position is greater than servo maximum."},
        {"Wait 10", kMaxFrames - 3, kMaxFrames + 1, take, "The animation is longer than 1,000,000 frames."},
    };
    for (const Case& c : cases) {
        const PunchInResult result = PunchIn(kServo, c.program, c.first, c.last, c.take, FitOptions{});
        EXPECT_EQ(result.error, c.error);
        EXPECT_EQ(result.program, "");
    }
}

}  // namespace
