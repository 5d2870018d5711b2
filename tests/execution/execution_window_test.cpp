// The execution window: the build prompt, the servo check boxes and their
// swatches, the rate labels, the toolbar's states through real playbacks on
// a pseudo-terminal, closing, and the graph as the window grows.
#include "execution/execution_window.h"

#include "core/compiler.h"
#include "core/messages.h"
#include "link/pty.h"
#include "support/test_files.h"
#include "link/serial_link.h"
#include "timeline/servo_colors.h"
#include "timeline/timeline_view.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QLabel>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QPointer>
#include <QSlider>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace kestrova;
using kestrova::testing::Pty;

namespace {

class ExeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        StartNewProject(project_);
        project_.Settings.SynchByte = 255;
        project_.Programs[0] = "Mov 200, 4\r\nMov 20, 2";  // moves: Used; 128 to 255 go out unaltered
        project_.Programs[2] = "Mov 127, 1";              // only frame 1: not Used
        project_.Servos[3].Enabled = false;
        project_.Programs[3] = "Mov 50, 3";
        link_.SetDeviceOverride(pty_.Path());
        window_ = new frmExe(project_, link_, [this] {
            ++builds_;
            BuildAnimation(project_);
            if (project_.ExeWindowOpen) window_->UpdateGraph(true);
        }, nullptr, [this](const Message& m) { return Ask(answer_, m); });
    }
    void TearDown() override { delete window_.data(); }

    void Build() { ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success); }
    bool Enabled(const QString& key) { return window_->ToolbarButton(key)->isEnabled(); }
    // Each key listed as enabled ("+key") or disabled ("-key").
    void ExpectButtons(std::initializer_list<const char*> states, const char* when) {
        for (const char* s : states) EXPECT_EQ(Enabled(s + 1), s[0] == '+') << s << " " << when;
    }
    void ExpectIdle(const char* when) {
        ExpectButtons({"+play", "+step", "+playfrom", "+playto", "+playfromto", "-pause", "-stop", "+loop"}, when);
    }
    // The bytes of frames first to last for the servos that are used and
    // enabled, each after the synch byte.
    std::vector<uint8_t> Expected(int32_t first, int32_t last) {
        std::vector<uint8_t> bytes;
        for (int32_t f = first; f <= last; ++f)
            for (int s = 0; s < kServoCount; ++s)
                if (project_.Servos[s].Used && project_.Servos[s].Enabled)
                    for (int b : {project_.Settings.SynchByte, s, project_.Frames[f][s]})
                        bytes.push_back(static_cast<uint8_t>(b));
        return bytes;
    }
    // Runs `action` at the first pump after frame `frame` was sent.
    void AtFrame(int32_t frame, std::function<void()> action) {
        script_.push_back({frame, std::move(action)});
        window_->Engine().SetFrameSentHook(
            [](void* self, int32_t f) {
                for (auto& [at, act] : static_cast<ExeWindowTest*>(self)->script_)
                    if (at == f && act) QTimer::singleShot(0, [a = std::exchange(act, nullptr)] { a(); });
            },
            this);
    }

    Project project_;
    SerialLink link_;
    Pty pty_;
    QPointer<frmExe> window_;
    MessageHandler answer_;  // answers the window's questions; none: the default answer
    int builds_ = 0;
    std::vector<std::pair<int32_t, std::function<void()>>> script_;
};

TEST_F(ExeWindowTest, TheBuildPromptBuildsOnYesAndLeavesAllOnNo) {
    for (auto [built, answer, firstLine] :
         {std::tuple{false, MessageAnswer::No, "The animation has not been built."},
          {true, MessageAnswer::No, "The animation has been modified since it was built last."},
          {false, MessageAnswer::Yes, "The animation has not been built."}}) {
        if (built) Build();
        if (built) project_.ModifiedSinceBuild = true;
        else project_.Built = false;
        std::vector<Message> asked;
        answer_ = [&asked, answer](const Message& m) {
            asked.push_back(m);
            return answer;
        };
        const int buildsBefore = builds_;
        window_->UpdateGraph(true);
        ASSERT_EQ(asked.size(), 1u) << firstLine;
        EXPECT_EQ(asked[0].text, std::string(firstLine) + "\r\nWould you like to build it now?");
        const bool yes = answer == MessageAnswer::Yes;
        EXPECT_EQ(builds_ - buildsBefore, yes ? 1 : 0);
        EXPECT_EQ(window_->isVisible(), yes) << firstLine;
    }
    answer_ = nullptr;
    EXPECT_EQ(window_->lblFrames()->text(), QString::number(project_.Frames.UpperBound()));
    // The rate slider shows the time the frames take.
    window_->Slider1()->setValue(1);
    EXPECT_EQ(window_->lblTime()->text(), QStringLiteral("7.0 seconds"));
}

TEST_F(ExeWindowTest, AFailedBuildIsNotOfferedAgainUntilTheProgramChanges) {
    // Nothing to compile, then a word the compiler does not know.
    for (const char* program : {"", "Move 10"}) {
        for (std::string& text : project_.Programs) text.clear();
        project_.Programs[0] = program;
        project_.Built = false;
        window_->hide();
        int asked = 0;
        // Yes, at most three times: a prompt that keeps coming ends there.
        answer_ = [&asked](const Message& m) {
            if (m.title != "Build Animation?") return MessageAnswer::Ok;
            return ++asked <= 3 ? MessageAnswer::Yes : MessageAnswer::No;
        };
        window_->UpdateGraph(true);
        EXPECT_EQ(asked, 1) << program;
        window_->UpdateGraph(false);
        EXPECT_EQ(asked, 1) << program << ": asked again for the same program";
        EXPECT_FALSE(window_->isVisible());
        project_.Programs[1] = "Mov 10, 3";
        window_->UpdateGraph(true);
        EXPECT_EQ(asked, 2) << program << ": a changed program is offered";
    }
}

TEST_F(ExeWindowTest, LineLoadFollowsTheRateTheLineAndTheServos) {
    for (int s = 4; s < kServoCount; ++s) project_.Programs[s] = "Mov 100, 2";  // 13 servos take part
    Build();
    for (auto [baudRate, fps, text, warning] :
         {std::tuple{0, 5, "Line: 81% of 2400 baud (Mini-SSC)", false}, {1, 30, "Line: 122% of 9600 baud (Mini-SSC)", true}}) {
        project_.Settings.BaudRate = baudRate;
        window_->Slider1()->setValue(fps);
        EXPECT_EQ(window_->lblLine()->text().toStdString(), text);
        EXPECT_EQ(!window_->lblLine()->styleSheet().isEmpty(), warning) << text;
    }
}

TEST_F(ExeWindowTest, CheckBoxesAndSwatchesFollowAutoDisable) {
    const QColor buttonFace = window_->palette().color(QPalette::Button);
    for (int autoDisable : {0, 1}) {
        SCOPED_TRACE(autoDisable);
        project_.Settings.AutoDisable = autoDisable;
        Build();
        window_->UpdateGraph(true);
        // Servo 1 is used, 3 moves nothing beyond frame 1, 4 is not enabled.
        for (auto [servo, takesPart] : {std::pair{0, true}, {2, autoDisable == 0}, {3, false}, {5, autoDisable == 0}}) {
            EXPECT_EQ(window_->chkName(servo)->isChecked(), takesPart) << servo;
            EXPECT_EQ(window_->chkName(servo)->isEnabled(), takesPart) << servo;
            EXPECT_EQ(window_->lblColor(servo)->palette().color(QPalette::Window),
                      takesPart ? ServoColor(servo) : buttonFace) << servo;
            EXPECT_EQ(window_->Timeline().Curves()[servo].drawn, takesPart) << servo;
        }
    }
    // Uncheck All and Check All: only the servos that take part come back.
    window_->UncheckAll();
    for (int s = 0; s < kServoCount; ++s) EXPECT_FALSE(window_->chkName(s)->isChecked());
    EXPECT_FALSE(window_->Timeline().Curves()[0].drawn);
    window_->CheckAll();
    EXPECT_TRUE(window_->chkName(0)->isChecked());
    EXPECT_FALSE(window_->chkName(2)->isChecked() || window_->chkName(3)->isChecked());
    EXPECT_TRUE(window_->Timeline().Curves()[0].drawn);

    // On a modified animation a click asks to build; Check All redraws (and asks) once.
    project_.ModifiedSinceBuild = true;
    int asked = 0;
    answer_ = [&](const Message&) {
        ++asked;
        return MessageAnswer::No;
    };
    window_->chkName(0)->click();
    EXPECT_EQ(asked, 1);
    window_->CheckAll();
    EXPECT_EQ(asked, 2);
}

class ExePlayTest : public ExeWindowTest {
protected:
    void SetUp() override {
        ExeWindowTest::SetUp();
        Build();
        window_->UpdateGraph(true);
        window_->Slider1()->setValue(30);
        frames_ = project_.Frames.UpperBound();
    }
    int32_t frames_ = 0;
};

TEST_F(ExePlayTest, StepThenPlaySendsEveryFrameToTheLineAndRestoresTheButtons) {
    // A step from stopped plays frame 1 and pauses; the hook's action runs
    // during that pause, after the engine set the buttons, and Play goes on.
    AtFrame(1, [&] {
        QTimer::singleShot(0, [&] {
            ExpectButtons({"+play", "-pause"}, "stepped");
            window_->ToolbarButton("play")->trigger();
        });
    });
    bool sawRunning = false;
    AtFrame(2, [&] {
        ExpectButtons({"-play", "-step", "-playfrom", "-playto", "-playfromto", "+pause", "+stop", "+loop"}, "playing");
        EXPECT_FALSE(window_->Slider1()->isEnabled());
        EXPECT_FALSE(window_->chkName(0)->isEnabled());
        EXPECT_TRUE(window_->Timeline().PlayMarkerVisible());
        EXPECT_FALSE(window_->close()) << "closing is refused while playing";
        sawRunning = true;
    });
    window_->ToolbarButton("step")->trigger();
    EXPECT_TRUE(sawRunning);
    EXPECT_EQ(pty_.Read(Expected(1, frames_).size()), Expected(1, frames_));
    EXPECT_TRUE(pty_.Stray().empty());
    ExpectIdle("after playing");
    EXPECT_TRUE(window_->Slider1()->isEnabled());
    EXPECT_TRUE(window_->chkName(0)->isEnabled());
    EXPECT_FALSE(window_->chkName(3)->isEnabled()) << "a servo that is not enabled stays off";
    EXPECT_FALSE(window_->Timeline().PlayMarkerVisible());
    EXPECT_EQ(window_->lblPos()->text(), QStringLiteral("  Playing Frame: %1").arg(frames_));
    EXPECT_FALSE(link_.IsOpen());
}

TEST_F(ExePlayTest, PauseStepAndStopWalkTheAnimation) {
    AtFrame(2, [&] {
        window_->ToolbarButton("pause")->trigger();
        ExpectButtons({"+play", "+step", "-pause", "+stop", "-playfrom"}, "paused");
        QTimer::singleShot(0, [&] {
            // The pause, pressed at frame 3's pump point, holds before frame 4:
            // a step plays one frame.
            EXPECT_FALSE(window_->close()) << "closing is refused while paused";
            window_->ToolbarButton("step")->trigger();
        });
    });
    AtFrame(4, [&] {
        QTimer::singleShot(0, [&] {
            ExpectButtons({"+play", "+step", "-pause"}, "stepped");
            window_->ToolbarButton("stop")->trigger();
        });
    });
    EXPECT_TRUE(project_.ExeWindowOpen);
    window_->ToolbarButton("play")->trigger();
    EXPECT_EQ(pty_.Read(Expected(1, 4).size()), Expected(1, 4));
    EXPECT_TRUE(pty_.Stray().empty()) << "stop while paused plays no further frame";
    ExpectIdle("after stop");
    EXPECT_TRUE(window_->close()) << "after stop the window closes";
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window_.isNull());
    EXPECT_FALSE(project_.ExeWindowOpen);
}

TEST_F(ExePlayTest, RangeButtonsPlayBetweenTheMarkers) {
    // Markers start and stop, frames first to last played; start after stop plays nothing.
    for (auto [key, start, stop, first, last] : {std::tuple{"playfrom", 3, 6, 3, 7}, {"playto", 3, 5, 1, 5},
                                                 {"playfromto", 2, 4, 2, 4}, {"playfromto", 5, 2, 1, 0}}) {
        window_->Timeline().SetStartFrame(start);
        window_->Timeline().SetStopFrame(stop);
        window_->ToolbarButton(key)->trigger();
        const std::vector<uint8_t> expected = Expected(first, last);
        EXPECT_EQ(pty_.Read(expected.size(), 1000), expected) << key;
        EXPECT_TRUE(pty_.Stray().empty()) << key;
        ExpectIdle(key);
    }
}

TEST_F(ExePlayTest, LoopRepeatsUntilReleased) {
    window_->ToolbarButton("loop")->setChecked(true);
    // Second pass: release loop; this pass ends the playback.
    AtFrame(frames_, [&] { AtFrame(3, [&] { window_->ToolbarButton("loop")->trigger(); }); });
    window_->ToolbarButton("play")->trigger();
    const std::vector<uint8_t> once = Expected(1, frames_);
    std::vector<uint8_t> twice = once;
    twice.insert(twice.end(), once.begin(), once.end());
    EXPECT_EQ(pty_.Read(twice.size()), twice);
    EXPECT_TRUE(pty_.Stray().empty());
    EXPECT_FALSE(window_->ToolbarButton("loop")->isChecked());
}

TEST_F(ExePlayTest, WithoutASoundOutputTheServosPlayAndTheUserIsToldOnce) {
    if (!QMediaDevices::defaultAudioOutput().isNull()) GTEST_SKIP() << "this machine has a sound output";
    kestrova::testing::TempDir dir;
    project_.WavCues.push_back(WavCue{2, 4, dir.Write("cue.wav", kestrova::testing::WavBytes({0, 1000, 0, -1000}, 8000))});
    project_.Frames[2][kWavCueSlot] = 1;
    window_->Slider1()->setValue(10);
    std::vector<Message> told;
    answer_ = [&told](const Message& m) {
        told.push_back(m);
        return MessageAnswer::Ok;
    };
    for (int play = 0; play < 2; ++play) {
        window_->ToolbarButton("play")->trigger();
        EXPECT_EQ(pty_.Read(Expected(1, frames_).size()), Expected(1, frames_)) << play;
    }
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0].title, "Sound Not Played");
    EXPECT_NE(told[0].text.find("No sound output was found"), std::string::npos) << told[0].text;
}

TEST(ExeWindowPlacement, FitsTheWindowOnTheScreen) {
    const QRect screen(0, 0, 1280, 1024);
    const struct {
        QRect frame, fitted;
    } cases[] = {
        {{100, 100, 700, 500}, {100, 100, 700, 500}},
        {{300, 539, 700, 500}, {300, 524, 700, 500}},   // 15 px below the bottom
        {{900, -20, 700, 500}, {580, 0, 700, 500}},
        {{-50, 200, 1400, 1100}, {0, 0, 1400, 1100}},   // too large: top left on screen
    };
    for (const auto& c : cases) EXPECT_EQ(FitOnScreen(c.frame, screen), c.fitted) << c.frame.y();
}

// As the window grows the graph takes the room, "0" keeps level with its
// bottom, and the zoom commands reach the timeline.
TEST_F(ExeWindowTest, GraphFillsTheWindowAndZoomCommandsReachIt) {
    project_.Programs[0] = "Mov 200, 1500\r\nMov 10, 1500";
    Build();
    window_->UpdateGraph(true);
    TimelineView& view = window_->Timeline();
    auto* zero = window_->findChild<QLabel*>(QStringLiteral("Label1_1"));
    int lastWidth = 0;
    for (QSize size : {QSize(700, 450), QSize(1100, 700), QSize(1600, 1000)}) {
        window_->resize(size);
        QApplication::processEvents();
        SCOPED_TRACE(size.width());
        EXPECT_GT(view.ViewportWidth(), std::max(lastWidth, 478));
        lastWidth = view.ViewportWidth();
        const int bottom = view.mapTo(window_, view.picGraph()->geometry().bottomLeft()).y();
        EXPECT_NEAR(zero->mapTo(window_, zero->rect().center()).y(), bottom, zero->height());
    }
    const double before = view.Zoom();
    window_->ToolbarButton(QStringLiteral("zoomin"))->trigger();
    EXPECT_DOUBLE_EQ(view.Zoom(), before * 2);
    window_->ToolbarButton(QStringLiteral("zoomfit"))->trigger();
    EXPECT_TRUE(view.Fitted());
}

}  // namespace
