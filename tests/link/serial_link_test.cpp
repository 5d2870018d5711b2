#include "link/serial_link.h"

#include "link/pty.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <vector>

#include <termios.h>

using namespace kestrova;
using kestrova::testing::Pty;
using kestrova::testing::StoreTest;

namespace {

using Bytes = std::vector<uint8_t>;

class SerialLinkTest : public StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ASSERT_FALSE(MapPortToDevice(3, pty_.Path()).has_value());
        ASSERT_TRUE(link_.SetPortNumber(3));
    }

    void OpenLink() {
        std::string reason;
        ASSERT_TRUE(link_.Open(reason)) << reason;
    }

    termios SlaveTermios() {
        termios tio{};
        EXPECT_EQ(::tcgetattr(pty_.SlaveFd(), &tio), 0);
        return tio;
    }

    Pty pty_;
    SerialLink link_;
};

}  // namespace

TEST_F(SerialLinkTest, ServoCommandsArriveAsTheirThreeBytes) {
    OpenLink();
    EXPECT_EQ(link_.DevicePath(), pty_.Path());
    struct Case {
        int32_t synch;
        int servo;
        int32_t position;
        Bytes bytes;
    };
    const std::vector<Case> cases{
        {255, 3, 100, {255, 3, 100}},
        {0, 0, 0, {0, 0, 0}},
        {128, 10, 13, {128, 10, 13}},
        {255, 15, 255, {255, 15, 255}},
    };
    for (const Case& c : cases) {
        std::string reason;
        ASSERT_TRUE(link_.WriteServo(c.synch, c.servo, c.position, reason)) << reason;
        EXPECT_EQ(pty_.Read(3), c.bytes);
    }
}

TEST_F(SerialLinkTest, EveryByteValueArrivesUnaltered) {
    OpenLink();
    Bytes all(256);
    std::iota(all.begin(), all.end(), 0);
    std::string reason;
    ASSERT_TRUE(link_.Write(all.data(), all.size(), reason)) << reason;
    EXPECT_EQ(pty_.Read(all.size()), all);
}

TEST_F(SerialLinkTest, PositionsOutsideAByteAreNotSent) {
    OpenLink();
    for (const int32_t position : {-1, 256, 65536 + 100}) {
        std::string reason;
        EXPECT_FALSE(link_.WriteServo(255, 3, position, reason)) << position;
        EXPECT_FALSE(reason.empty());
    }
    EXPECT_EQ(pty_.Stray(), Bytes{});
}

TEST_F(SerialLinkTest, LineSettingsReachTheDevice) {
    // A pseudo-terminal always keeps 8 data bits without parity, so only
    // the speed and the stop bits can be seen on it.
    struct Case {
        const char* settings;
        speed_t speed;
        bool twoStopBits;
    };
    const std::vector<Case> cases{
        {"2400,N,8,1", B2400, false},
        {"9600,N,8,1", B9600, false},
        {"4800,E,7,2", B4800, true},
        {"19200,o,5,2", B19200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings);
        ASSERT_TRUE(link_.SetLineSettings(c.settings));
        EXPECT_EQ(link_.LineSettings(), c.settings);
        OpenLink();
        const termios tio = SlaveTermios();
        EXPECT_EQ(::cfgetospeed(&tio), c.speed);
        EXPECT_EQ((tio.c_cflag & CSTOPB) != 0, c.twoStopBits);
        link_.Close();
    }

    // An open port takes new settings at once.
    OpenLink();
    ASSERT_TRUE(link_.SetLineSettings("2400,N,8,1"));
    const termios now = SlaveTermios();
    EXPECT_EQ(::cfgetospeed(&now), B2400);
}

TEST_F(SerialLinkTest, MalformedLineSettingsAreRefused) {
    for (const char* good : {"110,M,6,1.5", "115200,S,8,2", "300,e,5,1", "2400,N,8,1"}) {
        EXPECT_TRUE(link_.SetLineSettings(good)) << good;
        EXPECT_EQ(link_.LineSettings(), good);
    }
    for (const char* bad : {"", "9600", "9600,N,8", "9600,N,8,1,", "9600,X,8,1", "9600,NN,8,1",
                            "9600,N,9,1", "9600,N,4,1", "9600,N,8,3", "9600,N,8,1.0", "fast,N,8,1",
                            "-9600,N,8,1", "0,N,8,1", " 9600,N,8,1"}) {
        EXPECT_FALSE(link_.SetLineSettings(bad)) << bad;
        EXPECT_EQ(link_.LineSettings(), "2400,N,8,1") << bad;
    }
}

TEST_F(SerialLinkTest, ApplyCommSettingsKeepsAnOpenPortOpenOnTheNewDevice) {
    Pty other;
    ASSERT_FALSE(MapPortToDevice(4, other.Path()).has_value());
    OpenLink();

    link_.ApplyCommSettings(ProjectSettings{4, 0, 0, 0, 0, 0});
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(link_.PortNumber(), 4);
    EXPECT_EQ(link_.PortName(), "COM4");
    EXPECT_EQ(link_.DevicePath(), other.Path());
    EXPECT_EQ(link_.LineSettings(), "2400,N,8,1");

    std::string reason;
    ASSERT_TRUE(link_.WriteServo(7, 1, 2, reason)) << reason;
    EXPECT_EQ(other.Read(3), (Bytes{7, 1, 2}));
    EXPECT_EQ(pty_.Stray(), Bytes{}) << "the old device gets nothing";
}

TEST_F(SerialLinkTest, ApplyCommSettingsKeepsAClosedPortClosed) {
    Pty other;
    ASSERT_FALSE(MapPortToDevice(4, other.Path()).has_value());
    link_.ApplyCommSettings(ProjectSettings{4, 1, 0, 0, 0, 0});
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(link_.PortNumber(), 4);
    EXPECT_EQ(link_.DevicePath(), other.Path());
    EXPECT_EQ(link_.LineSettings(), "9600,N,8,1");
}

TEST_F(SerialLinkTest, ApplyCommSettingsSkipsWhatCannotBeApplied) {
    link_.ApplyCommSettings(ProjectSettings{3, 0, 0, 0, 0, 0});
    ASSERT_EQ(link_.LineSettings(), "2400,N,8,1");

    struct Case {
        int32_t port;
        int32_t baud;
        int32_t expectedPort;
    };
    // Baud indexes other than 0 and 1 leave the line settings; a port
    // number the port refuses leaves the port number.
    for (const Case& c : std::vector<Case>{{5, 5, 5}, {6, -1, 6}, {0, 2, 6}, {-4, 1, 6}}) {
        link_.ApplyCommSettings(ProjectSettings{c.port, c.baud, 0, 0, 0, 0});
        EXPECT_EQ(link_.PortNumber(), c.expectedPort) << c.port;
        EXPECT_EQ(link_.LineSettings(), c.baud == 1 ? "9600,N,8,1" : "2400,N,8,1") << c.baud;
    }
}

TEST_F(SerialLinkTest, ApplyCommSettingsThatCannotReopenLeavesThePortClosedSilently) {
    OpenLink();
    ASSERT_FALSE(MapPortToDevice(9, StoreDir() + "/no-such-device").has_value());
    link_.ApplyCommSettings(ProjectSettings{9, 1, 0, 0, 0, 0});
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(link_.PortNumber(), 9);
}

TEST_F(SerialLinkTest, PortNumberCannotChangeWhileOpen) {
    OpenLink();
    EXPECT_FALSE(link_.SetPortNumber(4));
    EXPECT_EQ(link_.PortNumber(), 3);
    std::string reason;
    EXPECT_TRUE(link_.Open(reason)) << "opening an open port keeps it open";
    link_.Close();
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_TRUE(link_.SetPortNumber(4));
}

TEST_F(SerialLinkTest, OpenFailuresCarryTheOperatingSystemsReason) {
    const std::string regularFile = StoreDir() + "/plain-file";
    std::ofstream(regularFile) << "not a terminal";
    const std::string folder = StoreDir() + "/a-folder";
    std::filesystem::create_directory(folder);

    struct Case {
        std::string device;
        const char* reason;
    };
    const std::vector<Case> cases{
        {StoreDir() + "/missing/ttyX", "No such file or directory"},
        {regularFile, "Inappropriate ioctl for device"},
        {folder, "Is a directory"},
    };
    for (const Case& c : cases) {
        ASSERT_FALSE(MapPortToDevice(3, c.device).has_value());
        std::string reason;
        EXPECT_FALSE(link_.Open(reason)) << c.device;
        EXPECT_EQ(reason, c.reason) << c.device;
        EXPECT_FALSE(link_.IsOpen());
    }
}

TEST_F(SerialLinkTest, WritesFailWithAReasonOnceTheLineIsGone) {
    std::string reason;
    EXPECT_FALSE(link_.Write(reinterpret_cast<const uint8_t*>("abc"), 3, reason));
    EXPECT_EQ(reason, "The port is not open");

    OpenLink();
    pty_.CloseSlave();
    pty_.CloseMaster();  // hangs the line up
    reason.clear();
    EXPECT_FALSE(link_.WriteServo(255, 3, 100, reason));
    EXPECT_EQ(reason, "Input/output error");
    link_.Close();
    EXPECT_FALSE(link_.IsOpen());
}

TEST_F(SerialLinkTest, PortsMapThroughTheTableOrToThePlatformDevice) {
    EXPECT_EQ(DeviceForPort(3), pty_.Path());
    EXPECT_EQ(link_.DevicePath(), pty_.Path());

    // Without an entry: a USB or ACM adapter of that index when there is
    // one, otherwise the built-in port.
    ASSERT_FALSE(MapPortToDevice(3, "").has_value());
    for (const int32_t n : {1, 3, 16, 200}) {
        const std::string index = std::to_string(n - 1);
        std::string expected = "/dev/ttyS" + index;
        if (std::filesystem::exists("/dev/ttyACM" + index)) expected = "/dev/ttyACM" + index;
        if (std::filesystem::exists("/dev/ttyUSB" + index)) expected = "/dev/ttyUSB" + index;
        EXPECT_EQ(DeviceForPort(n), expected) << n;
    }
}

TEST(LineSettingsForBaudRate, OnlyTheTwoListedSpeeds) {
    EXPECT_EQ(LineSettingsForBaudRate(0), "2400,N,8,1");
    EXPECT_EQ(LineSettingsForBaudRate(1), "9600,N,8,1");
    for (const int32_t other : {-1, 2, 5, 9600}) EXPECT_FALSE(LineSettingsForBaudRate(other)) << other;
}
