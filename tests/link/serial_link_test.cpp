#include "link/serial_link.h"

#include "link/pty.h"
#include "support/isolated_store.h"

#include <gtest/gtest.h>

#include <map>

#include <fstream>
#include <numeric>

#include <termios.h>

using namespace kestrova;
using Bytes = std::vector<uint8_t>;

namespace {

class SerialLinkTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        ports_[3] = pty_.Path();
        ASSERT_TRUE(link_.SetPortNumber(3));
    }
    void Open() {
        std::string reason;
        ASSERT_TRUE(link_.Open(reason)) << reason;
    }
    static speed_t SlaveSpeed(const kestrova::testing::Pty& pty, bool* twoStopBits = nullptr) {
        termios tio{};
        EXPECT_EQ(::tcgetattr(pty.SlaveFd(), &tio), 0);
        if (twoStopBits) *twoStopBits = (tio.c_cflag & CSTOPB) != 0;
        return ::cfgetospeed(&tio);
    }

    kestrova::testing::Pty pty_;
    std::map<int32_t, std::string> ports_;  // the port table
    SerialLink link_{[this](int32_t n) { return ports_[n]; }};
    std::string reason_;
};

}  // namespace

TEST_F(SerialLinkTest, BytesArriveUnalteredAndWhatDoesNotFitIsNotSent) {
    Open();
    ASSERT_TRUE(link_.WriteServo(255, 3, 100, reason_)) << reason_;
    ASSERT_TRUE(link_.WriteServo(0, 0, 0, reason_)) << reason_;
    EXPECT_EQ(pty_.Read(6), (Bytes{255, 3, 100, 0, 0, 0}));

    Bytes all(256);  // 10, 13, 17, 19 and 128 to 255 among them
    std::iota(all.begin(), all.end(), 0);
    ASSERT_TRUE(link_.Write(all.data(), all.size(), reason_)) << reason_;
    EXPECT_EQ(pty_.Read(all.size()), all);

    const int32_t refused[][3] = {{255, 3, -1}, {255, 3, 256}, {0, 16, 0}, {0, -1, 0}, {256, 0, 0}};
    for (const auto& [synch, servo, position] : refused)
        EXPECT_FALSE(link_.WriteServo(synch, servo, position, reason_)) << synch << servo << position;
    EXPECT_EQ(pty_.Stray(), Bytes{});
}

TEST_F(SerialLinkTest, LineSettingsAreParsedAndReachTheDevice) {
    // A pseudo-terminal always keeps 8 data bits without parity; the speed
    // and the stop bits show.
    bool twoStopBits = false;
    ASSERT_TRUE(link_.SetLineSettings("4800,E,7,2"));
    Open();
    EXPECT_EQ(SlaveSpeed(pty_, &twoStopBits), B4800);
    EXPECT_TRUE(twoStopBits);
    ASSERT_TRUE(link_.SetLineSettings("2400,N,8,1"));
    EXPECT_EQ(SlaveSpeed(pty_, &twoStopBits), B2400) << "an open port takes new settings at once";
    EXPECT_FALSE(twoStopBits);

    EXPECT_TRUE(link_.SetLineSettings("110,m,6,1.5"));
    for (const char* bad : {"", "9600,N,8", "9600,N,8,1,", "9600,X,8,1", "9600,N,4,1", "9600,N,8,3",
                            "-9600,N,8,1"})
        EXPECT_FALSE(link_.SetLineSettings(bad)) << bad;
    EXPECT_EQ(link_.LineSettings(), "110,m,6,1.5");
}

TEST_F(SerialLinkTest, ApplyCommSettingsKeepsTheOpenStateOnTheNewPort) {
    kestrova::testing::Pty other;
    ports_[4] = other.Path();
    Open();
    link_.ApplyCommSettings(ProjectSettings{4, 0, 0, 0, 0, 0});
    EXPECT_TRUE(link_.IsOpen());
    EXPECT_EQ(link_.PortName(), "COM4");
    EXPECT_EQ(link_.DevicePath(), other.Path());
    EXPECT_EQ(SlaveSpeed(other), B2400);
    ASSERT_TRUE(link_.WriteServo(7, 1, 2, reason_)) << reason_;
    EXPECT_EQ(other.Read(3), (Bytes{7, 1, 2}));
    EXPECT_EQ(pty_.Stray(), Bytes{});

    // Closed stays closed; a baud index other than 0 or 1 leaves the line
    // settings, a port number the port refuses leaves the number.
    link_.Close();
    const std::tuple<int32_t, int32_t, int32_t, const char*> cases[] = {
        {3, 1, 3, "9600,N,8,1"}, {5, 5, 5, "9600,N,8,1"}, {0, 0, 5, "2400,N,8,1"}};
    for (const auto& [port, baud, expectedPort, line] : cases) {
        link_.ApplyCommSettings(ProjectSettings{port, baud, 0, 0, 0, 0});
        EXPECT_FALSE(link_.IsOpen());
        EXPECT_EQ(link_.PortNumber(), expectedPort);
        EXPECT_EQ(link_.LineSettings(), line) << port << "," << baud;
    }

    // An override wins over the table until it is emptied.
    link_.ApplyCommSettings(ProjectSettings{3, 0, 0, 0, 0, 0});
    link_.SetDeviceOverride(other.Path());
    EXPECT_EQ(link_.DevicePath(), other.Path());
    link_.SetDeviceOverride("");
    EXPECT_EQ(link_.DevicePath(), pty_.Path());

    // An open port whose new device cannot be opened ends closed, silently.
    Open();
    ports_[9] = dir_ + "/no-such-device";
    link_.ApplyCommSettings(ProjectSettings{9, 1, 0, 0, 0, 0});
    EXPECT_FALSE(link_.IsOpen());
    EXPECT_EQ(link_.PortNumber(), 9);
}

TEST_F(SerialLinkTest, SettingsTheLinkCannotUseAreNamedAndNothingIsSent) {
    for (const auto& [port, baud, synch, words] :
         {std::tuple{99999, 1, 0, "(COMPort) is 99999"}, {-1, 1, 0, "(COMPort) is -1"}, {3, 1, 999, "(SynchByte) is 999"},
          {3, 1, -1, "(SynchByte) is -1"}, {3, 7, 0, "(BaudRate) is 7"}, {3, -1, 0, "(BaudRate) is -1"}}) {
        link_.ApplyCommSettings(ProjectSettings{1, 1, 0, 0, 0, 0});
        link_.ApplyCommSettings(ProjectSettings{port, baud, synch, 0, 0, 0});
        EXPECT_FALSE(link_.Open(reason_)) << words;
        EXPECT_NE(reason_.find(words), std::string::npos) << reason_;
        EXPECT_EQ(link_.FailureMessage(reason_), reason_) << "not blamed on a port";
    }
    // Usable settings open the port again.
    link_.ApplyCommSettings(ProjectSettings{3, 1, 0, 0, 0, 0});
    Open();
    EXPECT_EQ(pty_.Stray(), Bytes{});
}

TEST_F(SerialLinkTest, FailuresCarryTheOperatingSystemsReason) {
    EXPECT_FALSE(link_.WriteServo(1, 2, 3, reason_));
    EXPECT_EQ(reason_, "The port is not open");

    std::ofstream(dir_ + "/plain-file") << "not a terminal";
    const std::pair<std::string, const char*> devices[] = {
        {dir_ + "/plain-file", "Inappropriate ioctl for device"}, {dir_, "Is a directory"}};
    for (const auto& [device, expected] : devices) {
        ports_[5] = device;
        link_.SetPortNumber(5);
        EXPECT_FALSE(link_.Open(reason_));
        EXPECT_EQ(reason_, expected);
        EXPECT_FALSE(link_.IsOpen());
    }

    link_.SetPortNumber(3);
    Open();
    SerialLink second([this](int32_t n) { return ports_[n]; });
    second.SetPortNumber(3);
    EXPECT_FALSE(second.Open(reason_));
    EXPECT_EQ(reason_, "Device or resource busy");
    EXPECT_EQ(second.FailureMessage(reason_), "COM3 (" + pty_.Path() + ") - Device or resource busy");
    EXPECT_FALSE(link_.SetPortNumber(4)) << "not while open";
    pty_.HangUp();
    EXPECT_FALSE(link_.WriteServo(255, 3, 100, reason_));
    EXPECT_EQ(reason_, "Input/output error");
}
