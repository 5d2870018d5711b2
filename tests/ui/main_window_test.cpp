#include "ui/main_window.h"

#include "core/messages.h"
#include "link/pty.h"
#include "support/isolated_store.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/program_diagnostics.h"
#include "ui/recent_menu.h"
#include "ui/servo_panel.h"
#include "ui/status_message.h"
#include "ui/position_watch.h"
#include "link/live_output.h"
#include "ui/servo_settings_dialog.h"

#include "ui/message_box.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <QToolTip>
#include <QWindow>

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>

using namespace kestrova;
using Bytes = std::vector<uint8_t>;

namespace {

class MainWindowTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        QApplication::clipboard()->clear();
        frmMain::Dependencies fakes;
        fakes.messages = [this](const Message& m) {
            shown_.push_back(m);
            return m.buttons == MessageButtons::YesNoCancel ? answer_ : MessageAnswer::Ok;
        };
        fakes.framesPrompt = [this](QWidget*) { return framesAnswer_; };
        fakes.fileDialog = [this](QWidget*, bool save) {
            dialogs_.push_back(save);
            if (names_.empty()) return QString();
            const QString name = names_.front();
            names_.pop_front();
            return name;
        };
        fakes.store = store_;
        window_ = std::make_unique<frmMain>(nullptr, fakes);
        window_->NewFile();
        window_->show();
        window_->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window_.get()));
    }
    void TearDown() override {
        window_.reset();
        StoreTest::TearDown();
    }

    Project& project() { return window_->project(); }
    ServoPanel& panel() { return *window_->Panel(); }
    std::vector<int> VisibleEditors() const {
        std::vector<int> visible;
        for (int i = 0; i < kServoCount; ++i)
            if (window_->rtb(i)->isVisible()) visible.push_back(i);
        return visible;
    }
    // Opens the port on `pty`, each command after the synch byte 255.
    void OpenPortOn(kestrova::testing::Pty& pty) {
        project().Settings.SynchByte = 255;
        ASSERT_FALSE(MapPortToDevice(store_, 1, pty.Path()));
        window_->link().ApplyCommSettings(project().Settings);
        QTest::mouseClick(panel().chkCOM(), Qt::LeftButton, {}, QPoint(6, 6));
        ASSERT_TRUE(window_->link().IsOpen());
        ASSERT_EQ(panel().chkCOM()->text(), "COM Open");
    }
    QString File(const char* name) const { return QString::fromStdString(dir_ + "/" + name); }
    // The caption as the desktop shows it.
    QString Caption() const { return window_->windowHandle()->title(); }
    void Type(const char* text) { QTest::keyClicks(window_->rtb(window_->project().lServo), text); }
    std::vector<QString> RecentCaptions() const {
        std::vector<QString> captions;
        for (QAction* item : window_->RecentMenu()->Items()) captions.push_back(item->text());
        return captions;
    }
    // Whether the label shows the active highlight.
    bool Lit(QLabel* label) const {
        return label->palette().color(QPalette::Window) == window_->palette().color(QPalette::Active, QPalette::Highlight);
    }

    std::vector<Message> shown_;
    MessageAnswer answer_ = MessageAnswer::Ok;  // to the questions of Yes, No and Cancel
    int32_t framesAnswer_ = -1;  // what the frames prompt answers
    std::vector<bool> dialogs_;  // the file dialogs asked for: true for a save dialog
    std::deque<QString> names_;  // what they answer, in turn; none: cancelled
    std::unique_ptr<frmMain> window_;
};

}  // namespace

TEST_F(MainWindowTest, PanelSelectionBringsItsEditorAndEachEditorKeepsItsCaret) {
    panel().cmdMax(9)->setFocus();
    EXPECT_EQ(VisibleEditors(), std::vector<int>{9});
    EXPECT_EQ(window_->lblServoInstructions()->text(), "Servo Instructions: \"Servo 10\"");
    EXPECT_TRUE(Lit(panel().lblServoControl()));
    EXPECT_FALSE(Lit(window_->lblServoInstructions()));

    window_->rtb(9)->setFocus();
    QTest::keyClicks(window_->rtb(9), "Wait 3");
    EXPECT_TRUE(Lit(window_->lblServoInstructions()));
    EXPECT_FALSE(Lit(panel().lblServoControl()));

    QTest::mouseClick(panel().frmServo(1), Qt::LeftButton, {}, QPoint(3, 40));
    EXPECT_EQ(VisibleEditors(), std::vector<int>{1});
    window_->SelectServo(9);
    int32_t start = 0, end = 0;
    window_->rtb(9)->GetSel(start, end);
    EXPECT_EQ(start, 6);
    EXPECT_EQ(project().Programs[9], "Wait 3");
    EXPECT_EQ(project().Programs[1], "");

    // Moving the caret or selecting changes nothing.
    project().bNeedToSave = project().ModifiedSinceBuild = false;
    QTest::keyClick(window_->rtb(9), Qt::Key_Left);
    QTest::keyClick(window_->rtb(9), Qt::Key_Home, Qt::ShiftModifier);
    EXPECT_FALSE(project().bNeedToSave || project().ModifiedSinceBuild);
    EXPECT_TRUE(window_->ToolbarButton("copy")->isEnabled());
}

TEST_F(MainWindowTest, JumpButtonsAndNewLimitsMoveTheSliderAndSendThePosition) {
    kestrova::testing::Pty pty;
    OpenPortOn(pty);
    project().Servos[5] = {"Servo 6", 100, 20, 200, true, false};
    window_->UpdateServoSettings();
    pty.Stray();
    for (auto [button, position] : {std::pair{panel().cmdHome(5), 100}, {panel().cmdMax(5), 200}, {panel().cmdMin(5), 20}}) {
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_EQ(panel().lblPos(5)->text(), QString::number(position));
        EXPECT_EQ(pty.Read(3), (Bytes{255, 5, uint8_t(position)}));
    }
    panel().hscServo(3)->setValue(200);
    EXPECT_EQ(pty.Read(3), (Bytes{255, 3, 200}));
    window_->SelectServo(3);
    project().Servos[3].Name = "Jaw";
    window_->UpdateServoSettings();  // same range: nothing moves
    EXPECT_TRUE(pty.Stray().empty());
    EXPECT_EQ(window_->lblServoInstructions()->text(), "Servo Instructions: \"Jaw\"");
}

TEST_F(MainWindowTest, LogAndWaitRecordOnlyAnAcceptedFrameCount) {
    // The frame count answered, the program recorded, messages shown for each of the two.
    for (auto [answer, program, messages] : {std::tuple<int32_t, std::string, size_t>{-1, "", 0}, {0, "", 1},
                                             {10, "Mov 140, 10\r\nWait 10\r\n", 0}}) {
        window_->NewFile();
        shown_.clear();
        framesAnswer_ = answer;
        panel().hscServo(6)->setValue(140);
        QTest::mouseClick(panel().cmdLog(6), Qt::LeftButton);
        QTest::mouseClick(window_->cmdWait(), Qt::LeftButton);
        EXPECT_EQ(project().Programs[6], program) << answer;
        EXPECT_EQ(shown_.size(), messages * 2) << answer;
        EXPECT_EQ(project().bNeedToSave, !program.empty()) << answer;
    }
}

TEST_F(MainWindowTest, EditCommandsFollowTheSelectedEditor) {
    QAction* cut = window_->ToolbarButton("cut");
    QAction* paste = window_->ToolbarButton("paste");
    QAction* miCut = window_->findChild<QAction*>("miCut");
    EXPECT_FALSE(cut->isEnabled() || paste->isEnabled() || miCut->isEnabled());
    window_->rtb(0)->SetText("Wait 3");
    window_->rtb(0)->SetSel(0, 4);
    EXPECT_TRUE(cut->isEnabled() && miCut->isEnabled() && window_->ToolbarButton("copy")->isEnabled());
    panel().cmdHome(2)->setFocus();  // servo 2's editor has no selection
    EXPECT_FALSE(cut->isEnabled());
    window_->SelectServo(0);
    EXPECT_TRUE(cut->isEnabled());

    miCut->trigger();
    EXPECT_EQ(project().Programs[0], " 3");
    EXPECT_FALSE(cut->isEnabled());
    EXPECT_TRUE(paste->isEnabled() && window_->findChild<QAction*>("miPaste")->isEnabled());
    QApplication::clipboard()->clear();
    EXPECT_FALSE(paste->isEnabled());

    // Undo and Redo in the menu work on the selected editor's history.
    QAction* undo = window_->findChild<QAction*>("miUndo");
    QAction* redo = window_->findChild<QAction*>("miRedo");
    ASSERT_TRUE(undo && redo);
    EXPECT_TRUE(undo->isEnabled() && !redo->isEnabled());
    undo->trigger();
    EXPECT_EQ(project().Programs[0], "Wait 3");
    EXPECT_TRUE(redo->isEnabled());
    redo->trigger();
    EXPECT_EQ(project().Programs[0], " 3");
    window_->SelectServo(5);
    EXPECT_FALSE(undo->isEnabled() || redo->isEnabled());
}

TEST_F(MainWindowTest, ABuildErrorSelectsTheOffendingWordOfItsServo) {
    window_->rtb(3)->SetText("Mov 100, 10\r\nMove 5, 3");
    window_->rtb(3)->SetSel(0, 0);
    window_->BuildAnimation();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "Unknown Command.");
    EXPECT_EQ(VisibleEditors(), std::vector<int>{3});
    EXPECT_EQ(window_->rtb(3)->textCursor().selectedText(), "Move");
    EXPECT_EQ(window_->focusWidget(), window_->rtb(3));
}

TEST_F(MainWindowTest, SliderKeysStopAtTheLimitsAndMarkWhatTheControllerCannotTake) {
    project().Servos[4].Min = 10;
    project().Servos[4].Max = 300;  // wider than the controller takes
    window_->UpdateServoSettings();
    QScrollBar* slider = panel().hscServo(4);
    slider->setFocus();
    for (auto [from, key, to] : {std::tuple{127, Qt::Key_End, 300}, {10, Qt::Key_Down, 10},
                                 {255, Qt::Key_Right, 256}, {256, Qt::Key_Left, 255},
                                 // Pages are a tenth of the range (29 of 290), clipped at the ends.
                                 {100, Qt::Key_PageUp, 129}, {100, Qt::Key_PageDown, 71}, {30, Qt::Key_PageDown, 10}}) {
        slider->setValue(from);
        QTest::keyClick(slider, key);
        EXPECT_EQ(slider->value(), to) << from << " key " << key;
        const bool sendable = to <= 255;
        EXPECT_EQ(panel().lblPos(4)->text(), QString::number(to) + (sendable ? "" : "!"));
        EXPECT_EQ(panel().lblPos(4)->toolTip().isEmpty(), sendable);
    }
}

TEST_F(MainWindowTest, DiagnosticsUnderlineTheFirstErrorAndFillTheStatusBar) {
    EXPECT_EQ(window_->StatusFrames()->text(), "Servo: 1 frame");
    EXPECT_EQ(window_->StatusShow()->text(), "Show: 1 frame, 0.1 seconds at 15 fps");
    window_->rtb(1)->SetText("Wait 40");
    const int32_t tableBefore = project().Frames.UpperBound();
    window_->SelectServo(2);
    KvxEditCtrl* editor = window_->rtb(2);
    editor->SetText("Mov 137, 10\r\n  Move 3, 4\r\nWait 5");
    window_->Diagnostics()->RunNow();

    EXPECT_EQ(editor->DiagnosticMessage(), "Unknown Command.");
    EXPECT_EQ(editor->DiagnosticRange().selectedText(), "Move");
    ASSERT_EQ(editor->extraSelections().size(), 1);
    EXPECT_EQ(editor->extraSelections()[0].format.underlineStyle(), QTextCharFormat::WaveUnderline);
    EXPECT_EQ(window_->StatusError()->text(), "Line 2, column 3: Unknown Command.");
    EXPECT_EQ(window_->StatusFrames()->text(), "Servo: 11 frames") << "as far as the program compiled";
    EXPECT_EQ(window_->StatusShow()->text(), "Show: 41 frames, 2.7 seconds at 15 fps");
    editor->SetSel(14, 14);
    EXPECT_EQ(window_->StatusCaret()->text(), "Line 2, Col 3");
    EXPECT_EQ(project().Frames.UpperBound(), tableBefore) << "no build happened";

    // The message is the underlined word's tool tip.
    QTextCursor inside = editor->DiagnosticRange();
    inside.setPosition(inside.selectionStart() + 2);
    const QPoint point = editor->cursorRect(inside).center();
    QHelpEvent help(QEvent::ToolTip, point, editor->viewport()->mapToGlobal(point));
    QApplication::sendEvent(editor->viewport(), &help);
    EXPECT_EQ(QToolTip::text(), "Unknown Command.");

    // Another servo's error is named while the selected one is clean.
    window_->rtb(0)->SetText("Wait 0");
    editor->SetSel(14, 23);
    QTest::keyClicks(editor, "Mov 130, 3, EaseIn");
    window_->Diagnostics()->RunNow();
    EXPECT_TRUE(editor->DiagnosticMessage().isEmpty());
    EXPECT_TRUE(editor->extraSelections().isEmpty());
    EXPECT_EQ(window_->StatusError()->text(), "Servo \"Servo 1\", line 1, column 6: Frames must be greater than zero.");
    EXPECT_EQ(window_->StatusFrames()->text(), "Servo: 19 frames");
}

TEST_F(MainWindowTest, CapWarningsAreAmberUnderlinesThatFollowTheCapsAndNeverBlockTheBuild) {
    window_->SelectServo(2);
    KvxEditCtrl* editor = window_->rtb(2);
    using Mark = std::tuple<int, int, QColor>;  // start, end, underline
    const QColor amber = KvxEditCtrl::kWarningUnderline, red = KvxEditCtrl::kErrorUnderline;
    // The status bar's message starts with `status`.
    const struct { const char* program; int32_t speed, caret; std::vector<Mark> marks; const char* status; } cases[] = {
        {"Mov 200, 10\r\nMov 210, 10", 0, 0, {}, "No errors"},
        {"Mov 200, 10\r\nMov 210, 10", 100, 20, {{0, 3, amber}}, "Line 1, column 1: Warning: this move asks for 240"},
        {"Mov 200, 10\r\nMov 20, 10", 100, 13, {{0, 3, amber}, {12, 15, amber}}, "Line 2, column 1: Warning: this"},
        {"Mov 200, 10\r\nMove 3", 100, 0, {{12, 16, red}}, "Line 2, column 1: Unknown Command."},
    };
    for (const auto& c : cases) {
        project().Servos[2].MaxSpeed = c.speed;
        window_->UpdateServoSettings();
        editor->SetText(c.program);
        editor->SetSel(c.caret, c.caret);
        window_->Diagnostics()->RunNow();
        std::vector<Mark> marks;
        for (const auto& m : editor->extraSelections())
            marks.emplace_back(m.cursor.selectionStart(), m.cursor.selectionEnd(), m.format.underlineColor());
        EXPECT_EQ(marks, c.marks) << c.program << " " << c.speed;
        EXPECT_TRUE(window_->StatusError()->text().startsWith(c.status)) << window_->StatusError()->text().toStdString();
    }
    editor->SetText("Mov 200, 10\r\nMov 20, 10");
    shown_.clear();
    window_->BuildAnimation();
    EXPECT_TRUE(shown_.empty() && project().Built);
    EXPECT_EQ(project().Frames[11].Record()[2], 200) << "the table keeps what was written";
}

// What the window test above leaves out: the choice across servos.
TEST(StatusMessage, AnErrorAnywhereFirstThenTheSelectedServosWarnings) {
    const auto check = [](std::optional<int32_t> error, std::vector<int32_t> warnings) {
        std::optional<ProgramCheck> c(ProgramCheck{});
        if (error) c->error = CompileError{0, *error, *error + 1, "error", "Compile Error"};
        for (int32_t at : warnings) c->warnings.push_back({at, at + 3, "warning"});
        return c;
    };
    const struct {
        std::array<std::optional<ProgramCheck>, kServoCount> results;
        int servo, offset;  // shown, with the caret of servo 0 at 12
    } cases[] = {{{check({}, {5}), check(4, {})}, 1, 4}, {{check({}, {5}), check({}, {1})}, 0, 5},
                 {{check({}, {}), check({}, {1})}, 1, 1}, {{}, -1, 0}};
    for (const auto& c : cases) {
        const StatusMessage shown = PickStatusMessage(c.results, 0, 12);
        EXPECT_EQ(std::pair(shown.servo, shown.offset), std::pair(c.servo, c.offset));
    }
}

TEST_F(MainWindowTest, APositionIsUnknownUntilItsFirstCommandGoesOutOnTheOpenPort) {
    kestrova::testing::Pty pty;
    project().Settings.SynchByte = 255;
    const auto unknowns = [this] {
        int n = 0;
        for (int s = 0; s < kServoCount; ++s) n += !panel().PositionKnown(s);
        return n;
    };
    const auto becomes = [this](bool known) { return QTest::qWaitFor([&] { return panel().PositionKnown(3) == known; }); };
    EXPECT_EQ(unknowns(), kServoCount) << "closed";
    // A Mini-SSC has no pulses off: its servos hold and stay known.
    for (const auto& [protocol, forgets] : {std::pair{Protocol::Pololu, true}, {Protocol::MiniSsc, false}}) {
        project().Settings.Protocol = int32_t(protocol);
        window_->link().SetControllerSetup(SetupOf(project()));
        OpenPortOn(pty);
        QTest::qWait(2 * PositionWatch::kIntervalMs);
        EXPECT_EQ(unknowns(), kServoCount) << "open, nothing sent";
        QTest::mouseClick(panel().cmdMax(3), Qt::LeftButton);
        ASSERT_TRUE(becomes(true));
        EXPECT_EQ(unknowns(), kServoCount - 1);
        window_->link().Live().PulsesOff();
        EXPECT_TRUE(becomes(!forgets)) << int(protocol);
        QTest::mouseClick(panel().chkCOM(), Qt::LeftButton, {}, QPoint(6, 6));
        EXPECT_TRUE(becomes(false)) << "closed";
    }
}

TEST_F(MainWindowTest, OpeningAFileNeverDrivesAServoOutsideItsLimits) {
    kestrova::testing::Pty pty;
    OpenPortOn(pty);
    // The file's text and whether it opens; none sends a byte.
    for (const auto& [text, opens] : {
             // Servo 2 to 16 lack their blocks: they keep Home 127 in 0 to 254.
             std::pair<std::string, bool>{"KVSL=1.0\r\nServo1.Name=Neck\r\nServo1.Min=0\r\nServo1.Max=254\r\n", true},
             // A narrower range pushes the slider to its bound without sending it.
             {"KVSL=1.0\r\nServo3.Min=200\r\nServo3.Max=240\r\n", true},
             {std::string("\x7f" "ELF\x02\x01\x01\0\0\0", 10) + "garbage.Name=x\r\n\xff\xfe", false},
             {"", false}}) {
        window_->NewFile();
        pty.Stray();
        shown_.clear();
        const std::string path = dir_ + "/any.kva";
        std::ofstream(path, std::ios::binary) << text;
        EXPECT_EQ(window_->OpenFile(QString::fromStdString(path)), opens) << text;
        EXPECT_EQ(pty.Stray(), Bytes{}) << text;
        EXPECT_TRUE(project().Servos[1].Home == 127 && project().Servos[1].Max == 254) << text;
        if (!opens) {
            ASSERT_EQ(shown_.size(), 1u) << text;
            EXPECT_EQ(shown_[0].text, path + " is not a Kestrova animation.");
            EXPECT_EQ(window_->windowTitle().toStdString().find(path), std::string::npos);
        }
    }

    // Sliders left at ends no position can be sent to, then a project with
    // ordinary limits: they take the new bounds, and no servo moves.
    const std::string odd = dir_ + "/odd.kva", plain = dir_ + "/plain.kva";
    std::ofstream(odd, std::ios::binary) << "KVSL=1.0\r\nServo11.Home=-50\r\nServo11.Min=-100\r\nServo11.Max=-10\r\n"
                                            "Servo12.Home=400\r\nServo12.Min=300\r\nServo12.Max=500\r\n";
    std::ofstream(plain, std::ios::binary) << "KVSL=1.0\r\nServo1.Name=Neck\r\n";
    ASSERT_TRUE(window_->OpenFile(QString::fromStdString(odd)));
    EXPECT_EQ(panel().lblPos(10)->text(), "-10!");
    EXPECT_EQ(panel().lblPos(11)->text(), "300!");
    ASSERT_TRUE(window_->OpenFile(QString::fromStdString(plain)));
    EXPECT_EQ(pty.Stray(), Bytes{});
    EXPECT_EQ(panel().lblPos(10)->text(), "0");
    EXPECT_EQ(panel().lblPos(11)->text(), "254");
    EXPECT_TRUE(panel().lblPos(11)->toolTip().isEmpty());
}

TEST_F(MainWindowTest, InvertedLimitsFromAFileAreReportedAndTheirSliderSendsNothing) {
    kestrova::testing::Pty pty;
    OpenPortOn(pty);
    const std::string path = dir_ + "/inverted.kva";
    std::ofstream(path, std::ios::binary) << "KVSL=1.0\r\nServo14.Min=200\r\nServo14.Max=100\r\n";
    ASSERT_TRUE(window_->OpenFile(QString::fromStdString(path)));
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_NE(shown_[0].text.find("Servo #14"), std::string::npos) << shown_[0].text;
    EXPECT_EQ(pty.Stray(), Bytes{}) << "opening sends nothing";
    for (QPushButton* button : {panel().cmdHome(13), panel().cmdMin(13), panel().cmdMax(13)}) {
        QTest::mouseClick(button, Qt::LeftButton);
        EXPECT_TRUE(panel().lblPos(13)->text().endsWith("!")) << button->text().toStdString();
        EXPECT_FALSE(panel().lblPos(13)->toolTip().isEmpty());
    }
    EXPECT_EQ(pty.Stray(), Bytes{});
    // Mended limits send again.
    project().Servos[13].Min = 100;
    project().Servos[13].Max = 200;
    window_->UpdateServoSettings();
    QTest::mouseClick(panel().cmdMax(13), Qt::LeftButton);
    EXPECT_EQ(pty.Read(3), (Bytes{255, 13, 200}));
}

namespace {

// Records what the progress window showed each time it was painted, with
// whether the whole window (not only its label) was drawn.
struct ProgressPaints : QObject {
    std::vector<std::string> painted;
    bool windowPainted = false;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Paint) return false;
        if (watched->objectName() == "frmCompile") windowPainted = true;
        if (watched->objectName() == "Label1" && windowPainted) {
            painted.push_back(static_cast<QLabel*>(watched)->text().toStdString());
            windowPainted = false;
        }
        return false;
    }
};

}  // namespace

TEST_F(MainWindowTest, ABuildWithNothingToCompileWarnsAndTheBuildWindowIsPaintedAfterEachServo) {
    window_->rtb(0)->SetText("Mov 127, 10");
    window_->BuildAnimation();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "Nothing to compile!");

    window_->rtb(0)->SetText("Mov 10, 2");
    window_->rtb(1)->SetText("Wait 3");
    project().Servos[1].Name = "Jaw";
    ProgressPaints paints;
    qApp->installEventFilter(&paints);
    window_->BuildAnimation();
    qApp->removeEventFilter(&paints);
    std::vector<std::string> expected{"Compiling ..."};
    for (int i = 0; i < kServoCount; ++i) expected.push_back("Compiling " + project().Servos[i].Name + "...");
    expected.push_back("Compiling Complete.");
    // Painting may repeat a caption; each must have been shown in order.
    paints.painted.erase(std::unique(paints.painted.begin(), paints.painted.end()), paints.painted.end());
    EXPECT_EQ(paints.painted, expected);
    EXPECT_EQ(shown_.size(), 1u);
    EXPECT_FALSE(project().ModifiedSinceBuild);
    EXPECT_EQ(project().Frames.UpperBound(), 4);
}

TEST_F(MainWindowTest, PanesShareTheWidthAndTextsAreNeitherCutNorCovered) {
    // A short message still leaves room for its whole title.
    for (const char* title : {"Compile Error", "KVSL Version Conflict"}) {
        const auto box = MakeMessageBox({"Bad word", title, MessageIcon::Critical, MessageButtons::Ok}, window_.get());
        box->show();
        EXPECT_GT(box->width(), QFontMetrics(QApplication::font("QMdiSubWindowTitleBar")).horizontalAdvance(title) + 60)
            << title;
    }
    // Each frame's controls stand inside its border, below its title.
    for (int i = 0; i < kServoCount; ++i) {
        const QRect inside = panel().frmServo(i)->contentsRect();
        for (QWidget* control : std::initializer_list<QWidget*>{panel().hscServo(i), panel().lblPos(i),
                                                                 panel().cmdHome(i), panel().cmdLog(i)})
            EXPECT_TRUE(inside.contains(control->geometry())) << i << " " << control->objectName().toStdString();
        if (i % 8 < 7) {
            EXPECT_LT(panel().frmServo(i)->geometry().bottom(), panel().frmServo(i + 1)->y()) << i;
        }
    }
    // A command line is not broken at its slashes.
    const auto command = MakeMessageBox(
        {"Flash it with: make -C /home/someone/sketch upload PORT=/dev/ttyACM0", "Export", MessageIcon::Information,
         MessageButtons::Ok}, window_.get());
    command->show();
    const QLabel* text = command->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    ASSERT_TRUE(text);
    EXPECT_LT(text->height(), 2 * text->fontMetrics().height());
    command->close();
    // Boxes centre on the main window when no window of the program is active.
    QApplication::setActiveWindow(nullptr);
    ASSERT_EQ(QApplication::activeWindow(), nullptr);
    EXPECT_EQ(MessageOwner(), window_.get());

    // The control pane keeps its width; the instructions pane takes the
    // rest, and its caption stops before the Wav and Wait buttons.
    project().Servos[0].Name = "A rather long servo name for the jaw";
    window_->SelectServo(0);
    const QString full = QString::fromStdString("Servo Instructions: \"" + project().Servos[0].Name + "\"");
    for (int width : {1200, 700, 560}) {
        window_->resize(width, 600);
        QApplication::processEvents();
        const int inner = window_->centralWidget()->width();
        QWidget* pane = window_->picServoInstructionsBG();
        EXPECT_EQ(panel().width(), 330) << width;
        EXPECT_EQ(pane->geometry(), QRect(334, 0, inner - 334, window_->centralWidget()->height())) << width;
        EXPECT_EQ(window_->rtb(0)->geometry(), QRect(0, 20, pane->width(), pane->height() - 20)) << width;
        QLabel* label = window_->lblServoInstructions();
        const int textRight = label->indent() + label->fontMetrics().horizontalAdvance(label->text());
        EXPECT_LT(textRight, window_->cmdWAV()->x()) << width;
        EXPECT_TRUE(width != 1200 || label->text() == full) << width;
        EXPECT_EQ(label->toolTip(), label->text() == full ? QString() : full) << width;
    }
}

TEST_F(MainWindowTest, NewAndOpenReplaceTheEditorsAndLeaveNoExecutionWindowOfTheProjectBefore) {
    const std::string path = dir_ + "/short.kva";
    std::ofstream(path) << "KVSL=1.0\r\nServo1.Program=[Wait 2\r\n]\r\n";
    for (bool open : {false, true}) {
        window_->rtb(0)->SetText("Mov 10, 50");
        panel().hscServo(0)->setValue(30);
        window_->BuildAnimation();
        window_->ShowExecutionWindow();
        ASSERT_TRUE(window_->ExecutionWindow() && window_->ExecutionWindow()->isVisible());
        const QRect frame = window_->ExecutionWindow()->frameGeometry();
        EXPECT_TRUE(window_->ExecutionWindow()->screen()->availableGeometry().contains(frame));
        project().bNeedToSave = false;
        shown_.clear();
        if (open) {
            ASSERT_TRUE(window_->OpenFile(QString::fromStdString(path)));
        } else {
            window_->NewFile();
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(window_->ExecutionWindow(), nullptr) << open;
        EXPECT_FALSE(project().ExeWindowOpen) << open;
        EXPECT_TRUE(shown_.empty()) << open;  // nothing offers to build or play the old show
        EXPECT_EQ(window_->rtb(0)->toPlainText(), open ? "Wait 2\n" : "") << open;
        EXPECT_EQ(panel().hscServo(0)->value(), open ? 30 : 127) << "New puts the sliders at Home";
    }
}

TEST_F(MainWindowTest, SaveOnAProjectWithoutAFileIsSaveAsByMenuKeyAndButton) {
    const std::string path = dir_ + "/saved.kva";
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"menu", [&] { window_->findChild<QAction*>("miSave")->trigger(); }},
        {"key", [&] { QTest::keySequence(window_.get(), QKeySequence(Qt::CTRL | Qt::Key_S)); }},
        {"button", [&] { window_->ToolbarButton("save")->trigger(); }},
    };
    for (const auto& [way, press] : ways) {
        window_->NewFile();
        window_->rtb(0)->SetText("Wait 5");
        dialogs_.clear();
        names_ = {QString::fromStdString(path)};
        press();
        EXPECT_EQ(dialogs_, std::vector<bool>{true}) << way;
        EXPECT_EQ(project().sFilename, path) << way;
        EXPECT_FALSE(project().bNeedToSave) << way;
        // With a file, Save saves without asking.
        dialogs_.clear();
        press();
        EXPECT_TRUE(dialogs_.empty()) << way;
        std::filesystem::remove(path);
    }
}

TEST_F(MainWindowTest, HelpWithoutALauncherSaysWhereTheManualIs) {
    // No program on the path opens anything.
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", "");
    for (const char* item : {"miHelpContents", "miGoToOrvanis"}) {
        shown_.clear();
        window_->findChild<QAction*>(item)->trigger();
        ASSERT_EQ(shown_.size(), 1u) << item;
        EXPECT_NE(shown_[0].text.find("Kestrova v2 Help.html"), std::string::npos) << shown_[0].text;
    }
    qputenv("PATH", path);
}

TEST_F(MainWindowTest, ExitDuringPlaybackStopsItThenClosesAskingToSave) {
    kestrova::testing::Pty pty;
    ASSERT_FALSE(MapPortToDevice(store_, 1, pty.Path()));
    window_->link().ApplyCommSettings(project().Settings);
    window_->rtb(0)->SetText("Mov 10, 100");
    window_->BuildAnimation();
    window_->ShowExecutionWindow();
    frmExe* exe = window_->ExecutionWindow();
    ASSERT_TRUE(exe);
    exe->Engine().SetFrameSentHook(
        [](void* self, int32_t frame) {
            if (frame == 3) QTimer::singleShot(0, static_cast<frmMain*>(self)->findChild<QAction*>("miExit"), &QAction::trigger);
        },
        window_.get());
    shown_.clear();
    exe->ToolbarClick("play");
    EXPECT_LT(pty.Stray().size(), 3u * 50) << "the playback stopped early";
    QApplication::processEvents();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].title, "Save Changes?");
    EXPECT_FALSE(window_->isVisible());
}

TEST_F(MainWindowTest, EveryKindOfChangeIsUnsavedWorkAndMarksTheCaption) {
    // Runs the servo settings table and answers it with `edit` (row, name,
    // home), or OK without edits when the row is 0.
    auto servoSettings = [this](int row, const char* name, const char* home) {
        QTimer::singleShot(0, [=] {
            auto* table = qobject_cast<frmServoSettings*>(QApplication::activeModalWidget());
            ASSERT_NE(table, nullptr);
            if (row > 0) table->ApplyEdit(row, {name, home, "0", "254"}, true);
            table->Command1_Click();
        });
        window_->miServoSettings_Click();
    };
    const struct {
        const char* what;
        std::function<void()> change;
        bool unsaved, stale;
    } cases[] = {
        {"typing", [&] { Type("Wait 2"); }, true, true},
        {"a recorded Mov", [&] { window_->InsertMov(3, 140, 5); }, true, true},
        {"undo of typing", [&] { Type("x"); window_->rtb(0)->undo(); }, true, true},
        {"a servo's name", [&] { servoSettings(2, "Jaw", "127"); }, true, false},
        {"the settings table without a change", [&] { servoSettings(0, "", ""); }, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        names_ = {File("marks")};
        ASSERT_TRUE(window_->Documents().SaveAs().done);
        window_->project().ModifiedSinceBuild = false;
        ASSERT_FALSE(window_->isWindowModified());
        EXPECT_EQ(Caption(), "Kestrova v2 - [" + File("marks.kva") + "]");
        c.change();
        EXPECT_EQ(window_->project().bNeedToSave, c.unsaved);
        EXPECT_EQ(window_->isWindowModified(), c.unsaved);
        EXPECT_EQ(Caption(), "Kestrova v2 - [" + File("marks.kva") + "]" + (c.unsaved ? "*" : ""));
        EXPECT_EQ(window_->project().ModifiedSinceBuild, c.stale);
    }
    // Qt's own mark in a name is shown as it is, and the real mark still works.
    for (const std::string name : {"/tmp/[*]", "*"}) {
        window_->Documents().SetFileName(name);
        Type(" ");
        EXPECT_EQ(Caption().toStdString(), "Kestrova v2 - [" + name + "]*");
    }
}

// The toolbar's save runs Save As while the name is no path; the recent
// menu opens a file again, even one whose name is not UTF-8.
TEST_F(MainWindowTest, SaveAsThenOpenAgainFromTheRecentMenu) {
    Type("Wait 3");
    names_ = {File("plain")};
    window_->tbrMain_ButtonClick("save");
    EXPECT_EQ(dialogs_, std::vector<bool>{true});
    EXPECT_EQ(RecentCaptions(), (std::vector<QString>{"&1 " + File("plain.kva")}));
    const std::string raw = dir_ + "/caf\xe9.kva";
    std::filesystem::copy_file(dir_ + "/plain.kva", raw);
    window_->RecentMenu()->AddMenuItem(raw);
    window_->RecentMenu()->RefreshMenuItems();
    window_->NewFile();
    window_->RecentMenu()->Items().front()->trigger();
    EXPECT_EQ(window_->rtb(0)->Text(), "Wait 3\r\n");
    EXPECT_TRUE(shown_.empty());
}

TEST_F(MainWindowTest, ClosingAsksAndCancelKeepsTheWindowAndTheWork) {
    Type("Mov 10, 2");
    answer_ = MessageAnswer::Cancel;
    EXPECT_FALSE(window_->close());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->rtb(0)->Text(), "Mov 10, 2");
}
