// The playback engine driven from a scripted window: the bytes on a real
// pseudo-terminal, the sounds started and stopped, the request buttons.
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "core/compiler.h"
#include "core/messages.h"
#include "files/settings_store.h"
#include "link/pty.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>

using namespace kestrova;
using kestrova::testing::Pty;

namespace {

// Records what the engine does to the window; `onPump` plays the user.
struct ScriptedView : QuietPlaybackView {
    ScriptedView() : QuietPlaybackView(30) {}
    bool loop = false;
    int32_t frame = 0;  // where the play marker stands
    std::vector<std::string> log;
    std::vector<Message> told;
    std::map<int, bool> servoChecks;
    bool graphControls = true, checkAll = true, rate = true, markers = true, markerShown = false;
    std::function<void(ScriptedView&)> onPump;
    int pumps = 0;

    void SetGraphControlsEnabled(bool e) override { graphControls = e; }
    void SetServoCheckEnabled(int s, bool e) override { servoChecks[s] = e; }
    void SetCheckAllButtonsEnabled(bool e) override { checkAll = e; }
    void SetRateSliderEnabled(bool e) override { rate = e; }
    void SetMarkersEnabled(bool e) override { markers = e; }
    void ShowPlayMarker() override { markerShown = true; }
    void MovePlayMarker(int32_t f) override { frame = f; }
    void HidePlayMarker() override { markerShown = false; }
    void SetPositionCaption(const std::string& c) override { log.push_back(c); }
    void ShowSteppedButtons() override { log.push_back("stepped"); }
    bool LoopPressed() override { return loop; }
    void Pump() override {
        ++pumps;
        if (onPump) onPump(*this);
    }
    void Tell(const Message& m) override { told.push_back(m); }
};

struct RecordingSound : SoundOutput {
    const ScriptedView* view = nullptr;
    std::vector<std::string> events;
    void Play(const std::string& path, double delay) override { Note(path, delay); }
    void Stop(double delay) override { Note("stop", delay); }
    void StopAll() override { Note("stopall", 0); }
    void Note(const std::string& what, double delay) {
        // Delays against the real clock vary; the pacing tests check them.
        (void)delay;
        events.push_back(what + "@" + std::to_string(view->frame));
    }
};

std::vector<int> levels;
void RecordPriority(int32_t level) { levels.push_back(level); }

class PlaybackTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_FALSE(MapPortToDevice(store_, 4, pty_.Path()).has_value());
        StartNewProject(project_);
        project_.Settings.COMPort = 4;
        link_.ApplyCommSettings(project_.Settings);
        sound_.view = &view_;
        engine_.SetPrioritySetter(&RecordPriority);
        levels.clear();
    }

    void Build() { ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success); }
    void ExpectError(const std::string& textStart) {
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text.rfind(textStart, 0), 0u) << messages_[0].text;
    }

    Pty pty_;
    Project project_;
    SerialLink link_{StoredPortTable(store_)};
    SerialLinkOutput output_{link_};
    ScriptedView view_;
    RecordingSound sound_;
    PlaybackEngine engine_{project_, output_, sound_, view_};
    std::vector<Message>& messages_ = view_.told;
};

TEST_F(PlaybackTest, WritesUsedAndEnabledServosInOrderEachFrameInEitherControllerMode) {
    project_.Settings.SynchByte = 255;
    project_.Servos[0].Home = 250;
    project_.Servos[0].Max = 255;
    project_.Programs[0] = "Mov 255, 2";
    project_.Programs[3] = "Mov 130, 1\r\nWait 1";
    project_.Programs[5] = "Wait 2";
    project_.Servos[5].Enabled = false;  // used but not enabled: never sent
    project_.Programs[7] = "";           // enabled but not used: never sent
    project_.Settings.AutoDisable = 1;   // plays no part in what is sent
    Build();
    const std::vector<uint8_t> expected = {
        255, 0, 250, 255, 3, 127,  // frame 1: the home positions
        255, 0, 252, 255, 3, 130,  // frame 2
        255, 0, 255, 255, 3, 130,  // frame 3: 128 to 255 go out unaltered
    };
    for (int mode : {0, 1}) {
        project_.Settings.SSCMode = mode;
        view_.log.clear();
        ASSERT_TRUE(engine_.PlayAnimation(1, 3));
        EXPECT_EQ(pty_.Read(expected.size() + 1), expected) << "mode " << mode;
        EXPECT_FALSE(link_.IsOpen()) << "a port that playback opened is closed again";
        EXPECT_EQ(view_.log.back(), "  Playing Frame: 3");
        EXPECT_FALSE(view_.markerShown);
    }
    EXPECT_TRUE(messages_.empty());
}

TEST_F(PlaybackTest, OpenPortStaysOpenAndPriorityEndsNormal) {
    project_.Programs[0] = "Wait 2";
    project_.Settings.SystemPriority = 1;
    Build();
    std::string reason;
    ASSERT_TRUE(link_.Open(reason)) << reason;
    ASSERT_TRUE(engine_.PlayAnimation(1, 3));
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(levels, (std::vector<int>{1, 0}));
    EXPECT_EQ(pty_.Read(10).size(), 9u);
}

TEST_F(PlaybackTest, PortThatWillNotOpenPlaysNothing) {
    ASSERT_FALSE(MapPortToDevice(store_, 4, "/nonexistent/tty").has_value());
    link_.ApplyCommSettings(project_.Settings);
    project_.Programs[0] = "Wait 2";
    project_.Settings.SystemPriority = 2;
    Build();
    EXPECT_FALSE(engine_.PlayAnimation(1, 3));
    ExpectError("COM4 (/nonexistent/tty) - No such file or directory");
    EXPECT_TRUE(view_.log.empty()) << "no frame played";
    EXPECT_EQ(levels, (std::vector<int>{2, 0}));
    EXPECT_TRUE(view_.graphControls && view_.rate && view_.markers && view_.checkAll);
    EXPECT_FALSE(engine_.Playing());
}

TEST_F(PlaybackTest, WavCuesStartOnTheirFrameAndStopAtTheirEnd) {
    project_.Programs[0] = "Wait 30";
    project_.WavCues.push_back(WavCue{10, 20, "a.wav"});
    project_.WavCues.push_back(WavCue{20, 99, "b.wav"});
    project_.WavCues.push_back(WavCue{25, 3, "c.wav"});
    Build();
    ASSERT_TRUE(engine_.PlayAnimation(5, 27));
    EXPECT_EQ(sound_.events,
              (std::vector<std::string>{"a.wav@10", "stop@20", "b.wav@20", "c.wav@25", "stop@27", "stopall@27"}));
}

// Pause, stop and loop through the window's buttons are played in the
// execution window's tests.
TEST_F(PlaybackTest, StepFromStoppedAndAnEmptyLoopYieldToThePump) {
    project_.Programs[0] = "Wait 9";
    Build();

    // Step from the stopped state: frame 1, then paused with play and step enabled.
    engine_.bStep = true;
    view_.onPump = [&](ScriptedView& v) {
        if (!v.log.empty() && v.log.back() == "stepped") engine_.bStop = true;
    };
    ASSERT_TRUE(engine_.PlayAnimation(1, 10));
    EXPECT_EQ(view_.log, (std::vector<std::string>{"  Playing Frame: 1", "stepped"}));
    EXPECT_FALSE(engine_.bPause || engine_.bStop || engine_.bStep);

    // A range that plays nothing, with loop pressed, still yields to the pump.
    view_.log.clear();
    view_.loop = true;
    view_.pumps = 0;
    view_.onPump = [&](ScriptedView& v) {
        if (v.pumps == 5) v.loop = false;
    };
    ASSERT_TRUE(engine_.PlayAnimation(8, 3));
    EXPECT_EQ(view_.pumps, 5);
    EXPECT_TRUE(view_.log.empty());
}

TEST_F(PlaybackTest, PlayControlsFollowAutoDisable) {
    project_.Programs[0] = "Wait 1";
    project_.Programs[1] = "Wait 1";
    project_.Servos[1].Enabled = false;
    Build();
    for (int autoDisable : {0, 1}) {
        project_.Settings.AutoDisable = autoDisable;
        engine_.SetPlayControls(true);
        EXPECT_FALSE(view_.servoChecks[0] || view_.servoChecks[1] || view_.servoChecks[9]);
        EXPECT_FALSE(view_.checkAll || view_.rate || view_.markers);
        engine_.SetPlayControls(false);
        EXPECT_TRUE(view_.servoChecks[0]);
        EXPECT_FALSE(view_.servoChecks[1]) << "not enabled";
        EXPECT_EQ(view_.servoChecks[9], autoDisable == 0) << "not used";
        EXPECT_TRUE(view_.checkAll && view_.rate && view_.markers);
    }
}

TEST_F(PlaybackTest, PositionsOutsideAByteAreSkippedAndReportedOnce) {
    project_.Servos[1].Max = 1000;
    project_.Programs[0] = "Wait 3";
    project_.Programs[1] = "Mov 300, 1\r\nWait 2";
    Build();
    ASSERT_TRUE(engine_.PlayAnimation(1, 4));
    // Servo 1 goes out only while it fits: frame 1 at 127.
    EXPECT_EQ(pty_.Read(4 * 3 + 3).size(), 4u * 3 + 3);
    EXPECT_TRUE(pty_.Stray().empty());
    ASSERT_EQ(messages_.size(), 1u);
    EXPECT_EQ(messages_[0].text,
              "Servo 2 (\"Servo 2\") was to move to 300 at frame 2, which the controller cannot take (0 to 255). "
              "Positions outside that range were not sent.");
}

TEST_F(PlaybackTest, WriteFailureStopsPlaybackWithTheReason) {
    project_.Programs[0] = "Wait 60";
    Build();
    view_.onPump = [&](ScriptedView& v) {
        if (v.frame == 5) pty_.HangUp();
    };
    EXPECT_FALSE(engine_.PlayAnimation(1, 61));
    ExpectError("COM4 (" + pty_.Path() + ") - ");
    EXPECT_GT(messages_[0].text.size(), 9 + pty_.Path().size());
    EXPECT_LT(view_.frame, 61);
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_TRUE(view_.graphControls);
}

}  // namespace
