// The playback engine driven from a scripted window: the bytes on a real
// pseudo-terminal, the port and priority around a playback, its failures,
// and the example played into the virtual controller.
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "core/compiler.h"
#include "core/messages.h"
#include "files/kva_reader.h"
#include "files/settings_store.h"
#include "link/pty.h"
#include "support/isolated_store.h"
#include "support/test_files.h"

#include "support/playback_fakes.h"

#include <gtest/gtest.h>

#include <functional>

using namespace kestrova;
using kestrova::testing::Pty;

using kestrova::testing::Silence;

namespace {

// Records what the engine does to the window; `onPump` plays the user.
struct ScriptedView : QuietPlaybackView {
    ScriptedView() : QuietPlaybackView(30) {}
    bool loop = false;
    int32_t frame = 0;  // where the play marker stands
    std::vector<std::string> log;
    bool graphControls = true, rate = true;
    std::function<void(ScriptedView&)> onPump;
    int pumps = 0;

    void SetGraphControlsEnabled(bool e) override { graphControls = e; }
    void SetRateSliderEnabled(bool e) override { rate = e; }
    void MovePlayMarker(int32_t f) override { frame = f; }
    void SetPositionCaption(const std::string& c) override { log.push_back(c); }
    bool LoopPressed() override { return loop; }
    void Pump() override {
        ++pumps;
        if (onPump) onPump(*this);
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
    Silence sound_;
    PlaybackEngine engine_{project_, output_, sound_, view_};
    std::vector<Message>& messages_ = view_.told;
};

TEST_F(PlaybackTest, ThePortIsLeftAsPlayFoundItAndOneThatWillNotOpenPlaysNothing) {
    project_.Programs[0] = "Wait 2";
    Build();
    std::string reason;
    ASSERT_TRUE(link_.Open(reason)) << reason;
    project_.Settings.SystemPriority = 1;
    ASSERT_TRUE(engine_.PlayAnimation(1, 3));
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(pty_.Read(10).size(), 9u);

    link_.Close();
    ASSERT_FALSE(MapPortToDevice(store_, 4, "/nonexistent/tty").has_value());
    link_.ApplyCommSettings(project_.Settings);
    project_.Settings.SystemPriority = 2;
    view_.log.clear();
    EXPECT_FALSE(engine_.PlayAnimation(1, 3));
    ExpectError("COM4 (/nonexistent/tty) - No such file or directory");
    EXPECT_TRUE(view_.log.empty()) << "no frame played";
    EXPECT_EQ(levels, (std::vector<int>{1, 0, 2, 0})) << "the priority ends normal either way";
    EXPECT_TRUE(view_.graphControls && view_.rate);
    EXPECT_FALSE(engine_.Playing());
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
    EXPECT_TRUE(view_.graphControls && view_.rate);
}

TEST_F(PlaybackTest, AnEmptyRangeWithLoopPressedStillYieldsToThePump) {
    project_.Programs[0] = "Wait 9";
    Build();
    view_.loop = true;
    view_.onPump = [&](ScriptedView& v) {
        if (v.pumps == 5) v.loop = false;
    };
    ASSERT_TRUE(engine_.PlayAnimation(8, 3));
    EXPECT_EQ(view_.pumps, 5);
    EXPECT_TRUE(view_.log.empty());
}

// After every frame of the example the virtual controller holds that
// frame's positions.
struct Check {
    Project* project;
    SerialLink* link;
    int32_t frames = 0;
    std::vector<std::string> mismatches;
};

void CompareFrame(void* context, int32_t frame) {
    auto& check = *static_cast<Check*>(context);
    const ControllerState state = check.link->Controller().Settle();
    ++check.frames;
    for (int s = 0; s < kServoCount; ++s) {
        const ServoRecord& servo = check.project->Servos[s];
        const int expected = servo.Enabled && servo.Used ? check.project->Frames[frame][s] : -1;
        if (state.position[s] != expected)
            check.mismatches.push_back("frame " + std::to_string(frame) + " servo " + std::to_string(s + 1) + ": " +
                                       std::to_string(state.position[s]) + ", table " + std::to_string(expected));
    }
}

TEST_F(PlaybackTest, TheVirtualControllerReceivesTheExamplesFrameTable) {
    ASSERT_TRUE(LoadProjectBytes(kestrova::testing::ReadFile(std::string(KESTROVA_EXAMPLES) + "/waving-robot.kva"),
                                 project_).ok);
    Build();
    ASSERT_EQ(MapPortToDevice(store_, project_.Settings.COMPort, kVirtualControllerDevice), std::nullopt);
    link_.ApplyCommSettings(project_.Settings);
    Check check{&project_, &link_, 0, {}};
    engine_.SetFrameSentHook(&CompareFrame, &check);
    ASSERT_TRUE(engine_.PlayAnimation(1, project_.Frames.UpperBound()));
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(check.frames, project_.Frames.UpperBound());
    EXPECT_TRUE(check.mismatches.empty()) << check.mismatches.front();
    EXPECT_EQ(link_.Controller().State().notUnderstood, 0u);
}

}  // namespace
