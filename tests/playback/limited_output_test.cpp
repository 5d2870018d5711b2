// Playback with speed and acceleration caps, decoded from the bytes on a
// pseudo-terminal: random programs, ranges that start mid-show, loops and
// stops. Each servo's positions, frame by frame, keep within its caps and
// its Min..Max, and every completed playback leaves each servo on the
// show's last position.
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "core/compiler.h"
#include "files/settings_store.h"
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

struct LoopingView : QuietPlaybackView {
    explicit LoopingView(int fps) : QuietPlaybackView(fps) {}
    bool loop = false;
    int pumps = 0, stopAfter = -1;  // pumps until a stop; -1 none
    PlaybackEngine* engine = nullptr;
    bool LoopPressed() override { return loop; }
    void Pump() override {
        if (++pumps == stopAfter) engine->bStop = true;
    }
};

constexpr int kServos = 3;
constexpr int kFps = 30;

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
        view_.engine = &engine_;
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

    Pty pty_;
    Project project_;
    SerialLink link_{StoredPortTable(store_)};
    SerialLinkOutput output_{link_};
    LoopingView view_{kFps};
    Silence sound_;
    InstantClock clock_;
    PlaybackEngine engine_{project_, output_, sound_, view_, &clock_};
};

TEST_F(LimitedPlaybackTest, RandomShowsKeepEveryServoWithinItsCaps) {
    std::mt19937 random(2026);
    for (int s = 0; s < kServos; ++s) {
        ServoRecord& servo = project_.Servos[s];
        servo.Min = 20 + 10 * s;
        servo.Max = 230 - 5 * s;
        servo.Home = (servo.Min + servo.Max) / 2;
    }
    std::string reason;
    ASSERT_TRUE(link_.Open(reason)) << reason;
    std::array<int32_t, kServos> last{};  // where each servo was left
    for (int run = 0; run < 30; ++run) {
        SCOPED_TRACE("run " + std::to_string(run));
        for (int s = 0; s < kServos; ++s) {
            ServoRecord& servo = project_.Servos[s];
            servo.MaxSpeed = random() % 3 == 0 ? 0 : 30 + static_cast<int32_t>(random() % 600);
            servo.MaxAccel = random() % 3 == 0 ? 0 : 60 + static_cast<int32_t>(random() % 3000);
            std::string program;
            for (int k = 0; k < 6; ++k) {
                const int32_t to = servo.Min + static_cast<int32_t>(random() % uint32_t(servo.Max - servo.Min + 1));
                program += "Mov " + std::to_string(to) + ", " + std::to_string(1 + random() % 12) + "\r\n";
                if (random() % 2) program += "Wait " + std::to_string(1 + random() % 6) + "\r\n";
            }
            project_.Programs[s] = program;
        }
        ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
        const int32_t frames = project_.Frames.UpperBound();
        const int32_t from = 1 + static_cast<int32_t>(random() % uint32_t(frames));
        const int32_t to = from + static_cast<int32_t>(random() % uint32_t(frames - from + 1));
        view_.loop = random() % 3 == 0;
        view_.pumps = 0;
        view_.stopAfter = view_.loop || random() % 4 == 0 ? 1 + static_cast<int>(random() % 200) : -1;
        ASSERT_TRUE(engine_.PlayAnimation(from, to));
        const bool completed = view_.stopAfter < 0 || view_.pumps < view_.stopAfter;
        const auto sent = Decode(pty_.Read(SIZE_MAX, 100));

        for (int s = 0; s < kServos; ++s) {
            const ServoRecord& servo = project_.Servos[s];
            std::vector<int32_t> path;
            if (run > 0) path.push_back(last[s]);
            if (sent.count(s)) path.insert(path.end(), sent.at(s).begin(), sent.at(s).end());
            if (path.empty()) continue;
            // What goes out is an exact path rounded to whole positions: at
            // most one position more than the caps in any step or change of step.
            const double speed = servo.MaxSpeed ? double(servo.MaxSpeed) / kFps + 1 : 1e9;
            const double accel = servo.MaxAccel ? double(servo.MaxAccel) / (kFps * kFps) + 2 : 1e9;
            for (size_t k = 0; k < path.size(); ++k) {
                ASSERT_GE(path[k], servo.Min);
                ASSERT_LE(path[k], servo.Max);
                if (k >= 1) {
                    ASSERT_LT(std::abs(path[k] - path[k - 1]), speed) << "servo " << s << " frame " << k;
                }
                if (k >= 2) {
                    ASSERT_LT(std::abs(path[k] - 2 * path[k - 1] + path[k - 2]), accel) << s << " " << k;
                }
            }
            if (completed) {
                ASSERT_EQ(path.back(), project_.Frames[to].Record()[s]) << "servo " << s;
            }
            last[s] = path.back();
        }
    }
}

TEST_F(LimitedPlaybackTest, WithoutCapsTheBytesAreTheTablesAndTheLeadInIsShown) {
    project_.Programs[0] = "Mov 250, 1\r\nWait 3";
    ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
    std::string reason;
    ASSERT_TRUE(link_.Open(reason)) << reason;
    ASSERT_TRUE(engine_.PlayAnimation(1, 5));
    EXPECT_EQ(Decode(pty_.Read(SIZE_MAX, 200))[0], (std::vector<int32_t>{127, 250, 250, 250, 250}));
    EXPECT_EQ(engine_.LeadInFrames(), 0);

    // From 250, at 300 positions a second (10 a frame), back to 127 first.
    project_.Servos[0].MaxSpeed = 300;
    ASSERT_TRUE(engine_.PlayAnimation(1, 2));
    const std::vector<int32_t> moved = Decode(pty_.Read(SIZE_MAX, 200))[0];
    EXPECT_EQ(engine_.LeadInFrames(), 12);  // 123 positions: 12 frames, the 13th is the show's first
    ASSERT_EQ(moved.size(), 12u + 2u + 12u);  // lead-in, the show's two frames, on to 250
    EXPECT_EQ(moved[0], 240);
    EXPECT_EQ(moved[12], 127);
    EXPECT_EQ(moved.back(), 250);
}

}  // namespace
