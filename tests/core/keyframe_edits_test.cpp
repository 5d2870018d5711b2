#include "core/keyframe_edits.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

const ServoRecord kServo{"S", 127, 0, 254, true, false};

std::vector<int32_t> Ends(const std::string& program) {
    std::vector<int32_t> ends;
    for (const CommandSpan& c : MapServo(kServo, program).commands) ends.push_back(c.lastFrame);
    return ends;
}

std::vector<int32_t> Column(const std::string& program) {
    auto project = std::make_unique<Project>();
    project->Servos[0] = kServo;
    project->Programs[0] = program;
    ServoCompiler compiler(*project);
    EXPECT_TRUE(compiler.CompileServo(0)) << program;
    std::vector<int32_t> column;
    for (int32_t f = 1; f <= project->ServoFrameCount[0]; ++f) column.push_back(project->Frames[f][0]);
    return column;
}

std::string Apply(const std::string& program, const KeyEdit& edit) {
    EXPECT_TRUE(edit.ok()) << edit.error;
    return ApplyEdits(program, edit.edits);
}

}  // namespace

TEST(KeyframeEdits, MovingAKeyChangesOnlyItsNumbersAndKeepsLaterKeys) {
    struct Case {
        const char* program;
        int key;
        int32_t to, end;
        bool shift;
        const char* expected;
    };
    const Case cases[] = {
        {"Mov 200, 30 ' up\r\nWait 20\r\nMov 50, 10", 0, 180, 31, false, "Mov 180, 30 ' up\r\nWait 20\r\nMov 50, 10"},
        {"Mov 200, 30 ' up\r\nWait 20\r\nMov 50, 10", 0, 200, 41, false, "Mov 200, 40 ' up\r\nWait 10\r\nMov 50, 10"},
        {"Mov 200, 30 ' up\r\nWait 20\r\nMov 50, 10", 0, 200, 41, true, "Mov 200, 40 ' up\r\nWait 20\r\nMov 50, 10"},
        // The next command keeps a frame; a drag past it stops there.
        {"Mov 200, 30 ' up\r\nWait 20\r\nMov 50, 10", 0, 200, 99, false, "Mov 200, 49 ' up\r\nWait 1\r\nMov 50, 10"},
        // Numbers that keep their value keep their form.
        {"Mov\t1.5E2 ,2E1\r\nWait  10", 0, 160, 21, false, "Mov\t160 ,2E1\r\nWait  10"},
        {"Wait 10\r\nMov 100, 20", 0, 0, 16, false, "Wait 15\r\nMov 100, 15"},
        // A new target reaches the later moves through the Wait between.
        {"Mov 150, 10 Wait 5 Mov 100 20 Wait 3", 0, 170, 11, false, "Mov 170, 10 Wait 5 Mov 100 20 Wait 3"},
        {"Wait 999990", 0, 0, 2'000'000, true, "Wait 999999"},
        // A key cannot pass the error after it.
        {"Wait 10 Mov 300 5", 0, 0, 30, false, "Wait 10 Mov 300 5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const ServoMap map = MapServo(kServo, c.program);
        const std::string after = Apply(c.program, MoveKey(map, c.key, c.to, c.end, c.shift));
        EXPECT_EQ(after, c.expected);
        const std::vector<int32_t> before = Ends(c.program), now = Ends(after);
        if (map.error || before.size() != now.size()) continue;
        const int32_t moved = now[c.key] - before[c.key];
        for (size_t k = c.key + 1; k < now.size(); ++k) {
            if (c.shift || k > size_t(c.key) + 1 || k + 1 == now.size()) {
                EXPECT_EQ(now[k], before[k] + (c.shift ? moved : 0)) << k;
            }
        }
    }
    // A move that filled nothing grows when it gets somewhere to go; the
    // next command gives up what it can.
    const char* empty = "Mov 127 5 Wait 3";
    EXPECT_EQ(Apply(empty, MoveKey(MapServo(kServo, empty), 0, 200, 9, false)), "Mov 200 5 Wait 1");
}

TEST(KeyframeEdits, SplitMergeEasingAndKind) {
    enum Action { Split, Merge, EaseIn, Linear, EaseInOut, Toggle };
    struct Case {
        const char* program;
        Action action;
        int32_t at;  // frame to split, or key
        const char* expected;  // nullptr: refused
    };
    const Case cases[] = {
        {"Wait 10 ' hold\r\nMov 50, 4", Split, 5, "Wait 4 ' hold\r\nWait 6\r\nMov 50, 4"},
        {"  Wait 10 Mov 50, 4", Split, 5, "  Wait 4 Wait 6 Mov 50, 4"},
        {"Mov 227, 100", Split, 51, "Mov 177, 50\r\nMov 227, 50"},
        {"Mov 227, 100 EaseInOut", Split, 51, "Mov 177, 50 EaseIn\r\nMov 227, 50 EaseOut"},
        {"Wait 10", Split, 11, nullptr},
        {"Wait 5\r\nWait 7 ' x", Merge, 0, "Wait 12 ' x"},
        {"Mov 200, 10\r\nWait 5", Merge, 0, "Mov 200, 15"},
        {"Wait 5 'a\r\nMov 50, 10", Merge, 0, " 'a\r\nMov 50, 15"},
        {"Wait 5\r\nWait 3", Merge, 1, "Wait 5"},
        {"Wait 5\r\nMov 999, 3", Merge, 0, nullptr},
        {"Mov 200, 10 ' c", EaseIn, 0, "Mov 200, 10 EaseIn ' c"},
        {"Mov 200, 10 easeout", Linear, 0, "Mov 200, 10"},
        {"Mov 200, 10 easeout", EaseInOut, 0, "Mov 200, 10 EaseInOut"},
        {"Wait 10", EaseIn, 0, nullptr},
        {"Wait 10", Toggle, 0, "Mov 127, 10 EaseInOut"},
        {"Mov 127, 10 EaseIn", Toggle, 0, "Wait 10"},
        {"Mov 120, 10", Toggle, 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.program);
        const ServoMap map = MapServo(kServo, c.program);
        int32_t frame = 0;
        KeyEdit edit;
        switch (c.action) {
        case Split: edit = SplitAt(c.program, map, c.at, frame); break;
        case Merge: edit = MergeKey(c.program, map, c.at); break;
        case EaseIn: edit = SetEasing(c.program, map, c.at, Ease::In); break;
        case Linear: edit = SetEasing(c.program, map, c.at, Ease::None); break;
        case EaseInOut: edit = SetEasing(c.program, map, c.at, Ease::InOut); break;
        case Toggle: edit = ToggleWait(c.program, map, c.at); break;
        }
        if (!c.expected) {
            EXPECT_FALSE(edit.ok());
            continue;
        }
        const std::string after = Apply(c.program, edit);
        EXPECT_EQ(after, c.expected);
        // Splitting, easing changes and kind changes keep every key's frame;
        // splitting keeps every position too.
        if (c.action == Split) {
            EXPECT_EQ(Column(after), Column(c.program));
        }
        if (c.action != Merge) {
            EXPECT_EQ(Ends(after).back(), Ends(c.program).back());
        }
    }
}
