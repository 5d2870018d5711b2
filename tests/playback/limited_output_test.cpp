// Playback and the sliders with speed and acceleration caps, decoded from
// the bytes on a pseudo-terminal: random programs, ranges that start
// mid-show, loops, stops, steps and pauses, a line too slow for every servo
// a frame, slider drags and Home, Min and Max between shows. Each servo's
// commands, in the order sent, keep within its caps and its Min..Max, and
// every move that is not stopped ends on its target.
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "core/compiler.h"
#include "core/servo_caps.h"
#include "files/settings_store.h"
#include "link/live_output.h"
#include "link/pty.h"
#include "support/isolated_store.h"

#include "support/playback_fakes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>

using namespace kestrova;
using kestrova::testing::Pty;

using kestrova::testing::Silence;
using kestrova::testing::InstantClock;

namespace {

// Loop, stop, pause and step as a user presses them, at random pumps.
struct LoopingView : QuietPlaybackView {
    explicit LoopingView(int fps) : QuietPlaybackView(fps) {}
    bool loop = false, stepping = false;
    int pumps = 0, stopAfter = -1;  // pumps until a stop; -1 none
    PlaybackEngine* engine = nullptr;
    std::mt19937* random = nullptr;
    bool LoopPressed() override { return loop; }
    void Pump() override {
        if (++pumps == stopAfter) engine->bStop = true;
        if (!stepping) return;
        if (engine->bPause) {  // paused: play on, or step one frame
            engine->bPause = false;
            engine->bStep = (*random)() % 2 == 0;
        } else if ((*random)() % 10 == 0) {
            ((*random)() % 2 ? engine->bPause : engine->bStep) = true;
        }
    }
};

constexpr int kServos = 4;
constexpr int kFps = 30;
static_assert(kFps == kLiveFps, "the checks take one frame rate for playback and the sliders");

class LimitedPlaybackTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_FALSE(MapPortToDevice(store_, 4, pty_.Path()).has_value());
        StartNewProject(project_);
        project_.Settings.COMPort = 4;
        project_.Settings.SynchByte = 255;
        link_.ApplyCommSettings(project_.Settings);
        engine_.SetLineBaud(115200);
        engine_.SetMotion(&link_.Live().Motion());  // as the window does: the sliders share the limiters
        view_.engine = &engine_;
        view_.random = &random_;
    }

    // The positions each servo received, one a frame, in order.
    std::map<int, std::vector<int32_t>> Decode(const std::vector<uint8_t>& bytes) {
        std::map<int, std::vector<int32_t>> sent;
        EXPECT_EQ(bytes.size() % 3, 0u);
        for (size_t i = 0; i + 2 < bytes.size(); i += 3) {
            EXPECT_EQ(bytes[i], 255);
            sent[bytes[i + 1]].push_back(bytes[i + 2]);
        }
        return sent;
    }

    // Reads what went out since the last call: each servo's commands,
    // after the one it was left at (at rest there), keep within its caps and
    // Min..Max; `ends` are where the servos must have stopped, if anywhere.
    void CheckSent(const std::array<std::optional<int32_t>, kServos>& ends) {
        const auto sent = Decode(pty_.Read(SIZE_MAX, 60));
        for (int s = 0; s < kServos; ++s) {
            const ServoRecord& servo = project_.Servos[s];
            std::vector<int32_t> path;
            if (last_[s]) path.push_back(*last_[s]);
            if (sent.count(s)) path.insert(path.end(), sent.at(s).begin(), sent.at(s).end());
            if (path.empty()) continue;
            // What goes out is an exact path rounded to whole positions: at
            // most one position more than the caps in any step or change of
            // step. A frame whose position rounds to the one before is not
            // always sent (the line is slow, the sliders send changes), so a
            // step and the next may each be a change of step from standing.
            const double speed = servo.MaxSpeed ? double(servo.MaxSpeed) / kFps + 1 : 1e9;
            const double accel = servo.MaxAccel ? double(servo.MaxAccel) / (kFps * kFps) + 1 : 1e9;
            for (size_t k = 0; k < path.size(); ++k) {
                ASSERT_GE(path[k], servo.Min);
                ASSERT_LE(path[k], servo.Max);
                if (k >= 1) {
                    ASSERT_LT(std::abs(path[k] - path[k - 1]), speed) << "servo " << s << " step " << k;
                }
                if (k >= 2) {
                    const int32_t before = path[k - 1] - path[k - 2], after = path[k] - path[k - 1];
                    const bool rested = std::abs(before) < accel + 1 && std::abs(after) < accel + 1;
                    ASSERT_TRUE(std::abs(after - before) < accel + 1 || rested)
                        << "servo " << s << " step " << k << ": " << ::testing::PrintToString(path) << " caps " << servo.MaxSpeed << ", " << servo.MaxAccel;
                }
            }
            if (ends[s]) {
                ASSERT_EQ(path.back(), *ends[s]) << "servo " << s;
            }
            last_[s] = path.back();
        }
    }

    // Slider drags, and Home, Min and Max, on random servos, the output
    // ticking a few frames between them; stopped now and then.
    void Gestures() {
        SCOPED_TRACE("gestures");
        LiveOutput& live = link_.Live();
        std::array<std::optional<int32_t>, kServos> ends{};
        for (int g = 0; g < 8; ++g) {
            const int s = static_cast<int>(random_() % kServos);
            const ServoRecord& servo = project_.Servos[s];
            const int32_t buttons[] = {servo.Home, servo.Min, servo.Max};
            const int32_t to = random_() % 3 ? servo.Min + static_cast<int32_t>(random_() % uint32_t(servo.Max - servo.Min + 1))
                                             : buttons[random_() % 3];
            ASSERT_TRUE(live.Want(255, s, to, ServoCaps(servo)));
            ends[s] = to;
            for (int ticks = static_cast<int>(random_() % 6); ticks > 0 && live.Moving(); --ticks) live.Tick();
        }
        if (random_() % 4 == 0) {
            live.Stop();  // every servo holds where it is
            ends = {};
        }
        for (int frames = 0; live.Moving(); ++frames) {
            ASSERT_LT(frames, 10000);
            live.Tick();
        }
        CheckSent(ends);
    }

    Pty pty_;
    Project project_;
    SerialLink link_{StoredPortTable(store_)};
    SerialLinkOutput output_{link_};
    LoopingView view_{kFps};
    Silence sound_;
    InstantClock clock_;
    PlaybackEngine engine_{project_, output_, sound_, view_, &clock_};
    std::mt19937 random_{2026};
    std::array<std::optional<int32_t>, kServos> last_{};  // where each servo was left
};

struct Scenario {
    const char* name;
    int32_t baud;    // 2400 and less: the servos take turns on the line
    bool stepping;   // pauses and steps at random moments
    bool gestures;   // slider drags and buttons between the shows
};

class RandomShows : public LimitedPlaybackTest, public ::testing::WithParamInterface<Scenario> {};

TEST_P(RandomShows, KeepEveryServoWithinItsCapsAndEndOnTarget) {
    const Scenario& scenario = GetParam();
    engine_.SetLineBaud(scenario.baud);
    view_.stepping = scenario.stepping;
    for (int s = 0; s < kServos; ++s) {
        ServoRecord& servo = project_.Servos[s];
        servo.Min = 20 + 10 * s;
        servo.Max = 230 - 5 * s;
        servo.Home = (servo.Min + servo.Max) / 2;
    }
    std::string reason;
    ASSERT_TRUE(link_.Open(reason)) << reason;
    for (int run = 0; run < 30; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        for (int s = 0; s < kServos; ++s) {
            ServoRecord& servo = project_.Servos[s];
            servo.MaxSpeed = random_() % 3 == 0 ? 0 : 30 + static_cast<int32_t>(random_() % 600);
            servo.MaxAccel = random_() % 3 == 0 ? 0 : 60 + static_cast<int32_t>(random_() % 3000);
            std::string program;
            for (int k = 0; k < 6; ++k) {
                const int32_t to = servo.Min + static_cast<int32_t>(random_() % uint32_t(servo.Max - servo.Min + 1));
                program += "Mov " + std::to_string(to) + ", " + std::to_string(1 + random_() % 12) + "\r\n";
                if (random_() % 2) program += "Wait " + std::to_string(1 + random_() % 6) + "\r\n";
            }
            project_.Programs[s] = program;
        }
        ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
        const int32_t frames = project_.Frames.UpperBound();
        const int32_t from = 1 + static_cast<int32_t>(random_() % uint32_t(frames));
        const int32_t to = from + static_cast<int32_t>(random_() % uint32_t(frames - from + 1));
        view_.loop = random_() % 3 == 0;
        view_.pumps = 0;
        view_.stopAfter = view_.loop || random_() % 4 == 0 ? 1 + static_cast<int>(random_() % 200) : -1;
        engine_.bStep = scenario.stepping && random_() % 4 == 0;  // Step while stopped: one frame, then paused
        ASSERT_TRUE(engine_.PlayAnimation(from, to));
        const bool completed = view_.stopAfter < 0 || view_.pumps < view_.stopAfter;
        std::array<std::optional<int32_t>, kServos> ends{};
        for (int s = 0; s < kServos && completed; ++s) ends[s] = project_.Frames[to].Record()[s];
        CheckSent(ends);
        if (scenario.gestures) Gestures();
        if (HasFatalFailure()) return;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Scenarios, RandomShows,
    ::testing::Values(Scenario{"FastLine", 115200, false, false}, Scenario{"TwoServosAFrame", 2400, false, false},
                      Scenario{"OneServoAFrame", 1200, false, false}, Scenario{"StepsAndPauses", 115200, true, false},
                      Scenario{"SlidersAndButtons", 115200, false, true},
                      Scenario{"EverythingOnASlowLine", 2400, true, true}),
    [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST_F(LimitedPlaybackTest, WithoutCapsTheBytesAreTheTablesAndTheLeadInIsShown) {
    project_.Programs[0] = "Mov 250, 1\r\nWait 3";
    // A disabled servo's caps change nothing: it sends nothing and adds no lead-in.
    project_.Programs[1] = "Mov 10, 1\r\nMov 250, 1";
    project_.Servos[1].Enabled = false;
    project_.Servos[1].MaxSpeed = 30;
    ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
    std::string reason;
    ASSERT_TRUE(link_.Open(reason)) << reason;
    ASSERT_TRUE(engine_.PlayAnimation(1, 5));
    auto sent = Decode(pty_.Read(SIZE_MAX, 200));
    EXPECT_EQ(sent[0], (std::vector<int32_t>{127, 250, 250, 250, 250}));
    EXPECT_EQ(sent.count(1), 0u);
    EXPECT_EQ(engine_.LeadInFrames(), 0);

    // From 250, at 300 positions a second (10 a frame), back to 127 first.
    project_.Servos[0].MaxSpeed = 300;
    ASSERT_TRUE(engine_.PlayAnimation(1, 2));
    sent = Decode(pty_.Read(SIZE_MAX, 200));
    EXPECT_EQ(sent.count(1), 0u);
    const std::vector<int32_t> moved = sent[0];
    EXPECT_EQ(engine_.LeadInFrames(), 12);  // 123 positions: 12 frames, the 13th is the show's first
    ASSERT_EQ(moved.size(), 12u + 2u + 12u);  // lead-in, the show's two frames, on to 250
    EXPECT_EQ(moved[0], 240);
    EXPECT_EQ(moved[12], 127);
    EXPECT_EQ(moved.back(), 250);
}

}  // namespace
