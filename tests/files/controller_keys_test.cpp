// The controller keys of a project file: kept when read and written, left
// out at their defaults, and bad values repaired or reported.
#include "files/kva_reader.h"
#include "files/kva_writer.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace kestrova;

namespace {

std::string FileWith(const std::string& settings, const std::string& servo1) {
    Project project;
    StartNewProject(project);
    std::string text = SaveText(project);
    text.insert(text.find("Settings.SSCMode="), settings);
    text.insert(text.find("Servo1.Program=["), servo1);
    return text;
}

TEST(ControllerKeys, ValuesSurviveAWriteAndDefaultsAreNotWritten) {
    Project project;
    StartNewProject(project);
    const std::string plain = SaveText(project);
    for (const char* key : {"Protocol", "Pulse", "Channel"}) EXPECT_EQ(plain.find(key), std::string::npos) << key;

    const std::string text = FileWith("Settings.DeviceNumber=5\r\nSettings.Protocol=2\r\n",
                                      "Servo1.PulseMin=550\r\nServo1.PulseMax=2450\r\nServo1.Channel=9\r\n");
    Project read;
    const LoadResult result = LoadFile(text, read);
    ASSERT_TRUE(result.ok);
    EXPECT_TRUE(result.messages.empty());
    EXPECT_EQ(std::tuple(read.Settings.Protocol, read.Settings.DeviceNumber, read.Servos[0].PulseMin,
                         read.Servos[0].PulseMax, read.Servos[0].Channel), std::tuple(2, 5, 550, 2450, 9));
    EXPECT_EQ(SaveText(read), text);

    // A channel that is the servo's own is its default.
    Project own;
    ASSERT_TRUE(LoadFile(FileWith("", "Servo1.Channel=0\r\n"), own).ok);
    EXPECT_EQ(SaveText(own), plain);
}

TEST(ControllerKeys, BadValuesAreRepairedWithAMessageAndAnUnknownProtocolIsKept) {
    struct Case {
        std::string settings, servo1;
        const char* message;
        int32_t pulseMin, pulseMax, channel, protocol, device;
    } cases[] = {
        {"", "Servo1.PulseMin=300\r\n", "\"PulseMin\" value.  It will be set to 1000.", 1000, 2000, -1, 0, 12},
        {"", "Servo1.PulseMax=2700\r\n", "\"PulseMax\" value.  It will be set to 2000.", 1000, 2000, -1, 0, 12},
        {"", "Servo1.PulseMin=1500.5\r\n", "\"PulseMin\" value", 1000, 2000, -1, 0, 12},
        {"", "Servo1.PulseMin=1800\r\nServo1.PulseMax=1200\r\n", "runs backwards", 1000, 2000, -1, 0, 12},
        {"", "Servo1.Channel=32\r\n", "\"Channel\" value.  It will be set to 0.", 1000, 2000, -1, 0, 12},
        {"", "Servo1.Channel=x\r\n", "\"Channel\" value", 1000, 2000, -1, 0, 12},
        {"Settings.DeviceNumber=128\r\n", "", "\"DeviceNumber\" value.  It will be set to 12.", 1000, 2000, -1, 0, 12},
        {"Settings.Protocol=7\r\n", "", "controller protocol 7, which this version does not know", 1000, 2000, -1, 7, 12},
    };
    for (const Case& c : cases) {
        Project read;
        const LoadResult result = LoadFile(FileWith(c.settings, c.servo1), read);
        ASSERT_TRUE(result.ok) << c.message;
        ASSERT_EQ(result.messages.size(), 1u) << c.message;
        EXPECT_NE(result.messages[0].text.find(c.message), std::string::npos) << result.messages[0].text;
        EXPECT_EQ(std::tuple(read.Servos[0].PulseMin, read.Servos[0].PulseMax, read.Servos[0].Channel, read.Settings.Protocol,
                             read.Settings.DeviceNumber), std::tuple(c.pulseMin, c.pulseMax, c.channel, c.protocol, c.device))
            << c.message;
    }
}

}  // namespace
