// Takes: the samples' shift and cover, the mapping and capture settings in
// an isolated store, and whole takes played into a pseudo-terminal with a
// pad of SDL's own, one of them cut short by unplugging it.
#include "capture/gamepad_source.h"
#include "capture/mapping.h"
#include "capture/take.h"

#include "core/compiler.h"
#include "files/settings_store.h"
#include "link/pty.h"
#include "playback/serial_link_output.h"
#include "support/isolated_store.h"

#include <SDL.h>
#include "support/playback_fakes.h"

#include <gtest/gtest.h>

using namespace kestrova;
using kestrova::testing::Pty;

using kestrova::testing::Silence;

namespace {

TEST(TakeRecording, ShiftAndCover) {
    struct Case {
        const char* what;
        int32_t shift, framesRecorded;
        bool complete;
        std::vector<int32_t> trace;  // samples are 100 + k for the k-th frame from `first`
    } const cases[] = {
        {"whole, no shift", 0, 5, true, {100, 101, 102, 103, 104}},
        {"shifted by two", 2, 7, true, {102, 103, 104, 105, 106}},
        {"table ended before the shift was in", 2, 5, true, {102, 103, 104, 104, 104}},
        {"stopped after three frames", 0, 3, false, {100, 101, 102}},
        {"stopped, shifted", 1, 3, false, {101, 102}},
        {"stopped before anything", 0, 0, false, {}},
    };
    for (const Case& c : cases) {
        TakePlan plan{10, 14, 0, c.shift, {}};
        plan.armed[3] = true;
        TakeRecording recording(plan);
        recording.Record(9, {});  // before the range: not kept
        for (int32_t k = 0; k < c.framesRecorded; ++k) {
            std::array<int32_t, kServoCount> positions{};
            positions[3] = 100 + k;
            recording.Record(10 + k, positions);
        }
        EXPECT_EQ(recording.Trace(3, c.complete), c.trace) << c.what;
        EXPECT_EQ(recording.CoveredLast(c.complete), 10 + int32_t(c.trace.size()) - 1) << c.what;
    }
    EXPECT_EQ(ShiftFrames(100, 30), 3);
    EXPECT_EQ(ShiftFrames(-50, 30), 0);
}

TEST(Mapping, BindingsAndPositions) {
    const Binding bindings[] = {
        {},
        {ControlId{SourceKind::Gamepad, "Pad | with bar", 3}, true},
        {ControlId{SourceKind::Midi, "Faders", 2 * 128 + 7}, false},
        {ControlId{SourceKind::Osc, "", 16}, false},
    };
    for (const Binding& b : bindings) EXPECT_EQ(ParseBinding(BindingText(b)), b) << BindingText(b);
    for (const char* junk : {"", "pad|1|0|x", "gamepad|-1|0|x", "gamepad|1x|0|x", "gamepad|1"})
        EXPECT_EQ(ParseBinding(junk), Binding{}) << junk;

    ServoRecord servo;
    servo.Min = 40;
    servo.Max = 200;
    for (auto [value, reversed, position] : {std::tuple{0.0, false, 40}, {1.0, false, 200}, {1.0, true, 40},
                                             {0.5, false, 120}, {7.0, false, 200}, {std::nan(""), false, 120}})
        EXPECT_EQ(ServoPosition(value, servo, reversed), position) << value << " " << reversed;
    std::swap(servo.Min, servo.Max);  // a reversed servo stays within its limits
    EXPECT_EQ(ServoPosition(0.0, servo, false), 200);
}

class StoredCapture : public kestrova::testing::StoreTest {};

TEST_F(StoredCapture, MappingPerProjectFileAndSettingsWithinLimits) {
    Mapping head;
    head[0] = Binding{ControlId{SourceKind::Gamepad, "Pad", 1}, true};
    ASSERT_FALSE(SaveMapping(store_, "/shows/a.kva", head).has_value());
    EXPECT_EQ(LoadMapping(store_, "/shows/a.kva"), head);
    EXPECT_EQ(LoadMapping(store_, "/shows/b.kva"), Mapping{});

    EXPECT_EQ(LoadCaptureSettings(store_), CaptureSettings{});
    CaptureSettings wild;
    wild.offsetMs = 5000;
    wild.tolerance = -3;
    wild.oscAddress = "0.0.0.0";
    ASSERT_FALSE(SaveCaptureSettings(store_, wild).has_value());
    const CaptureSettings read = LoadCaptureSettings(store_);
    EXPECT_EQ(read.offsetMs, 1000);
    EXPECT_EQ(read.tolerance, 0);
    EXPECT_EQ(read.oscAddress, "0.0.0.0");
}

struct PumpView : QuietPlaybackView {
    PumpView() : QuietPlaybackView(30) {}
    int32_t frame = 0;
    std::function<void(int32_t)> onFrame;
    void MovePlayMarker(int32_t f) override {
        frame = f;
        if (onFrame) onFrame(f);
    }
};

class TakeTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        ASSERT_FALSE(MapPortToDevice(store_, 4, pty_.Path()).has_value());
        StartNewProject(project_);
        project_.Settings.COMPort = 4;
        project_.Settings.BaudRate = 1;
        link_.ApplyCommSettings(project_.Settings);
        engine_.SetPrioritySetter([](int32_t) {});
        project_.Programs[0] = "Wait 40";
        ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
        index_ = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 4, 0);
        ASSERT_GE(index_, 0) << SDL_GetError();
        pad_ = SDL_JoystickOpen(index_);
        pads_.Poll();
        ASSERT_EQ(pads_.Devices().size(), 1u);
        mapping_[2] = Binding{ControlId{SourceKind::Gamepad, pads_.Devices()[0], 1}, false};
        project_.Servos[2].Min = 0;
        project_.Servos[2].Max = 254;
    }
    void TearDown() override {
        if (pad_) SDL_JoystickClose(pad_);
        if (index_ >= 0) SDL_JoystickDetachVirtual(index_);
    }
    // Servo 3's positions on the wire, frame by frame.
    std::vector<int> WirePositions() {
        std::vector<int> positions;
        const std::vector<uint8_t> bytes = pty_.Read(SIZE_MAX, 200);
        for (size_t i = 0; i + 2 < bytes.size(); i += 3)
            if (bytes[i + 1] == 2) positions.push_back(bytes[i + 2]);
        return positions;
    }

    Pty pty_;
    Project project_;
    SerialLink link_{StoredPortTable(store_)};
    SerialLinkOutput output_{link_};
    PumpView view_;
    Silence sound_;
    PlaybackEngine engine_{project_, output_, sound_, view_};
    GamepadSource pads_;
    Mapping mapping_;
    int index_ = -1;
    SDL_Joystick* pad_ = nullptr;
};

TEST_F(TakeTest, ArmedServoFollowsThePadLiveAndEveryFrameIsSampled) {
    TakePlan plan{11, 30, 5, 2, {}};
    plan.armed[2] = true;
    CaptureSession session(project_, mapping_, {&pads_}, {}, plan, [&] { engine_.bStop = true; });
    // The stick goes from one end to the other at frame 20.
    SDL_JoystickSetVirtualAxis(pad_, 1, -32768);
    view_.onFrame = [&](int32_t f) {
        if (f == 20) SDL_JoystickSetVirtualAxis(pad_, 1, 32767);
    };
    engine_.SetFrameOverride(&session);
    ASSERT_TRUE(engine_.PlayAnimation(plan.PlayFirst(), plan.PlayLast(project_.Frames.UpperBound())));
    const std::vector<int> wire = WirePositions();
    // Servo 3 has no program: it is sent only because it is armed.
    ASSERT_FALSE(wire.empty());
    EXPECT_EQ(wire.front(), 0);
    EXPECT_EQ(wire.back(), 254);
    EXPECT_EQ(session.FramesPlayed(), 32 - 6 + 1);
    const TakeRecording& take = session.Recording();
    EXPECT_EQ(take.FramesCaptured(), 20);
    const std::vector<int32_t> trace = take.Trace(2, true);
    ASSERT_EQ(trace.size(), 20u);
    // Sampled at frame 20, moved 2 frames earlier by the offset.
    for (size_t k = 0; k < trace.size(); ++k) EXPECT_EQ(trace[k], 11 + int(k) + 2 >= 20 ? 254 : 0) << k;
    EXPECT_TRUE(session.Unplugged().empty());

    // Fitted into servo 3's program: within the tolerance over the range,
    // the frames outside as before.
    std::vector<int32_t> before;
    for (int32_t f = 1; f <= project_.Frames.UpperBound(); ++f) before.push_back(project_.Frames[f][2]);
    const TakeOutcome outcome = FitTake(project_, take, true, 2);
    ASSERT_TRUE(outcome.refusals.empty()) << outcome.refusals[0];
    ASSERT_TRUE(outcome.programs[2].has_value());
    EXPECT_FALSE(outcome.programs[0].has_value());
    project_.Programs[2] = *outcome.programs[2];
    ASSERT_EQ(BuildAnimation(project_).outcome, BuildOutcome::Success);
    for (int32_t f = 1; f <= 40; ++f) {
        const int32_t built = project_.Frames[f][2];
        if (f >= 11 && f <= 30)
            EXPECT_LE(std::abs(built - trace[size_t(f - 11)]), 2) << "frame " << f;
        else
            EXPECT_EQ(built, before[size_t(f - 1)]) << "frame " << f;
    }

    // Limits narrowed since the take: refused, with the reason.
    project_.Servos[2].Max = 200;
    const TakeOutcome refused = FitTake(project_, take, true, 2);
    ASSERT_EQ(refused.refusals.size(), 1u);
    EXPECT_NE(refused.refusals[0].find("outside the servo's limits 0 to 200"), std::string::npos) << refused.refusals[0];
}

TEST_F(TakeTest, UnpluggingStopsTheTakeAndKeepsTheSamplesSoFar) {
    TakePlan plan{5, 35, 0, 0, {}};
    plan.armed[2] = true;
    CaptureSession session(project_, mapping_, {&pads_}, {}, plan, [&] { engine_.bStop = true; });
    SDL_JoystickSetVirtualAxis(pad_, 1, 0);
    view_.onFrame = [&](int32_t f) {
        if (f == 15) {
            SDL_JoystickClose(pad_);
            pad_ = nullptr;
            SDL_JoystickDetachVirtual(index_);
            index_ = -1;
        }
    };
    engine_.SetFrameOverride(&session);
    engine_.PlayAnimation(plan.PlayFirst(), plan.PlayLast(project_.Frames.UpperBound()));
    EXPECT_FALSE(session.Unplugged().empty());
    EXPECT_LT(view_.frame, 18) << "the take stops";
    const TakeRecording& take = session.Recording();
    EXPECT_EQ(take.CoveredLast(false), 14);
    EXPECT_EQ(take.Trace(2, false), std::vector<int32_t>(10, 127));
    // The servo holds: nothing after the unplug moves it.
    const std::vector<int> wire = WirePositions();
    ASSERT_FALSE(wire.empty());
    EXPECT_EQ(wire.back(), 127);
}

}  // namespace
