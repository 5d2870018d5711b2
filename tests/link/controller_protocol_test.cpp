// Each controller protocol's bytes against the manufacturers' published
// command formats, and each decoder reading them back.
#include "link/controller_protocol.h"
#include "link/pololu_protocol.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

using namespace kestrova;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

ControllerSetup SetupFor(Protocol protocol) {
    ControllerSetup setup;
    setup.protocol = int32_t(protocol);
    setup.synchByte = 255;
    return setup;
}

struct EncoderCase {
    const char* name;
    Protocol protocol;
    std::vector<ServoTarget> targets;
    Bytes expected;
    void (*tweak)(ControllerSetup&) = nullptr;
};

TEST(ControllerProtocol, FramesAreEncodedByteForByte) {
    const EncoderCase cases[] = {
        // 1500 us on channel 0 is 84 00 70 2E in the Maestro's guide.
        {"Pololu compact, mid position", Protocol::Pololu, {{0, 127}}, {0x84, 0x00, 0x70, 0x2E}},
        {"Pololu compact, ends of the range on channel 2", Protocol::Pololu, {{2, 0}, {2, 254}},
         {0x84, 0x02, 0x20, 0x1F, 0x84, 0x02, 0x40, 0x3E}},
        {"Pololu device 12", Protocol::PololuChain, {{0, 127}}, {0xAA, 0x0C, 0x04, 0x00, 0x70, 0x2E}},
        {"Pololu channel and range of the servo's own", Protocol::Pololu, {{5, 254}}, {0x84, 0x17, 0x10, 0x4E},
         [](ControllerSetup& s) {
             s.channel[5] = 23;
             s.pulseMin[5] = 500;
             s.pulseMax[5] = 2500;
         }},
        {"position 255 stays at the top of the range", Protocol::Pololu, {{0, 255}}, {0x84, 0x00, 0x40, 0x3E}},
        {"Mini-SSC bytes as ever", Protocol::MiniSsc, {{0, 127}, {15, 254}}, {0xFF, 0x00, 0x7F, 0xFF, 0x0F, 0xFE}},
        {"Mini-SSC through a channel", Protocol::MiniSsc, {{0, 3}}, {0xFF, 0x07, 0x03},
         [](ControllerSetup& s) { s.channel[0] = 7; }},
        {"SSC-32 group move", Protocol::Ssc32, {{0, 0}, {3, 254}}, Text("#0 P1000 #3 P2000 T33\r")},
        // 1000 + 1001 * 127 / 254 = 1500.5 goes to the even 1500.
        {"SSC-32 rounds halves to even", Protocol::Ssc32, {{1, 127}}, Text("#1 P1500 T33\r"),
         [](ControllerSetup& s) { s.pulseMax[1] = 2001; }},
        {"SSC-32 channel above 15", Protocol::Ssc32, {{1, 127}}, Text("#31 P1500 T33\r"),
         [](ControllerSetup& s) { s.channel[1] = 31; }},
    };
    for (const EncoderCase& c : cases) {
        ControllerSetup setup = SetupFor(c.protocol);
        if (c.tweak) c.tweak(setup);
        const auto encoder = MakeEncoder(setup, 1000.0 / 30);
        Bytes out;
        std::string reason;
        EXPECT_TRUE(encoder->Frame(c.targets, out, reason)) << c.name;
        EXPECT_EQ(out, c.expected) << c.name;
        for (const ServoTarget& t : c.targets) {
            EXPECT_LE(out.size(), c.targets.size() * size_t(encoder->CommandBytes(t.servo)) + size_t(encoder->FrameBytes()))
                << c.name << ": the line model must not count fewer bytes than go out";
        }
    }
}

TEST(ControllerProtocol, Ssc32SendsOnlyWhatChangedAndNothingWhenNothingDid) {
    const auto encoder = MakeEncoder(SetupFor(Protocol::Ssc32), 50);
    Bytes out;
    std::string reason;
    const std::vector<ServoTarget> first{{0, 0}, {1, 0}};
    const std::vector<ServoTarget> second{{0, 0}, {1, 254}};
    encoder->Frame(first, out, reason);
    out.clear();
    encoder->Frame(second, out, reason);
    EXPECT_EQ(out, Text("#1 P2000 T50\r"));
    out.clear();
    encoder->Frame(second, out, reason);
    EXPECT_TRUE(out.empty());
    encoder->Restart();
    encoder->Frame(second, out, reason);
    EXPECT_EQ(out, Text("#0 P1000 #1 P2000 T50\r"));
}

TEST(ControllerProtocol, PulsesOffAndOpeningLimits) {
    const std::vector<int> servos{0, 1};
    struct Case {
        Protocol protocol;
        Bytes off;
    } cases[] = {
        {Protocol::MiniSsc, {}},
        {Protocol::Pololu, {0x84, 0, 0, 0, 0x84, 1, 0, 0}},
        {Protocol::PololuChain, {0xAA, 12, 0x04, 0, 0, 0, 0xAA, 12, 0x04, 1, 0, 0}},
        {Protocol::Ssc32, Text("#0 P0 #1 P0\r")},
    };
    for (const Case& c : cases) {
        Bytes out;
        MakeEncoder(SetupFor(c.protocol), 33)->PulsesOff(servos, out);
        EXPECT_EQ(out, c.off) << ProtocolName(int32_t(c.protocol));
    }

    // 254 positions a second over 1000 us is 1000 us/s, 40 units of 25 us/s;
    // 254 positions/s^2 is 3.2 units of 312.5 us/s^2, rounded down to 3. A cap
    // too small for one unit is one unit, never 0 (no limit at all).
    ControllerSetup setup = SetupFor(Protocol::Pololu);
    setup.maxSpeed[0] = 254;
    setup.maxAccel[0] = 254;
    setup.maxSpeed[2] = 0.001;
    Bytes out;
    MakeEncoder(setup, 33)->Opening(out);
    EXPECT_EQ(out, (Bytes{0x87, 0, 40, 0, 0x89, 0, 3, 0, 0x87, 2, 1, 0}));
    // The same caps set on the project's servos.
    Project project;
    project.Settings.Protocol = int32_t(Protocol::Pololu);
    project.Servos[0].MaxSpeed = project.Servos[0].MaxAccel = 254;
    out.clear();
    MakeEncoder(SetupOf(project), 33)->Opening(out);
    EXPECT_EQ(out, (Bytes{0x87, 0, 40, 0, 0x89, 0, 3, 0}));
    EXPECT_EQ(PololuSpeedUnits(1e9, 1000, 2000), 0x3FFF);
    EXPECT_EQ(PololuAccelerationUnits(1e9, 1000, 2000), 255);
    out.clear();
    MakeEncoder(SetupFor(Protocol::Ssc32), 33)->Opening(out);
    EXPECT_TRUE(out.empty());
}

// Collects what a decoder made of a stream.
struct Collector : ProtocolDecoder::Listener {
    std::vector<ControllerEvent> events;
    Bytes lost;
    void Event(const ControllerEvent& e) override { events.push_back(e); }
    void NotUnderstood(const uint8_t* bytes, size_t count, uint64_t) override { lost.insert(lost.end(), bytes, bytes + count); }
};

TEST(ControllerProtocol, EveryEncoderIsReadBackByItsDecoder) {
    std::mt19937 random(27);
    for (int32_t p = 0; p < kProtocolCount; ++p) {
        ControllerSetup setup = SetupFor(Protocol(p));
        for (int s = 0; s < kServoCount; ++s) {
            setup.channel[s] = (s * 5 + 3) % ChannelCount(p);
            setup.pulseMin[s] = 500 + 37 * s;
            setup.pulseMax[s] = 2500 - 29 * s;
        }
        const auto encoder = MakeEncoder(setup, 40);
        const auto decoder = MakeDecoder(p, 255);
        Collector got;
        std::vector<ControllerEvent> sent;
        for (int frame = 0; frame < 200; ++frame) {
            std::vector<ServoTarget> targets;
            for (int s = 0; s < kServoCount; ++s)
                if (random() % 3 == 0) targets.push_back({s, int32_t(random() % 255)});
            Bytes out;
            std::string reason;
            ASSERT_TRUE(encoder->Frame(targets, out, reason));
            decoder->Feed(out.data(), out.size(), got);
            for (const ServoTarget& t : targets) {
                ControllerEvent e;
                e.channel = setup.channel[t.servo];
                e.kind = p == 0 ? ControllerEvent::Kind::Position : ControllerEvent::Kind::Pulse;
                e.value = p == 0 ? t.position
                        : p == 3 ? 4 * PulseMicros(t.position, setup.pulseMin[t.servo], setup.pulseMax[t.servo])
                                 : PulseQuarterMicros(t.position, setup.pulseMin[t.servo], setup.pulseMax[t.servo]);
                sent.push_back(e);
            }
        }
        EXPECT_TRUE(got.lost.empty()) << ProtocolName(p);
        // The SSC-32 leaves out what did not change; compare the last pulse per channel then.
        std::map<int, int32_t> lastSent, lastGot;
        for (const ControllerEvent& e : sent) lastSent[e.channel] = e.value;
        for (const ControllerEvent& e : got.events) lastGot[e.channel] = e.value;
        EXPECT_EQ(lastGot, lastSent) << ProtocolName(p);
        if (p != 3) {
            EXPECT_EQ(got.events.size(), sent.size()) << ProtocolName(p);
        }
        EXPECT_EQ(got.events.front().device, p == 2 ? 12 : -1);
        EXPECT_EQ(got.events.front().travelMs, p == 3 ? 40 : -1);
    }
}

TEST(ControllerProtocol, DecodersSkipWhatTheBoardWouldNotTake) {
    struct Case {
        const char* name;
        Protocol protocol;
        Bytes stream;
        size_t events;
        size_t lost;
    } cases[] = {
        {"Pololu: a command cut short by the next", Protocol::Pololu, {0x84, 0x01, 0x84, 0x00, 0x70, 0x2E}, 1, 2},
        {"Pololu: data without a command", Protocol::Pololu, {0x10, 0x84, 0x00, 0x70, 0x2E}, 1, 1},
        {"Pololu: a command it does not show", Protocol::Pololu, {0xA2, 0x84, 0x00, 0x70, 0x2E}, 1, 1},
        {"Pololu: device form with an unknown command", Protocol::PololuChain, {0xAA, 0x0C, 0x21, 0x84, 0x00, 0x70, 0x2E}, 1, 3},
        {"SSC-32: blanks and case do not matter", Protocol::Ssc32, Text("# 4p1500\t#5 P 1600s200 t100\r"), 2, 0},
        {"SSC-32: another command is lost whole", Protocol::Ssc32, Text("VER\r#0P1500\r"), 1, 4},
        {"SSC-32: a channel beyond 31", Protocol::Ssc32, Text("#32P1500\r"), 0, 9},
        {"SSC-32: a line without end", Protocol::Ssc32, Bytes(600, '#'), 0, 512},
    };
    for (const Case& c : cases) {
        Collector got;
        MakeDecoder(int32_t(c.protocol), 255)->Feed(c.stream.data(), c.stream.size(), got);
        EXPECT_EQ(got.events.size(), c.events) << c.name;
        EXPECT_EQ(got.lost.size(), c.lost) << c.name;
    }
}

}  // namespace

#include "link/pty.h"
#include "link/live_output.h"
#include "link/serial_link.h"

namespace {

// The link on a real port: the board's limits when it opens (and again when
// they change while open), single commands in the protocol, pulses off.
TEST(ControllerLink, APololuPortGetsItsLimitsCommandsAndPulsesOff) {
    kestrova::testing::Pty pty;
    SerialLink link;
    ProjectSettings settings;
    settings.Protocol = int32_t(Protocol::PololuChain);
    link.ApplyCommSettings(settings);
    link.SetDeviceOverride(pty.Path());
    ControllerSetup setup = link.ControllerSetupInForce();
    setup.channel[1] = 7;
    setup.maxSpeed[1] = 254;
    link.SetControllerSetup(setup);

    std::string reason;
    ASSERT_TRUE(link.Open(reason)) << reason;
    EXPECT_EQ(pty.Read(6), (Bytes{0xAA, 12, 0x07, 7, 40, 0}));
    ASSERT_TRUE(link.WriteServo(255, 1, 127, reason)) << reason;
    EXPECT_EQ(pty.Read(6), (Bytes{0xAA, 12, 0x04, 7, 0x70, 0x2E}));
    setup.maxSpeed[1] = 127;
    link.SetControllerSetup(setup);
    EXPECT_EQ(pty.Read(6), (Bytes{0xAA, 12, 0x07, 7, 20, 0}));
    ASSERT_TRUE(link.PulsesOff(reason)) << reason;
    const Bytes off = pty.Read(16 * 6);
    ASSERT_EQ(off.size(), 16u * 6);
    EXPECT_EQ(Bytes(off.begin() + 6, off.begin() + 12), (Bytes{0xAA, 12, 0x04, 7, 0, 0}));
    // The stop's "pulses off" sends the same; a limp servo's position is unknown again.
    ASSERT_TRUE(link.Live().Want(255, 1, 127, {}));
    EXPECT_EQ(pty.Read(6), (Bytes{0xAA, 12, 0x04, 7, 0x70, 0x2E}));
    EXPECT_TRUE(link.Live().Motion().Known(1));
    ASSERT_TRUE(link.Live().PulsesOff());
    EXPECT_EQ(pty.Read(16 * 6), off);
    EXPECT_FALSE(link.Live().Motion().Known(1));

    // A channel the board lacks: refused, nothing sent.
    setup.channel[2] = 30;
    link.SetControllerSetup(setup);
    EXPECT_EQ(pty.Read(6), (Bytes{0xAA, 12, 0x07, 7, 20, 0}));
    EXPECT_FALSE(link.WriteServo(255, 2, 127, reason));
    EXPECT_NE(reason.find("channels 0 to 23"), std::string::npos) << reason;
    EXPECT_TRUE(pty.Stray().empty());
    // The Mini-SSC has no such command: the stop holds instead.
    settings.Protocol = int32_t(Protocol::MiniSsc);
    link.ApplyCommSettings(settings);
    EXPECT_FALSE(link.Live().PulsesOff());
    EXPECT_TRUE(pty.Stray().empty());
    link.Close();
}

}  // namespace
