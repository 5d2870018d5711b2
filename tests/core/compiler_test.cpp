#include "core/compiler.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// Every allocation of this test program is counted, so that a test can see
// how much memory a build asked for.
namespace {
size_t allocatedBytes = 0;
}  // namespace

void* operator new(size_t size) {
    allocatedBytes += size;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
// The library's temporary buffers (std::stable_sort) take the nothrow form.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
    allocatedBytes += size;
    return std::malloc(size ? size : 1);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }

using namespace kestrova;

namespace {

Project NewProject() {
    Project project;
    StartNewProject(project);
    return project;
}

// Servo 0's positions in frames 2 to the end after building `program`
// from `home`.
std::vector<int32_t> MotionOf(const std::string& program, int32_t home = 127) {
    Project project = NewProject();
    project.Servos[0].Home = home;
    project.Programs[0] = program;
    const BuildResult result = BuildAnimation(project);
    EXPECT_NE(result.outcome, BuildOutcome::Failed) << result.error.message;
    std::vector<int32_t> positions;
    for (int32_t f = 2; f <= project.Frames.UpperBound(); ++f) positions.push_back(project.Frames[f][0]);
    return positions;
}

using V = std::vector<int32_t>;

struct MotionCase {
    const char* program;
    int32_t home;
    V expected;
};

TEST(Compiler, FloatArithmeticOfMovAndWait) {
    const MotionCase cases[] = {
        {"Mov 137, 10", 127, {128, 129, 130, 131, 132, 133, 134, 135, 136, 137}},
        {"Mov 128, 10\r\nWait 2", 127, {127, 127, 127, 127, 127, 127, 128, 128}},
        {"Mov 200, 7", 127, {137, 147, 158, 168, 179, 189, 200}},
        {"Mov 0, 4", 127, {95, 63, 31, 0}},
        {"Mov 254, 3", 0, {84, 169, 254}},
        {"Mov 103, 2", 100, {101, 103}},
        {"Mov 127, 10", 254, {241, 228, 215, 203, 190, 177, 165, 152, 139, 127}},
        {"Mov 7, 6", 0, {1, 2, 3, 4, 5, 6}},
        {"Mov 0, 6", 7, {5, 4, 3, 2, 1, 0}},
        {"Wait 2.5", 127, {127, 127}},
        {"Mov 254, 10\r\nWait 1", 127, {139, 152, 165, 177, 190, 203, 215, 228, 241, 253, 254}},
        {"Mov 137, 1e1", 127, {128, 129, 130, 131, 132, 133, 134, 135, 136, 137}},
        // Half a position a frame: the move ends on the first frame whose sum
        // rounds (halves to even) to the target; each frame stores the sum
        // rounded down, a Wait the target. From 127 to 128: 127.5 rounds to
        // 128, so one frame (127). From 127 to 129: 127.5, 128, 128.5 (rounds
        // to 128), 129, so four frames (127, 128, 128, 129).
        {"Mov 128, 2\r\nWait 2", 127, {127, 128, 128}},
        {"Mov 129, 4\r\nWait 1", 127, {127, 128, 128, 129, 129}},
        // Separators: case, commas, runs, line breaks between operands.
        {"MOV 130 3", 127, {128, 129, 130}},
        {"mov,130,,3", 127, {128, 129, 130}},
        {"Mov 130,\r\n3", 127, {128, 129, 130}},
        {"\tMov\t130 ,\t3 \r\n\r\n", 127, {128, 129, 130}},
        // Comments: a word before the apostrophe counts, the rest of the line does not.
        {"Wait 2'pause", 127, {127, 127}},
        {"' only a comment\r\nWait 1 ' Mov 0, 5\r\n'Wait 9", 127, {127}},
        // A move to the position already held adds nothing.
        {"Mov 127, 10\r\nWait 1", 127, {127}},
        // Eased moves: halves round to even, the last step is the target,
        // always exactly the frames asked for.
        {"Mov 137, 4, EaseIn", 127, {128, 130, 133, 137}},
        {"Mov 137, 4, EaseOut", 127, {131, 134, 136, 137}},
        {"mov 137 4 EASEINOUT", 127, {128, 132, 136, 137}},
        {"Mov 127, 4, EaseIn", 137, {136, 134, 131, 127}},
        {"Mov 0, 4, EaseOut", 10, {6, 2, 1, 0}},
        {"Mov 200, 1, EaseInOut", 127, {200}},
        {"Mov 127, 3, EaseOut", 127, {127, 127, 127}},
        {"Mov 137, 4, EaseIn\r\nMov 127, 2\r\nWait 1", 127, {128, 130, 133, 137, 132, 127, 127}},
        {"Mov 130, 3\r\nMov 137, 2, easein 'slow start", 127, {128, 129, 130, 132, 137}},
        // A word after the frames that names no easing is the next command.
        {"Mov 130, 3 Wait 2 Mov 127 3", 127, {128, 129, 130, 130, 130, 129, 128, 127}},
    };
    for (const MotionCase& c : cases) {
        SCOPED_TRACE(c.program);
        EXPECT_EQ(MotionOf(c.program, c.home), c.expected);
    }
}

struct ErrorCase {
    const char* program;
    const char* word;  // the selected word
    int32_t start;
    const char* message;
    const char* title;
};

TEST(Compiler, ErrorsSelectTheOffendingWord) {
    const ErrorCase cases[] = {
        {"Move 100, 10", "Move", 0, "Unknown Command.", "Compile Error"},
        // Offsets count characters, a line break as one; a line feed alone is part of a word.
        {"Wait 1\r\n  10", "10", 9, "Unknown Command.", "Compile Error"},
        {"Wait 1 'é\r\nWait\t9'c\r\n Mov x", "x", 24, "Position must be numeric.", "Invalid Position"},
        {"Wait\n5", "Wait\n5", 0, "Unknown Command.", "Compile Error"},
        {"Mov 300, 10", "300", 4, "Position is greater than servo maximum.", "Invalid Position"},
        {"Mov -1, 10", "-1", 4, "Position is less than servo minimum.", "Invalid Position"},
        {"Mov abc, 10", "abc", 4, "Position must be numeric.", "Invalid Position"},
        {"Mov 1e10, 10", "1e10", 4, "Position must be numeric.", "Invalid Position"},
        {"Mov 100, x", "x", 9, "Frames must be a numeric value.", "Invalid Frames"},
        {"Mov 100, 0", "0", 9, "Frames must be greater than zero.", "Invalid Frames"},
        {"Wait -1", "-1", 5, "Frames must be greater than zero.", "Invalid Frames"},
        {"Wait 0.4", "0.4", 5, "Frames must be greater than zero.", "Invalid Frames"},
        {"Wait five", "five", 5, "Frames must be a numeric value.", "Invalid Frames"},
        {"Mov 300, 4, EaseIn", "300", 4, "Position is greater than servo maximum.", "Invalid Position"},
        {"Mov 100, 0, EaseOut", "0", 9, "Frames must be greater than zero.", "Invalid Frames"},
        {"Mov 100, 4, EaseSideways", "EaseSideways", 12, "Unknown Command.", "Compile Error"},
        {"EaseIn", "EaseIn", 0, "Unknown Command.", "Compile Error"},
        {"Wait 999998\r\nMov 0, 2, EaseIn", "2", 19, "The animation is longer than 1,000,000 frames.",
         "Compile Error"},
        // Operands missing at the end select the command word.
        {"Wait 1\r\nWait", "Wait", 7, "Frames must be a numeric value.", "Invalid Frames"},
        {"Wait 1\r\nMov", "Mov", 7, "Position must be numeric.", "Invalid Position"},
        {"Wait 1\r\nMov 5 'frames?", "Mov", 7, "Frames must be a numeric value.", "Invalid Frames"},
        // Nothing may make more than a million frames.
        {"Wait 2000000000", "2000000000", 5, "The animation is longer than 1,000,000 frames.", "Compile Error"},
        {"Wait 999999\r\nWait 2", "2", 17, "The animation is longer than 1,000,000 frames.", "Compile Error"},
        {"Wait 999998\r\nWait 1\r\nMov 0, 5", "5", 26, "The animation is longer than 1,000,000 frames.",
         "Compile Error"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.program);
        Project project = NewProject();
        project.Programs[0] = "Wait 1";
        project.Programs[2] = c.program;
        project.Servos[2].Enabled = false;  // disabled servos are compiled all the same
        const BuildResult result = BuildAnimation(project);
        ASSERT_EQ(result.outcome, BuildOutcome::Failed);
        EXPECT_EQ(result.error.servo, 2);
        EXPECT_EQ(result.error.message, c.message);
        EXPECT_EQ(result.error.title, c.title);
        EXPECT_EQ(result.error.Start, c.start);
        EXPECT_EQ(result.error.End, c.start + static_cast<int32_t>(std::string(c.word).size()));
        EXPECT_FALSE(project.Built);
        EXPECT_LE(project.Frames.UpperBound(), kMaxFrames) << "no frame past the limit, even on the way to an error";
    }
}

TEST(Compiler, FailedOrEmptyBuildLeavesTheProject) {
    const struct {
        std::vector<std::string> programs;
        BuildOutcome outcome;
        std::vector<int> started;  // servos after a failing one are not compiled
        const char* message;
    } cases[] = {
        {{"Wait 4", "Bogus", "Wait 50"}, BuildOutcome::Failed, {0, 1}, "Unknown Command."},
        {{"", "", "", "", "Mov 127, 10 ' already there\r\n"}, BuildOutcome::NothingToCompile,
         {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15}, "Nothing to compile!"},
    };
    for (const auto& c : cases) {
        Project project = NewProject();
        for (size_t s = 0; s < c.programs.size(); ++s) project.Programs[s] = c.programs[s];
        project.Servos[5].Used = project.ModifiedSinceBuild = true;
        std::vector<int> started;
        const BuildResult result = BuildAnimation(project, [&](int s) { started.push_back(s); });
        EXPECT_EQ(result.outcome, c.outcome);
        EXPECT_EQ(result.error.message, c.message);
        EXPECT_EQ(result.error.title, "Compile Error");
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(project.Frames.UpperBound(), c.outcome == BuildOutcome::Failed ? 5 : 1);
        EXPECT_TRUE(project.Servos[5].Used && project.ModifiedSinceBuild);
        EXPECT_FALSE(project.Built);
    }
}

TEST(Compiler, PaddingUsedFlagsAndWavCues) {
    Project project = NewProject();
    project.Servos[1].Home = 10;
    project.Programs[0] = "Wait 10";
    project.Programs[1] = "Mov 14, 4";
    project.Servos[7].Used = true;  // recomputed by the build
    project.WavCues.push_back(WavCue{3, 5, "a.wav"});
    project.WavCues.push_back(WavCue{500, 600, "late.wav"});
    project.WavCues.push_back(WavCue{0, 2, "zero.wav"});
    project.WavCues.push_back(WavCue{-4, 2, "negative.wav"});
    project.WavCues.push_back(WavCue{11, 12, "first.wav"});
    project.WavCues.push_back(WavCue{11, 12, "wins.wav"});
    project.ModifiedSinceBuild = true;
    project.bNeedToSave = true;

    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    const FrameTable& t = project.Frames;
    ASSERT_EQ(t.UpperBound(), 11);
    EXPECT_EQ(t[1][1], 10) << "frame 1 holds the homes";
    for (int32_t f = 5; f <= 11; ++f) EXPECT_EQ(t[f][1], 14) << "the short servo holds its last position";
    for (int32_t f = 1; f <= 11; ++f) EXPECT_EQ(t[f][9], 127);
    for (int s = 0; s < kServoCount; ++s) EXPECT_EQ(project.Servos[s].Used, s < 2) << s;
    EXPECT_EQ((V{project.ServoFrameCount[0], project.ServoFrameCount[1], project.ServoFrameCount[2]}), (V{11, 5, 1}));

    std::vector<int32_t> cueSlots;
    for (int32_t f = 1; f <= 11; ++f) cueSlots.push_back(t[f][kWavCueSlot]);
    EXPECT_EQ(cueSlots, (V{0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 6}));

    EXPECT_TRUE(project.Built);
    EXPECT_FALSE(project.ModifiedSinceBuild);
    EXPECT_TRUE(project.bNeedToSave) << "a build does not touch the save flag";

    // A second build starts from an empty table.
    project.Programs[0] = "Wait 2";
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    EXPECT_EQ(project.Frames.UpperBound(), 5);
    EXPECT_EQ(project.Frames[3][kWavCueSlot], 1);
}

TEST(Compiler, MovesThatCannotArriveEndAfterTheirFrames) {
    // A step below the float accumulator's precision would never move it.
    Project project = NewProject();
    project.Servos[0].Max = 1000;
    project.Programs[0] = "Mov 128, 900000";
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    EXPECT_EQ(project.Frames.UpperBound(), 900001);
    EXPECT_EQ(project.Frames[900000][0], 127);
    EXPECT_EQ(project.Frames[900001][0], 128);

    // A target a float cannot hold, at the edge of the 32-bit range.
    project = NewProject();
    project.Servos[0].Home = 0;
    project.Servos[0].Max = 2147483647;
    project.Programs[0] = "Mov 2147483647, 1\r\nMov 16777217, 3\r\nWait 1";
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    EXPECT_EQ(project.Frames[2][0], 2147483647);
    const int32_t last = project.Frames.UpperBound();
    EXPECT_EQ(project.Frames[last][0], 16777217);
    EXPECT_LE(last, 1 + 1 + 4 + 1) << "the build must end";
}

TEST(Compiler, HostileProgramsCostNoMoreThanTheirFrames) {
    // Megabytes of words after an error are never looked at; a valid
    // program takes its frames and little else, however many words it has.
    std::string words, waits;
    for (int i = 0; i < 1'000'000; ++i) words += "a ";
    for (int i = 0; i < 200'000; ++i) waits += "Wait 1 ";
    for (const std::string& program : {"x " + words, "Wait 5 Mov 1, 3 " + words, "Mov " + words, waits}) {
        Project project = NewProject();
        project.Programs[3] = program;
        const size_t before = allocatedBytes;
        EXPECT_EQ(BuildAnimation(project).outcome, program == waits ? BuildOutcome::Success : BuildOutcome::Failed);
        EXPECT_LT(allocatedBytes - before, project.Frames.MemoryBytes() + (64 << 10)) << program.substr(0, 20);
    }
}

}  // namespace
