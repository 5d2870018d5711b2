// The input sources through their real libraries where this machine has
// the device: SDL's virtual joystick, OSC datagrams sent by liblo over the
// loopback address, and MIDI bytes fed as the ALSA callback feeds them.
#include "capture/gamepad_source.h"
#include "capture/midi_source.h"
#include "capture/osc_source.h"

#include <SDL.h>
#include <gtest/gtest.h>
#include <lo/lo.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

using namespace kestrova;

namespace {

// Waits up to a second for the OSC thread to take a datagram in.
bool WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 200 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return done();
}

struct MidiCase {
    const char* what;
    std::vector<uint8_t> bytes;
    int control;  // channel * 128 + CC
    double expected;
};

TEST(MidiSource, ControlChangesReadAsSevenOrFourteenBitValues) {
    const MidiCase cases[] = {
        {"7-bit CC 7 on channel 1", {0xB0, 7, 127}, 7, 1.0},
        {"channel 3", {0xB2, 7, 64}, 2 * 128 + 7, 64 / 127.0},
        {"running status keeps the last value", {0xB0, 7, 10, 7, 20}, 7, 20 / 127.0},
        {"real-time bytes in between", {0xB0, 0xF8, 7, 0xFE, 30}, 7, 30 / 127.0},
        {"a 14-bit pair", {0xB0, 1, 64, 33, 1}, 1, (64 * 128 + 1) / 16383.0},
        {"a coarse value after a pair clears the fine part", {0xB0, 1, 64, 33, 100, 1, 10}, 1, 10 * 128 / 16383.0},
        {"the fine controller alone", {0xB0, 33, 127}, 33, 1.0},
        {"notes are not controls", {0x90, 7, 100, 0xB0, 7, 5}, 7, 5 / 127.0},
        {"a system message cancels running status", {0xB0, 7, 9, 0xF0, 7, 100, 0xF7}, 7, 9 / 127.0},
    };
    for (const MidiCase& c : cases) {
        MidiSource source("Faders");
        source.Feed("Faders", c.bytes.data(), c.bytes.size());
        const auto value = source.Value(ControlId{SourceKind::Midi, "Faders", c.control});
        ASSERT_TRUE(value.has_value()) << c.what;
        EXPECT_NEAR(*value, c.expected, 1e-9) << c.what;
    }
}

TEST(MidiSource, AFloodKeepsOnlyTheNewestValueOfEachController) {
    MidiSource source("Faders");
    std::vector<uint8_t> flood;
    for (int i = 0; i < 200000; ++i) {
        const uint8_t message[] = {uint8_t(0xB0 | (i / 128 % 16)), uint8_t(i % 128), uint8_t(i % 128)};
        flood.insert(flood.end(), message, message + 3);
    }
    source.Feed("Faders", flood.data(), flood.size());
    source.Feed("Elsewhere", flood.data(), flood.size());  // a port it does not have: ignored
    EXPECT_EQ(source.Controls().size(), 16u * 128);
    EXPECT_GE(source.Updates(), 200000u);
}

TEST(MidiSource, OpeningThePortsWithoutASequencerIsAMessage) {
    const auto source = MidiSource::OpenPorts();
    ASSERT_NE(source, nullptr);
    if (source->Devices().empty()) {
        EXPECT_FALSE(source->Problem().empty());
    }
}

TEST(OscSource, ValuesOverLoopbackUdp) {
    OscSource source(0);
    ASSERT_TRUE(source.Problem().empty()) << source.Problem();
    ASSERT_GT(source.Port(), 0);
    lo_address to = lo_address_new("127.0.0.1", std::to_string(source.Port()).c_str());
    struct Case {
        const char* path;
        float value;
        int servo;
        double expected;  // NaN: no value
    } const cases[] = {
        {"/kestrova/servo/1", 0.25f, 1, 0.25},
        {"/kestrova/servo/16", 1.5f, 16, 1.0},     // beyond the travel: its end
        {"/kestrova/servo/2", -3.0f, 2, 0.0},
        {"/kestrova/servo/3", NAN, 3, NAN},        // left out
        {"/kestrova/servo/17", 0.5f, 17, NAN},     // no such servo
        {"/kestrova/servo/05", 0.5f, 5, NAN},
        {"/other/servo/4", 0.5f, 4, NAN},
    };
    for (const Case& c : cases) lo_send(to, c.path, "f", c.value);
    lo_send(to, "/kestrova/servo/6", "s", "text");
    lo_send(to, "/kestrova/servo/7", "i", 1);
    ASSERT_TRUE(WaitFor([&] { return source.Updates() + source.Rejected() == 9; }))
        << source.Updates() << " + " << source.Rejected();
    for (const Case& c : cases) {
        const auto value = source.Value(ControlId{SourceKind::Osc, {}, c.servo});
        if (std::isnan(c.expected)) {
            EXPECT_FALSE(value.has_value()) << c.path;
        } else {
            ASSERT_TRUE(value.has_value()) << c.path;
            EXPECT_DOUBLE_EQ(*value, c.expected) << c.path;
        }
    }
    EXPECT_DOUBLE_EQ(source.Value(ControlId{SourceKind::Osc, {}, 7}).value_or(-1), 1.0);
    lo_address_free(to);
}

TEST(OscSource, BundlesAreOpenedAndBrokenPacketsCounted) {
    OscSource source(0);
    lo_message message = lo_message_new();
    lo_message_add_float(message, 0.75f);
    lo_bundle bundle = lo_bundle_new(LO_TT_IMMEDIATE);
    lo_bundle_add_message(bundle, "/kestrova/servo/9", message);
    size_t size = 0;
    void* data = lo_bundle_serialise(bundle, nullptr, &size);
    source.Dispatch(static_cast<const uint8_t*>(data), size);
    EXPECT_DOUBLE_EQ(source.Value(ControlId{SourceKind::Osc, {}, 9}).value_or(-1), 0.75);
    // Cut short at every length: never a crash, never a value.
    for (size_t cut = 0; cut + 1 < size; ++cut) source.Dispatch(static_cast<const uint8_t*>(data), cut);
    EXPECT_EQ(source.Updates(), 1u);
    free(data);
    lo_bundle_free_recursive(bundle);
}

TEST(OscSource, APortInUseOrABadAddressIsAMessage) {
    OscSource first(0);
    OscSource second(first.Port());
    EXPECT_NE(second.Problem().find("cannot listen"), std::string::npos) << second.Problem();
    EXPECT_TRUE(second.Devices().empty());
    OscSource bad(9000, "not an address");
    EXPECT_FALSE(bad.Problem().empty());
}

class GamepadTest : public ::testing::Test {
protected:
    // A pad of SDL's own, as if plugged in: two sticks and two triggers.
    int Plug() {
        const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 4, 0);
        EXPECT_GE(index, 0) << SDL_GetError();
        pad_ = SDL_JoystickOpen(index);
        return index;
    }
    void Unplug(int index) {
        SDL_JoystickClose(pad_);
        SDL_JoystickDetachVirtual(index);
    }
    GamepadSource source_{0.05};
    SDL_Joystick* pad_ = nullptr;
};

TEST_F(GamepadTest, AxesHotPlugAndLearn) {
    ASSERT_TRUE(source_.Problem().empty()) << source_.Problem();
    for (int sig : {SIGINT, SIGTERM}) {  // still the program's own
        struct sigaction action {};
        sigaction(sig, nullptr, &action);
        EXPECT_EQ(action.sa_handler, SIG_DFL) << sig;
    }
    const int index = Plug();
    source_.Poll();
    ASSERT_EQ(source_.Devices().size(), 1u);
    const std::string pad = source_.Devices()[0];
    EXPECT_TRUE(source_.Connected(pad));
    const ControlId stick{SourceKind::Gamepad, pad, 0};

    struct Case {
        int16_t raw;
        double expected;
    } const cases[] = {{32767, 1.0}, {-32768, 0.0}, {1000, (32768.0) / 65535}, {16384, (16384 + 32768.0) / 65535}};
    for (const Case& c : cases) {
        SDL_JoystickSetVirtualAxis(pad_, 0, c.raw);
        source_.Poll();
        EXPECT_NEAR(source_.Value(stick).value_or(-1), c.expected, 1e-6) << c.raw;
    }

    source_.StartLearn();
    SDL_JoystickSetVirtualAxis(pad_, 3, 2000);  // inside the dead zone: not picked
    source_.Poll();
    EXPECT_FALSE(source_.Learned());
    SDL_JoystickSetVirtualAxis(pad_, 3, 30000);
    source_.Poll();
    ASSERT_TRUE(source_.Learned());
    EXPECT_EQ(*source_.Learned(), (ControlId{SourceKind::Gamepad, pad, 3}));

    Unplug(index);
    source_.Poll();
    EXPECT_FALSE(source_.Connected(pad));
    EXPECT_FALSE(source_.Value(stick).has_value());
}

TEST(GamepadSource, DeadZoneAroundTheRestPosition) {
    EXPECT_DOUBLE_EQ(GamepadSource::AxisValue(1500, 0, 0.05), 32768.0 / 65535);
    EXPECT_DOUBLE_EQ(GamepadSource::AxisValue(-32000, -32768, 0.05), 0.0);  // a trigger at rest
    EXPECT_GT(GamepadSource::AxisValue(-20000, -32768, 0.05), 0.19);
    EXPECT_DOUBLE_EQ(GamepadSource::AxisValue(5000, 0, 0.0), (5000 + 32768.0) / 65535);
}

}  // namespace
