#include "files/kva_reader.h"

#include "core/messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

namespace kestrova {
namespace {

const std::string kSevere = "Severe Load Problem: The animation had severe problems and could not be loaded! [critical]";

std::string Repair(int servo, const std::string& key, const std::string& value) {
    return "Invalid " + key + " Value: Servo #" + std::to_string(servo) + " had an invalid \"" + key +
           "\" value.  It will be set to " + value + ".";
}

struct Loaded {
    Project project;
    LoadResult result;
    std::vector<std::string> messages;  // "title: text", marked unless the icon is information
};

// Loads text into a new project with a program, a cue and a flag of its own.
std::unique_ptr<Loaded> Load(std::string_view text) {
    auto loaded = std::make_unique<Loaded>();
    Project& project = loaded->project;
    StartNewProject(project);
    project.Programs[0] = "Wait 1\r\n";
    project.Servos[0].Used = true;
    project.WavCues.push_back(WavCue{1, 2, "old.wav"});
    project.bNeedToSave = true;
    loaded->result = LoadFile(text, project);
    for (const Message& m : loaded->result.messages) {
        EXPECT_EQ(m.buttons, MessageButtons::Ok);
        const char* icon = m.icon == MessageIcon::Critical ? " [critical]" : m.icon == MessageIcon::Information ? "" : " [?]";
        loaded->messages.push_back(m.title + ": " + m.text + icon);
    }
    return loaded;
}

TEST(LoadFileTest, ServoValuesAreValidatedAndRepaired) {
    enum Field { Home, Min, Max, Enabled, MaxSpeed, MaxAccel };
    const struct {
        const char* line;
        int servo;  // index
        Field field;
        int32_t value;
        std::vector<std::string> messages;
    } cases[] = {
        {"Servo2.Home=abc", 1, Home, 127, {Repair(2, "Home", "127")}},
        {"Servo02.Home= 5", 1, Home, 127, {Repair(2, "Home", "127")}},
        {"Servo2.Home=25e-1", 1, Home, 2, {}},  // halves round to even
        {"Servo3.Min=-5", 2, Min, -5, {}},
        {"Servo3.Min=x", 2, Min, 0, {Repair(3, "Min", "0")}},
        {"Servo16.Max=3.0", 15, Max, 254, {Repair(16, "Max", "254")}},
        {"Servo16.Max=2147483648", 15, Max, 254, {Repair(16, "Max", "254")}},
        {"Servo4.Enabled=true", 3, Enabled, 1, {Repair(4, "Enabled", "True")}},
        {"Servo4.Enabled=True\r\nServo4.Enabled=False", 3, Enabled, 0, {}},
        {"Servo5.MaxSpeed=120", 4, MaxSpeed, 120, {}},
        {"Servo5.MaxAccel= 400 ", 4, MaxAccel, 400, {}},
        {"Servo5.MaxSpeed=-3", 4, MaxSpeed, 0, {Repair(5, "MaxSpeed", "0")}},
        {"Servo5.MaxAccel=fast", 4, MaxAccel, 0, {Repair(5, "MaxAccel", "0")}},
        {"Servo5.MaxAccel=1e9", 4, MaxAccel, 0, {Repair(5, "MaxAccel", "0")}},
        {"Servo5.MaxSpeed=100001", 4, MaxSpeed, 0, {Repair(5, "MaxSpeed", "0")}},
        {"Servo5.MaxSpeed=2.5", 4, MaxSpeed, 0, {Repair(5, "MaxSpeed", "0")}},
        // Inverted limits stay as written, with a word naming the servo.
        {"Servo14.Min=200\r\nServo14.Max=100", 13, Min, 200,
         {"Invalid Limits: Servo #14 has its Min (200) above its Max (100).  Its slider sends nothing until the "
          "limits are mended in Servo Settings. [?]"}},
        {"Servo14.Min=254\r\nServo14.Max=254", 13, Max, 254, {}},
    };
    for (const auto& c : cases) {
        const auto loaded = Load(c.line);
        ASSERT_TRUE(loaded->result.ok) << c.line;
        EXPECT_EQ(loaded->messages, c.messages) << c.line;
        const ServoRecord& servo = loaded->project.Servos[c.servo];
        const int32_t values[] = {servo.Home, servo.Min, servo.Max, servo.Enabled, servo.MaxSpeed, servo.MaxAccel};
        EXPECT_EQ(values[c.field], c.value) << c.line;
    }
}

TEST(LoadFileTest, ManyRepairsEndInOneSummary) {
    std::string text;
    for (int i = 0; i < 1000; ++i) text += "Servo" + std::to_string(i % 16 + 1) + ".Home=x\r\n";
    text += "Servo1.Program=[Wait 1";
    for (const bool severe : {false, true}) {
        const auto loaded = Load(severe ? text : text + "]");
        ASSERT_EQ(loaded->messages.size(), severe ? 7u : 6u);
        EXPECT_EQ(loaded->messages[4], Repair(5, "Home", "127"));
        EXPECT_EQ(loaded->messages[5],
                  "Load Repairs: \u2026 and 995 more problems of the file were repaired in the same way.");
        EXPECT_EQ(loaded->result.ok, !severe);
    }
}

TEST(LoadFileTest, NamesAndPrograms) {
    const struct {
        const char* text;
        int servo;  // index
        const char* name;  // null: the new-project name
        const char* program;
    } cases[] = {
        {"Servo1.Program=[Wait 5]", 0, nullptr, "Wait 5\r\n"},
        {"Servo1.Program=[]", 0, nullptr, ""},
        {"Servo1.Program=[a]]", 0, nullptr, "a]\r\n"},
        {"Servo1.Program=[\r\n]", 0, nullptr, "\r\n"},
        {"Servo3.Program=[Mov 200, 10\rWait 5\r]\r", 2, nullptr, "Mov 200, 10\r\nWait 5\r\n"},
        {"Servo3.Program=[a\r\nb\nc\n\r]\r\n", 2, nullptr, "a\r\nb\r\nc\r\n\r\n"},
        {"Servo1.Program=[x\r\n1234567\r\n]", 0, nullptr, "x\r\n1234567\r\n"},  // CR LF across 8 bytes
        {"Servo1.Program=[x\r\n1234567\r\r\n]", 0, nullptr, "x\r\n1234567\r\n\r\n"},
        {"Servo1.Program=[ a]b\r\n ]\r\n\r\n]", 0, nullptr, " a]b\r\n ]\r\n\r\n"},
        {"Servo1.Program=[a\r\n]\r\nServo1.Name=X\r\n]", 0, "X", "a\r\n"},  // "]" ends the block
        {"Servo1.Program=[a]\r\nServo1.Program=[b]", 0, nullptr, "b\r\n"},
        {"Servo1.Program=[x.Name=y\r\nWait 5\r\n]", 0, nullptr, "x.Name=y\r\nWait 5\r\n"},  // the key is Program
        {"Servo1.Program=[' .Max=160\r\n]", 0, nullptr, "' .Max=160\r\n"},
        {"Servo16.Name=a=b [c]", 15, "a=b [c]", ""},
        {"Servo1.\xC3\xA9.Name=x", 0, "e=x", ""},  // positions count characters
        {"Servo+1.Name=x", 0, "x", ""},
        {"Servo15e-1.Name=x", 1, "x", ""},
    };
    for (const auto& c : cases) {
        const auto loaded = Load(c.text);
        ASSERT_TRUE(loaded->result.ok) << c.text;
        EXPECT_TRUE(loaded->messages.empty()) << c.text;
        EXPECT_EQ(loaded->project.Servos[c.servo].Name, c.name ? c.name : "Servo " + std::to_string(c.servo + 1)) << c.text;
        EXPECT_EQ(loaded->project.Programs[c.servo], c.program) << c.text;
    }
}

TEST(LoadFileTest, LinesWithoutUseChangeNothing) {
    for (const char* line :
         {"Servo0.Name=x", "Servo17.Home=abc", "Servoabc.Home=1", "Servo.Name=x", "Servo1e-1.Name=x",
          "Servo17.Program=[a", "servo1.Name=x", "Servo1.name=x", "Servo1.Program=x", "Servo1 Name=x", "WAV0.Start=1",
          "WAV10001.Start=1", "WAVabc.Start=1", "WAV2.Start=abc", "WAV2.End=", "WAV2.Path", "WAV2.Bogus=1",
          "Settings.COMPort=abc", "Settings.COMPort", "Settings.Bogus=5", "settings.COMPort=3", "Any other line", "]",
          "\r\n\r\n", ""}) {
        // Alone, such a line is no project file: refused, nothing changed.
        const auto alone = Load(line);
        EXPECT_FALSE(alone->result.ok) << line;
        EXPECT_TRUE(alone->result.notAnimation) << line;
        EXPECT_EQ(alone->project.Programs[0], "Wait 1\r\n") << line;
        EXPECT_EQ(UpperBound(alone->project.WavCues), 1) << line;

        const auto loaded = Load(std::string("KVSL=1.0\r\n") + line);
        ASSERT_TRUE(loaded->result.ok) << line;
        EXPECT_TRUE(loaded->messages.empty()) << line;
        EXPECT_EQ(loaded->project.Servos, NewProjectServos()) << line;
        EXPECT_EQ(loaded->project.Programs, decltype(Project::Programs){}) << line;
        EXPECT_EQ(UpperBound(loaded->project.WavCues), 0) << line;
        EXPECT_EQ(loaded->project.Settings, ProjectSettings{}) << line;
        EXPECT_TRUE(loaded->project.bNeedToSave);  // flags are the caller's
    }
}

TEST(LoadFileTest, ProgramWithoutClosingLineLeavesProjectAsItWas) {
    for (const char* text : {"Servo1.Program=[Wait 5", "Servo1.Program=[Wait 5\r\n", "Servo2.Program=[\r\n]x\r\n",
                             "Servo1.Name=New\r\nServo2.Home=1\r\nServo2.Program=[a\n] \n"}) {
        const auto loaded = Load(text);
        EXPECT_FALSE(loaded->result.ok) << text;
        ASSERT_FALSE(loaded->messages.empty()) << text;
        EXPECT_EQ(loaded->messages.back(), kSevere);
        const Project& project = loaded->project;
        EXPECT_EQ(project.Servos[0].Name, "Servo 1");
        EXPECT_EQ(project.Servos[1].Home, 127);
        EXPECT_EQ(project.Programs[0], "Wait 1\r\n");
        EXPECT_EQ(UpperBound(project.WavCues), 1);
    }
    // Settings read before the problem stay; repairs before it were shown.
    const auto loaded = Load("Settings.COMPort=3\r\nServo2.Home=x\r\nServo2.Program=[a\n] \nSettings.BaudRate=1\r\n");
    EXPECT_EQ(loaded->messages, (std::vector<std::string>{Repair(2, "Home", "127"), kSevere}));
    EXPECT_EQ(loaded->project.Settings.COMPort, 3);
    EXPECT_EQ(loaded->project.Settings.BaudRate, 0);  // inside the unfinished block
}

TEST(LoadFileTest, VersionLine) {
    const std::string conflict =
        "KVSL Version Conflict: This file was saved using a different version of the Kestrova Servo Language.\r\n"
        "The animation may not work correctly.";
    const struct {
        const char* text;
        std::vector<std::string> messages;
    } cases[] = {{"KVSL=1.0", {}}, {"Servo1.Name=a", {}}, {"KVSL=2.0\r\nServo1.Name=a", {conflict}},
                 {"KVSL", {conflict}}, {"KVSL=1.0 ", {conflict}}, {"KVSL=2.0\nKVSL=3.0", {conflict, conflict}}};
    for (const auto& c : cases) {
        const auto loaded = Load(c.text);
        EXPECT_TRUE(loaded->result.ok) << c.text;
        EXPECT_EQ(loaded->messages, c.messages) << c.text;
        EXPECT_FALSE(loaded->project.Servos[0].Used);
    }
}

TEST(LoadFileTest, SettingsAndWavCues) {
    const auto loaded = Load(
        "Settings.AutoDisable=1\r\nSettings.BaudRate=1\r\nSettings.COMPort=9\r\nSettings.SSCMode=1\r\n"
        "Settings.SynchByte=255\r\nSettings.SystemPriority=2\r\nSettings.COMPort=2.5\r\n"
        "WAV1.Start=10\r\nWAV1.End=-20\r\nWAV1.Path=C:\\a=b.wav\r\nWAV3.Path=x");
    EXPECT_EQ(loaded->project.Settings, (ProjectSettings{2, 1, 255, 1, 2, 1}));
    EXPECT_EQ(loaded->project.WavCues, (WavCueList{{}, {10, -20, "C:\\a=b.wav"}, {}, {0, 0, "x"}}));
    EXPECT_EQ(UpperBound(Load("WAV10000.Start=1")->project.WavCues), 10000);
}

TEST(LoadFileTest, ProgramSourcesPointAtFirstProgramCharacter) {
    const auto loaded = Load(
        "KVSL=1.0\r\n\r\nServo2.Program=[a\r\nb\r\nc\r\n]\nServo10.Program=[]\r"
        "Servo1.\xC3\xA9.x.Program=[z\nq\r\n]\r\nServo4.Program=[\r\n]");
    ASSERT_TRUE(loaded->result.ok);
    std::array<ProgramSource, kServoCount> expected{};
    expected[1] = {3, 17};
    expected[9] = {7, 18};
    expected[0] = {8, 17};  // in characters: "é" is two bytes
    expected[3] = {11, 17};
    EXPECT_EQ(loaded->result.programSources, expected);
    EXPECT_EQ(loaded->project.Programs[0], "am=[z\r\nq\r\n");
}

// Random files built from the same lines, once with CR LF and once with LF
// line ends, read the same way (CR LF blocks take a faster road).
TEST(LoadFileTest, LineEndsDoNotChangeTheResult) {
    const char* const pieces[] = {"Servo1.Program=[a", "Servo2.Program=[]", "Servo3.Program=[", "]", " ]", "x]",
                                  "]]", "Mov 1, 2", "", "Servo1.Name=n", "1234567", "' comment [1]"};
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::string> lines(random() % 24);
        for (std::string& line : lines) line = pieces[random() % std::size(pieces)];
        const bool finalBreak = random() % 2 == 0;
        std::string texts[2];
        for (int kind = 0; kind < 2; ++kind) {
            for (size_t i = 0; i < lines.size(); ++i) {
                texts[kind] += lines[i];
                if (i + 1 < lines.size() || finalBreak) texts[kind] += kind == 0 ? "\r\n" : "\n";
            }
        }
        const auto crLf = Load(texts[0]);
        const auto lf = Load(texts[1]);
        ASSERT_EQ(crLf->result.ok, lf->result.ok) << texts[0];
        EXPECT_EQ(crLf->messages, lf->messages) << texts[0];
        EXPECT_EQ(crLf->project.Programs, lf->project.Programs) << texts[0];
        EXPECT_EQ(crLf->project.Servos, lf->project.Servos) << texts[0];
        EXPECT_EQ(crLf->result.programSources, lf->result.programSources) << texts[0];
    }
}

}  // namespace
}  // namespace kestrova
