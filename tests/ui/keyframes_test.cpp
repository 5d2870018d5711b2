// Editing on the graph: keys of the selected servo's curve dragged, split,
// merged and changed with the pointer on the real execution window, the
// program text compared byte for byte, the other servos' columns unchanged,
// and each action one undo step of the servo's editor.
#include "core/command_map.h"
#include "execution/execution_window.h"
#include "execution/keyframe_layer.h"
#include "support/isolated_store.h"
#include "timeline/timeline_view.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrova;

namespace {

const char* const kWave = "' wave\r\nMov 200, 30 ' up\r\n  Wait  20\r\nMov 50,10 EaseOut";
const char* const kOther = "Mov 10, 40\r\nWait 20";

class KeyframesTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        frmMain::Dependencies fakes;
        fakes.messages = [](const Message&) { return MessageAnswer::Ok; };
        fakes.store = store_;
        window_ = std::make_unique<frmMain>(nullptr, fakes);
        window_->NewFile();
        window_->show();
        Load(kWave);
    }
    void TearDown() override {
        window_.reset();
        StoreTest::TearDown();
    }

    // Servo 0 runs `wave`, servo 1 kOther, servo 2 a program with an error;
    // built and shown, servo 0 selected.
    void Load(const std::string& wave) {
        Project& project = window_->project();
        project.Programs[0] = wave;
        project.Programs[1] = kOther;
        project.Programs[2] = "Wait 10 Mov 300 5";
        window_->ReloadEditorsFromProject();
        project.Programs[2] = "Wait 10";
        ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
        project.Programs[2] = "Wait 10 Mov 300 5";
        window_->SelectServo(0);
        window_->ShowExecutionWindow();
        layer_ = &window_->ExecutionWindow()->Keyframes();
        before_ = Columns();
    }
    Project& project() { return window_->project(); }
    const GraphMapping& Mapping() { return window_->ExecutionWindow()->Timeline().Mapping(); }
    std::vector<std::vector<int32_t>> Columns() {
        std::vector<std::vector<int32_t>> columns(kServoCount);
        const FrameTable& table = window_->project().Frames;
        for (int s = 0; s < kServoCount; ++s)
            for (int32_t f = 1; f <= table.UpperBound(); ++f) columns[s].push_back(table[f][s]);
        return columns;
    }
    void Move(QPoint to, Qt::KeyboardModifiers modifiers) {
        QMouseEvent move(QEvent::MouseMove, to, layer_->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, modifiers);
        QApplication::sendEvent(layer_, &move);
    }
    // Takes a key and moves it by whole frames and positions, in steps.
    void Drag(int servo, int command, int32_t frames, int32_t positions, Qt::KeyboardModifiers modifiers = {}) {
        const QPoint from = layer_->KeyPoint(servo, command);
        const QPoint by(static_cast<int>(std::lround(frames * Mapping().FramePixels())),
                        -static_cast<int>(std::lround(positions * Mapping().Height() / kGraphLogicalHeight)));
        QTest::mousePress(layer_, Qt::LeftButton, modifiers, from);
        for (int step = 1; step <= 3; ++step) Move(from + by * step / 3, modifiers);
        caption_ = layer_->DragCaption();
        QTest::mouseRelease(layer_, Qt::LeftButton, modifiers, from + by);
    }
    std::string Text(int servo) { return window_->rtb(servo)->Text(); }
    // Undo in the servo's editor, once: the text and the graph as before.
    void ExpectOneUndoStep(int servo, const std::string& original) {
        window_->rtb(servo)->undo();
        EXPECT_EQ(Text(servo), original);
        EXPECT_EQ(Columns(), before_);
    }

    std::unique_ptr<frmMain> window_;
    KeyframeLayer* layer_ = nullptr;
    std::vector<std::vector<int32_t>> before_;
    QString caption_;
};

}  // namespace

TEST_F(KeyframesTest, DragsRewriteOnlyTheNumbersTheyTouch) {
    struct Case {
        const char* name;
        int command;
        int32_t frames, positions;
        Qt::KeyboardModifiers modifiers;
        bool snap;
        const char* expected;
    };
    const Case cases[] = {
        {"up", 0, 0, 20, {}, false, "' wave\r\nMov 220, 30 ' up\r\n  Wait  20\r\nMov 50,10 EaseOut"},
        {"clamped to Max", 0, 0, 120, {}, false, "' wave\r\nMov 254, 30 ' up\r\n  Wait  20\r\nMov 50,10 EaseOut"},
        {"later, next absorbs", 0, 5, 0, {}, false, "' wave\r\nMov 200, 35 ' up\r\n  Wait  15\r\nMov 50,10 EaseOut"},
        {"later with Shift", 0, 5, 0, Qt::ShiftModifier, false, "' wave\r\nMov 200, 35 ' up\r\n  Wait  20\r\nMov 50,10 EaseOut"},
        // Frame 51 minus 4 lies within reach of frame 46, three seconds at 15.
        {"snapped to a second", 1, -4, 0, {}, true, "' wave\r\nMov 200, 30 ' up\r\n  Wait  15\r\nMov 50,15 EaseOut"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        layer_->SnapAction()->setChecked(c.snap);
        Drag(0, c.command, c.frames, c.positions, c.modifiers);
        EXPECT_EQ(Text(0), c.expected);
        EXPECT_EQ(project().Programs[0], c.expected);
        EXPECT_TRUE(caption_.startsWith(QStringLiteral("Frame "))) << caption_.toStdString();
        // The table is what a full build makes; servo 1 never changed (a
        // longer show holds its last position longer).
        const auto columns = Columns();
        for (size_t f = 0; f < columns[1].size(); ++f) ASSERT_EQ(columns[1][f], before_[1][std::min(f, before_[1].size() - 1)]);
        Project rebuilt;
        rebuilt.Servos = project().Servos;
        rebuilt.Programs = project().Programs;
        rebuilt.Programs[2] = "Wait 10";
        ASSERT_EQ(BuildAnimation(rebuilt).outcome, BuildOutcome::Success);
        for (int32_t f = 1; f <= rebuilt.Frames.UpperBound(); ++f) ASSERT_EQ(columns[0][f - 1], rebuilt.Frames[f][0]) << f;
        ExpectOneUndoStep(0, kWave);
    }
}

TEST_F(KeyframesTest, SplitMergeEasingAndKindAreOneUndoStepEach) {
    enum Action { DoubleClick, Delete, Menu };
    struct Case {
        Action action;
        int command;          // the key, for Delete and the menu
        int32_t frame;        // where to double-click
        const char* item;     // the menu item
        const char* expected;
    };
    const Case cases[] = {
        {DoubleClick, 0, 41, "", "' wave\r\nMov 200, 30 ' up\r\n  Wait  10\r\n  Wait 10\r\nMov 50,10 EaseOut"},
        {Delete, 1, 0, "", "' wave\r\nMov 200, 30 ' up\r\n  Mov 50,30 EaseOut"},
        {Menu, 2, 0, "EaseInOut", "' wave\r\nMov 200, 30 ' up\r\n  Wait  20\r\nMov 50,10 EaseInOut"},
        {Menu, 1, 0, "toggleWait", "' wave\r\nMov 200, 30 ' up\r\n  Mov 200,  20 EaseInOut\r\nMov 50,10 EaseOut"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.expected);
        const std::vector<int32_t> ends = [&] {
            std::vector<int32_t> e;
            for (const CommandSpan& span : layer_->Map(0).commands) e.push_back(span.lastFrame);
            return e;
        }();
        if (c.action == DoubleClick) {
            const QPoint at(static_cast<int>(Mapping().Column(c.frame)), static_cast<int>(Mapping().PositionRow(200)));
            QTest::mouseDClick(layer_, Qt::LeftButton, {}, at);
        } else {
            const QPoint key = layer_->KeyPoint(0, c.command);
            QTest::mouseClick(layer_, c.action == Menu ? Qt::RightButton : Qt::LeftButton, {}, key);
            if (c.action == Delete) QTest::keyClick(layer_, Qt::Key_Delete);
            if (c.action == Menu) {
                QAction* item = layer_->KeyMenu()->findChild<QAction*>(QString::fromLatin1(c.item));
                ASSERT_TRUE(item && item->isEnabled());
                layer_->KeyMenu()->hide();
                item->trigger();
            }
        }
        EXPECT_EQ(Text(0), c.expected);
        // Only a merge takes a key away; the last key stays on its frame.
        EXPECT_EQ(layer_->Map(0).commands.back().lastFrame, ends.back());
        EXPECT_EQ(Columns()[1], before_[1]);
        ExpectOneUndoStep(0, kWave);
    }
}

TEST_F(KeyframesTest, ClickSelectsTheLineAndCtrlClickTakesKeysOfSeveralCurves) {
    QTest::mouseClick(layer_, Qt::LeftButton, {}, layer_->KeyPoint(0, 0));
    int32_t start = 0, end = 0;
    window_->rtb(0)->GetSel(start, end);
    EXPECT_EQ(std::make_pair(start, end), std::make_pair(7, 23));  // "Mov 200, 30 ' up"
    EXPECT_TRUE(layer_->KeyToolTip({0, 0}).startsWith(QStringLiteral("Line 2: Mov 200, 30\nFrames 2 to 31, position 127 to 200")));

    QTest::mouseClick(layer_, Qt::LeftButton, Qt::ControlModifier, layer_->KeyPoint(1, 0));
    ASSERT_EQ(layer_->Selection().size(), 2u);
    const QPoint from = layer_->KeyPoint(0, 0);
    const QPoint by(static_cast<int>(std::lround(2 * Mapping().FramePixels())), 0);
    QTest::mousePress(layer_, Qt::LeftButton, {}, from);
    Move(from + by, {});
    QTest::mouseRelease(layer_, Qt::LeftButton, {}, from + by);
    EXPECT_EQ(Text(0), "' wave\r\nMov 200, 32 ' up\r\n  Wait  18\r\nMov 50,10 EaseOut");
    EXPECT_EQ(Text(1), "Mov 10, 42\r\nWait 18");
    EXPECT_EQ(Columns()[3], before_[3]);
}

TEST_F(KeyframesTest, KeysStopAtAnErrorAndCannotBeDraggedPastIt) {
    window_->SelectServo(2);
    const ServoMap& map = layer_->Map(2);
    ASSERT_EQ(map.commands.size(), 1u);
    EXPECT_NE(layer_->KeyToolTip({2, 0}).indexOf(QStringLiteral("Keys stop here, line 1: Position is greater than servo maximum.")), -1);
    Drag(2, 0, 6, 0);
    EXPECT_EQ(Text(2), "Wait 10 Mov 300 5");
}
