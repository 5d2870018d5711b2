// Playback into a pseudo-terminal for every controller: the stream read
// back by the protocol's decoder holds the frame table mapped through each
// servo's channel and pulse range, and what the line model lets through at
// a line rate is what that rate carries.
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include "core/compiler.h"
#include "files/settings_store.h"
#include "link/controller_protocol.h"
#include "link/pty.h"
#include "support/isolated_store.h"

#include "support/playback_fakes.h"

#include <gtest/gtest.h>

#include <map>

using namespace kestrova;
using kestrova::testing::Pty;

using kestrova::testing::Silence;
using kestrova::testing::InstantClock;

namespace {

struct Collector : ProtocolDecoder::Listener {
    std::map<int, std::vector<int32_t>> values;  // per channel, in order
    size_t events = 0, lost = 0;
    void Event(const ControllerEvent& e) override {
        ++events;
        values[e.channel].push_back(e.value);
    }
    void NotUnderstood(const uint8_t*, size_t count, uint64_t) override { lost += count; }
};

// A value sequence without its repeats: what an SSC-32 line carries.
std::vector<int32_t> Changes(const std::vector<int32_t>& values) {
    std::vector<int32_t> changes;
    for (int32_t v : values)
        if (changes.empty() || changes.back() != v) changes.push_back(v);
    return changes;
}

class ControllerOutputTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_FALSE(MapPortToDevice(store_, 4, pty_.Path()).has_value());
        StartNewProject(project_);
        project_.Settings.COMPort = 4;
        project_.Settings.BaudRate = 1;
        engine_.SetPrioritySetter([](int32_t) {});
    }

    // Servos 1 to `servos` sweep up and down, each on its own channel and range.
    void BuildSweeps(int servos, int frames) {
        for (int s = 0; s < servos; ++s) {
            project_.Programs[s] = "Mov 0, 1\r\nMov 254, " + std::to_string(frames / 2) + "\r\nMov 3, " +
                                   std::to_string(frames - frames / 2 - 1) + "\r\n";
            project_.Servos[s].Channel = 15 - s;
            project_.Servos[s].PulseMin = 600 + 50 * s;
            project_.Servos[s].PulseMax = 2400 - 31 * s;
        }
        ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
        link_.ApplyCommSettings(project_.Settings);
    }

    // Plays every frame and returns what arrived on the line.
    std::vector<uint8_t> Play() {
        std::vector<uint8_t> got;
        engine_.SetFrameSentHook(
            [](void* context, int32_t) {
                auto& self = *static_cast<ControllerOutputTest*>(context);
                const std::vector<uint8_t> more = self.pty_.Read(SIZE_MAX, 1);
                self.received_.insert(self.received_.end(), more.begin(), more.end());
            },
            this);
        received_.clear();
        EXPECT_TRUE(engine_.PlayAnimation(1, project_.Frames.UpperBound()));
        const std::vector<uint8_t> rest = pty_.Stray();
        received_.insert(received_.end(), rest.begin(), rest.end());
        got.swap(received_);
        return got;
    }

    Pty pty_;
    Project project_;
    SerialLink link_{StoredPortTable(store_)};
    SerialLinkOutput output_{link_};
    QuietPlaybackView view_{30};
    Silence sound_;
    InstantClock clock_;
    PlaybackEngine engine_{project_, output_, sound_, view_, &clock_};
    std::vector<uint8_t> received_;
};

TEST_F(ControllerOutputTest, EachProtocolCarriesTheFrameTableThroughThePulseRanges) {
    constexpr int kServos = 4, kFrames = 40;
    BuildSweeps(kServos, kFrames);
    engine_.SetLineBaud(115200);  // every frame whole
    for (int32_t protocol = 0; protocol < kProtocolCount; ++protocol) {
        SCOPED_TRACE(ProtocolName(protocol));
        project_.Settings.Protocol = protocol;
        const std::vector<uint8_t> bytes = Play();
        ASSERT_TRUE(view_.told.empty()) << view_.told.front().text;
        Collector got;
        MakeDecoder(protocol, 0)->Feed(bytes.data(), bytes.size(), got);
        EXPECT_EQ(got.lost, 0u);
        for (int s = 0; s < kServos; ++s) {
            const ServoRecord& servo = project_.Servos[s];
            std::vector<int32_t> expected;
            for (int32_t f = 1; f <= project_.Frames.UpperBound(); ++f) {
                const int32_t p = project_.Frames[f][s];
                expected.push_back(protocol == 0   ? p
                                   : protocol == 3 ? 4 * PulseMicros(p, servo.PulseMin, servo.PulseMax)
                                                   : PulseQuarterMicros(p, servo.PulseMin, servo.PulseMax));
            }
            const std::vector<int32_t>& sent = got.values[ChannelOf(servo, s)];
            if (protocol == 3) EXPECT_EQ(sent, Changes(expected)) << "servo " << s + 1;
            else EXPECT_EQ(sent, expected) << "servo " << s + 1;
        }
    }
}

TEST_F(ControllerOutputTest, TheLineModelLetsThroughWhatTheLineCarries) {
    constexpr int kFrames = 90;  // three seconds at 30 frames a second
    BuildSweeps(kServoCount, kFrames);
    for (int32_t baud : {9600, 38400, 115200}) {
        for (int32_t protocol = 0; protocol < kProtocolCount; ++protocol) {
            SCOPED_TRACE(ProtocolName(protocol) + " at " + std::to_string(baud));
            project_.Settings.Protocol = protocol;
            engine_.SetLineBaud(baud);
            const std::vector<uint8_t> bytes = Play();
            ASSERT_TRUE(view_.told.empty()) << view_.told.front().text;
            const auto encoder = MakeEncoder(SetupOf(project_), 1000.0 / 30);
            int frameBytes = encoder->FrameBytes();
            for (int s = 0; s < kServoCount; ++s) frameBytes += encoder->CommandBytes(s);
            const double capacity = baud / 10.0 * kFrames / 30;
            const double demand = double(frameBytes) * kFrames;
            // Never more than the line carries, give or take the last frame
            // (it sends all that changed whatever the line). Less only by
            // what a period cannot fit of one more command, as no frame
            // queues beyond its period, and by the SSC-32's short pulses,
            // which the count takes as four digits.
            int largest = 0;
            for (int s = 0; s < kServoCount; ++s) largest = std::max(largest, encoder->CommandBytes(s));
            EXPECT_LE(double(bytes.size()), std::min(capacity, demand) + frameBytes);
            if (demand > capacity) {
                const double shortBy = kFrames * (largest + (protocol == 3 ? 2.0 : 0.0));
                EXPECT_GE(double(bytes.size()), capacity - shortBy - frameBytes);
            } else {
                EXPECT_GE(double(bytes.size()), demand * (protocol == 3 ? 0.85 : 0.95));
            }
        }
    }
}

TEST_F(ControllerOutputTest, ASetupTheBoardWouldMisreadIsRefusedBeforeAnyByte) {
    BuildSweeps(2, 10);
    struct Case {
        const char* name;
        void (*apply)(Project&);
        const char* reason;
    } cases[] = {
        {"two servos on one channel", [](Project& p) { p.Servos[1].Channel = p.Servos[0].Channel; }, "are both on channel"},
        {"a channel the Mini-SSC lacks", [](Project& p) { p.Servos[0].Channel = 20; }, "has channels 0 to 15"},
        {"an unknown protocol", [](Project& p) { p.Settings.Protocol = 9; }, "(Protocol) is 9"},
        {"a range upside down", [](Project& p) { p.Servos[0].PulseMin = 2500; }, "pulse range 2500 to"},
        {"a synch byte outside a byte", [](Project& p) { p.Settings.SynchByte = 256; }, ", synch byte 256: "},
    };
    for (const Case& c : cases) {
        const ProjectSettings settings = project_.Settings;
        const auto servos = project_.Servos;
        c.apply(project_);
        view_.told.clear();
        EXPECT_FALSE(engine_.PlayAnimation(1, project_.Frames.UpperBound())) << c.name;
        ASSERT_EQ(view_.told.size(), 1u) << c.name;
        EXPECT_NE(view_.told[0].text.find(c.reason), std::string::npos) << view_.told[0].text;
        EXPECT_TRUE(pty_.Stray().empty()) << c.name;
        project_.Settings = settings;
        project_.Servos = servos;
    }
}

}  // namespace
