// The Mini-SSC decoder, the controller at the line's rate, and the link's
// virtual device.
#include "link/mini_ssc_decoder.h"
#include "link/serial_link.h"
#include "link/virtual_controller.h"
#include "link/pty.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kestrova;

namespace {

// "servo:position" for each command, "?b,b" for the bytes lost.
struct Transcript : MiniSscDecoder::Listener {
    std::string text;
    void Command(const DecodedCommand& c) override {
        text += std::to_string(c.servo) + ":" + std::to_string(c.position) + " ";
    }
    void NotUnderstood(const uint8_t* bytes, size_t count, uint64_t) override {
        text += "?";
        for (size_t i = 0; i < count; ++i) text += (i ? "," : "") + std::to_string(bytes[i]);
        text += " ";
    }
};

TEST(MiniSscDecoder, ReadsCommandsAndResynchronises) {
    struct Case {
        uint8_t synch;
        std::vector<uint8_t> bytes;
        const char* expected;
    };
    const Case cases[] = {
        {255, {255, 3, 100, 255, 15, 0}, "3:100 15:0 "},
        {255, {7, 8, 255, 3, 100}, "?7 ?8 3:100 "},
        {255, {255, 3, 255, 4, 50}, "?255,3 4:50 "},          // a command cut short
        {255, {255, 255, 3, 100}, "?255 3:100 "},           // a doubled synch byte
        {255, {255, 20, 255, 1, 9}, "?255,20 1:9 "},           // no servo of this controller
        {0, {0, 0, 0, 0, 15, 0}, "0:0 15:0 "},             // synch byte as servo and position
        {5, {5, 5, 5, 5, 200, 5, 1, 2}, "5:5 ?5,200 1:2 "},
        {128, {255, 3, 100, 128, 2, 7}, "?255 ?3 ?100 2:7 "},  // another program's synch byte
        {200, {200, 200, 1, 200}, "?200 1:200 "},
    };
    for (const Case& c : cases) {
        // The same reading whichever way the bytes are split into writes.
        for (size_t split = 0; split <= c.bytes.size(); ++split) {
            MiniSscDecoder decoder(c.synch);
            Transcript t;
            decoder.Feed(c.bytes.data(), split, t);
            decoder.Feed(c.bytes.data() + split, c.bytes.size() - split, t);
            EXPECT_EQ(t.text, c.expected) << "synch " << int(c.synch) << ", split at " << split;
            EXPECT_EQ(decoder.BytesRead(), c.bytes.size());
        }
    }
}

TEST(VirtualController, BytesArriveAtTheLinesRateAndAFullBufferMakesWritersWait) {
    double now = 0;
    VirtualController controller([&] { return now; });
    controller.SetLine(9600, 10);  // 960 bytes a second
    const double byte = 1.0 / 960;
    const uint8_t two[] = {255, 3, 100, 255, 4, 50};
    controller.Write(two, 6);
    EXPECT_DOUBLE_EQ(controller.Backlog(), 6 * byte);

    now = 2.5 * byte;
    EXPECT_EQ(controller.State().position[3], -1) << "two bytes in, the command is not complete";
    now = 3 * byte;
    ControllerState s = controller.State();
    EXPECT_EQ(s.position[3], 100);
    EXPECT_EQ(s.position[4], -1);
    const uint64_t generation = s.generation;
    EXPECT_EQ(controller.State().generation, generation) << "nothing new arrived";

    // A write while bytes are on their way queues behind them.
    controller.Write(two, 3);
    now = 8 * byte;
    EXPECT_EQ(controller.State().commands, 2u);
    now = 9 * byte;
    EXPECT_EQ(controller.State().commands, 3u);
    EXPECT_GT(controller.State().generation, generation);

    // A full line buffer makes writers wait.
    now = 0;
    VirtualController slow([&] { return now; });
    slow.SetLine(2400, 10);
    const std::vector<uint8_t> bytes(VirtualController::kLineBufferBytes, 0);
    EXPECT_EQ(slow.WaitBeforeWrite(bytes.size()), 0.0);
    slow.Write(bytes.data(), bytes.size());
    EXPECT_DOUBLE_EQ(slow.WaitBeforeWrite(3), 3 / 240.0);
    now = 1.0;  // 240 bytes have left
    EXPECT_EQ(slow.WaitBeforeWrite(240), 0.0);
    EXPECT_GT(slow.WaitBeforeWrite(241), 0.0);
}

class VirtualLink : public kestrova::testing::StoreTest {};

TEST_F(VirtualLink, OpensWithoutHardwareAndFollowsTheLineSettings) {
    double now = 0;
    SerialLink link([](int32_t n) { return n == 3 ? std::string(kVirtualControllerDevice) : std::string(); });
    link.Controller().SetClock([&] { return now; });
    ProjectSettings settings;
    settings.COMPort = 3;
    settings.BaudRate = 0;
    settings.SynchByte = 7;
    link.ApplyCommSettings(settings);
    std::string reason;
    ASSERT_TRUE(link.Open(reason)) << reason;
    EXPECT_TRUE(link.IsVirtual());
    EXPECT_EQ(link.DevicePath(), kVirtualControllerDevice);

    ASSERT_TRUE(link.WriteServo(7, 3, 200, reason));
    ASSERT_TRUE(link.SetLineSettings("2400,E,7,2"));  // 11 bits a byte from now on
    ASSERT_TRUE(link.WriteServo(7, 4, 10, reason));
    now = 3 * 10 / 2400.0;
    EXPECT_EQ(link.Controller().State().position[3], 200);
    EXPECT_DOUBLE_EQ(link.Controller().Backlog(), 3 * 11 / 2400.0);

    link.Close();
    EXPECT_FALSE(link.IsOpen());
    EXPECT_FALSE(link.WriteServo(7, 3, 1, reason));
    EXPECT_EQ(link.Controller().Settle().position[4], 10) << "what was on its way still arrives";

    // A real port: the controller model hears the same bytes the device gets.
    kestrova::testing::Pty pty;
    link.SetDeviceOverride(pty.Path());
    ASSERT_TRUE(link.Open(reason)) << reason;
    EXPECT_FALSE(link.IsVirtual());
    ASSERT_TRUE(link.WriteServo(7, 9, 33, reason));
    EXPECT_EQ(pty.Read(3), (std::vector<uint8_t>{7, 9, 33}));
    EXPECT_EQ(link.Controller().Settle().position[9], 33);
}

}  // namespace
