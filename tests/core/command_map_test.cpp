#include "core/command_map.h"
#include "core/text_edit.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

ServoRecord Servo(int32_t home = 127) { return ServoRecord{"S", home, 0, 254, true, false}; }

// A span as text: the words it stands on, its frames and positions.
std::string Describe(const CommandSpan& c) {
    auto word = [&](const Token& t) {
        return t.End == 0 ? std::string("-") : std::string(t.Text) + "@" + std::to_string(t.Start) + "-" + std::to_string(t.End);
    };
    return word(c.word) + " " + word(c.position) + " " + word(c.frames) + " " + word(c.easing) + " " +
           std::to_string(c.firstFrame) + ".." + std::to_string(c.lastFrame) + " " + std::to_string(c.from) + ">" +
           std::to_string(c.to);
}

std::unique_ptr<Project> Built(const std::string& program, int servo = 3) {
    auto project = std::make_unique<Project>();
    StartNewProject(*project);
    project->Programs[0] = "Mov 10, 20\r\nWait 5";
    project->Programs[servo] = program;
    project->WavCues.push_back(WavCue{30, 40, "a.wav"});
    BuildAnimation(*project);
    return project;
}

std::vector<int32_t> Column(const Project& project, int servo) {
    std::vector<int32_t> column;
    for (int32_t f = 1; f <= project.Frames.UpperBound(); ++f) column.push_back(project.Frames[f][servo]);
    return column;
}

}  // namespace

TEST(CommandMap, SpansStandOnTheirWordsAndFrames) {
    struct Case {
        const char* program;
        std::vector<std::string> spans;
        int32_t errorAt;  // where the error's word starts, -1 when none
        int32_t frames;
    };
    const Case cases[] = {
        {"Mov 137, 10\r\nWait 2", {"Mov@0-3 137@4-7 10@9-11 - 2..11 127>137", "Wait@12-16 - 2@17-18 - 12..13 137>137"}, -1, 13},
        // Comments between a command and its numbers, odd spacing, a lone LF.
        {"\t mov\t'x\r\n 130 ,,3 'y\r\nWAIT ,1", {"mov@2-5 130@10-13 3@16-17 - 2..4 127>130", "WAIT@21-25 - 1@27-28 - 5..5 130>130"}, -1, 5},
        // UTF-8 in comments counts one per character.
        {"'ÄÖ€\r\nMov 0 2 EaseIn", {"Mov@5-8 0@9-10 2@11-12 EaseIn@13-19 2..3 127>0"}, -1, 3},
        // A move to where the servo stands fills nothing; linear moves may
        // take other than their frame count.
        {"Mov 127 5\r\nMov 254, 10", {"Mov@0-3 127@4-7 5@8-9 - 2..1 127>127", "Mov@10-13 254@14-17 10@19-21 - 2..11 127>254"}, -1, 11},
        {"Mov 1.5E1 2 easeinout Wait 1", {"Mov@0-3 1.5E1@4-9 2@10-11 easeinout@12-21 2..3 127>15", "Wait@22-26 - 1@27-28 - 4..4 15>15"}, -1, 4},
        // Keys up to the error.
        {"Wait 3\r\nMov &H10, 4\r\nWait 1", {"Wait@0-4 - 3@5-6 - 2..4 127>127"}, 11, 4},
        {"Wait 3 Jump 4", {"Wait@0-4 - 3@5-6 - 2..4 127>127"}, 7, 4},
        {"Wait 999999 Wait 1", {"Wait@0-4 - 999999@5-11 - 2..1000000 127>127"}, 17, 1000000},
        {"", {}, -1, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const ServoMap map = MapServo(Servo(), c.program);
        std::vector<std::string> spans;
        for (const CommandSpan& span : map.commands) spans.push_back(Describe(span));
        EXPECT_EQ(spans, c.spans);
        EXPECT_EQ(map.frames, c.frames);
        EXPECT_EQ(map.error ? map.error->Start : -1, c.errorAt);

        // The map's frames and positions are the build's.
        const auto project = Built(c.program);
        const ServoMap rebuilt = RebuildServo(*project, 3);
        EXPECT_EQ(rebuilt.commands.size(), map.commands.size());
        if (map.error) continue;
        EXPECT_EQ(project->ServoFrameCount[3], map.frames);
        for (const CommandSpan& span : map.commands) {
            if (span.lastFrame >= span.firstFrame && span.kind == CommandKind::Wait) {
                EXPECT_EQ(project->Frames[span.lastFrame][3], span.to);
            }
        }
    }
}

TEST(CommandMap, RebuildingOneServoLeavesTheTableAsAFullBuild) {
    const char* before = "Mov 200, 50\r\nWait 10";
    const char* afters[] = {"Mov 200, 80\r\nWait 10", "Mov 90, 10", "Wait 1", "Mov 20, 7 EaseOut\r\nWait 2000", "Mov 20 x"};
    for (const char* after : afters) {
        SCOPED_TRACE(after);
        auto project = Built(before);
        project->Programs[3] = after;
        const ServoMap map = RebuildServo(*project, 3);
        // On an error, what compiled (here nothing) stays, held to the end.
        auto expected = Built(map.error ? "" : after);
        EXPECT_EQ(project->Frames.UpperBound(), expected->Frames.UpperBound());
        for (int s = 0; s < kFrameSlots; ++s) EXPECT_EQ(Column(*project, s), Column(*expected, s)) << "slot " << s;
    }
}

TEST(CommandMap, CommandAtFrame) {
    const ServoMap map = MapServo(Servo(), "Wait 3 Mov 127 4 Mov 0 2");
    const std::pair<int32_t, int> cases[] = {{1, -1}, {2, 0}, {4, 0}, {5, 2}, {6, 2}, {7, -1}};
    for (const auto& [frame, command] : cases) EXPECT_EQ(CommandAtFrame(map, frame), command) << frame;
}

TEST(TextEdit, ReplacesCharacterRangesLeavingTheRestByteForByte) {
    struct Case {
        const char* program;
        std::vector<TextEdit> edits;
        const char* expected;
    };
    const Case cases[] = {
        {"Mov 1, 2", {{4, 5, "100"}}, "Mov 100, 2"},
        // CR LF counts as one character, UTF-8 as one per character.
        {"'é\r\nMov 1,\r\n2 'ü", {{10, 11, "30"}, {7, 8, "9"}}, "'é\r\nMov 9,\r\n30 'ü"},
        {"Wait 1.5E1\r\n", {{5, 10, "15"}}, "Wait 15\r\n"},
        // Insertions, deletions, past the end, overlapping.
        {"Wait 2", {{6, 6, " Wait 1"}, {0, 0, "' x\r\n"}}, "' x\r\nWait 2 Wait 1"},
        {"Wait 2 Wait 1", {{6, 13, ""}}, "Wait 2"},
        {"Wait 2", {{4, 99, " 7"}}, "Wait 7"},
        {"abcdef", {{1, 4, "X"}, {2, 5, "Y"}}, "aXYf"},
        {"abc", {}, "abc"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        EXPECT_EQ(ApplyEdits(c.program, c.edits), c.expected);
    }
    EXPECT_EQ(ReplaceWord(Token{"&H10", 3, 7}, -5), (TextEdit{3, 7, "-5"}));
}
