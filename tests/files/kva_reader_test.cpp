#include "files/kva_reader.h"

#include "core/messages.h"

#include <gtest/gtest.h>

#include <memory>
#include <ostream>
#include <random>
#include <string>
#include <vector>

namespace kestrova {
namespace {

const char* const kSevere = "Severe Load Problem: The animation had severe problems and could not be loaded! [critical]";

std::string Describe(const Message& m) {
    const char* icon = m.icon == MessageIcon::Information ? "" : m.icon == MessageIcon::Critical ? " [critical]" : " [?]";
    return m.title + ": " + m.text + icon + (m.buttons == MessageButtons::Ok ? "" : " [buttons?]");
}

std::string Repair(int servo, const std::string& key, const std::string& value) {
    return "Invalid " + key + " Value: Servo #" + std::to_string(servo) + " had an invalid \"" + key +
           "\" value.  It will be set to " + value + ".";
}

struct Loaded {
    Project project;
    LoadResult result;
    std::vector<std::string> messages;
};

// Loads text into a new project that has a program, a cue and a flag of its
// own, so that what the load replaces (or keeps) can be seen.
std::unique_ptr<Loaded> Load(std::string_view text) {
    auto loaded = std::make_unique<Loaded>();
    Project& project = loaded->project;
    StartNewProject(project);
    project.Programs[0] = "Wait 1\r\n";
    project.Servos[0].Used = true;
    project.WavCues.push_back(WavCue{1, 2, "old.wav"});
    project.bNeedToSave = true;
    ScopedMessageHandler handler([&](const Message& m) {
        loaded->messages.push_back(Describe(m));
        return MessageAnswer::Ok;
    });
    loaded->result = LoadFile(text, project);
    return loaded;
}

void ExpectAsBeforeLoad(const Project& project) {
    EXPECT_EQ(project.Servos[0].Name, "Servo 1");
    EXPECT_EQ(project.Servos[15].Home, 127);
    EXPECT_EQ(project.Programs[0], "Wait 1\r\n");
    EXPECT_EQ(UpperBound(project.WavCues), 1);
}

enum class Field { Home, Min, Max, Enabled };

struct RepairCase {
    const char* name;
    const char* line;
    int servo;  // index
    Field field;
    int32_t value;
    std::vector<std::string> messages;
};

std::ostream& operator<<(std::ostream& out, const RepairCase& c) { return out << c.name; }

class ServoValueTest : public testing::TestWithParam<RepairCase> {};

TEST_P(ServoValueTest, ValidatesAndRepairs) {
    const RepairCase& c = GetParam();
    const auto loaded = Load(c.line);
    ASSERT_TRUE(loaded->result.ok);
    EXPECT_EQ(loaded->messages, c.messages);
    const ServoRecord& servo = loaded->project.Servos[c.servo];
    const int32_t values[] = {servo.Home, servo.Min, servo.Max, servo.Enabled};
    EXPECT_EQ(values[static_cast<int>(c.field)], c.value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServoValueTest,
    testing::Values(
        RepairCase{"HomeWithPoint", "Servo2.Home=12.5", 1, Field::Home, 127, {Repair(2, "Home", "127")}},
        RepairCase{"HomeText", "Servo2.Home=abc", 1, Field::Home, 127, {Repair(2, "Home", "127")}},
        RepairCase{"HomeEmpty", "Servo2.Home=", 1, Field::Home, 127, {Repair(2, "Home", "127")}},
        RepairCase{"HomeSpace", "Servo2.Home= 5", 1, Field::Home, 127, {Repair(2, "Home", "127")}},
        RepairCase{"HomeExponent", "Servo2.Home=1e2", 1, Field::Home, 100, {}},
        RepairCase{"HomeHalfToEven", "Servo2.Home=25e-1", 1, Field::Home, 2, {}},
        RepairCase{"NumberWithZero", "Servo02.Home=x", 1, Field::Home, 127, {Repair(2, "Home", "127")}},
        RepairCase{"MinNegative", "Servo3.Min=-5", 2, Field::Min, -5, {}},
        RepairCase{"MinText", "Servo3.Min=x", 2, Field::Min, 0, {Repair(3, "Min", "0")}},
        RepairCase{"MaxWithPoint", "Servo16.Max=3.0", 15, Field::Max, 254, {Repair(16, "Max", "254")}},
        RepairCase{"MaxOutOfRange", "Servo16.Max=2147483648", 15, Field::Max, 254, {Repair(16, "Max", "254")}},
        RepairCase{"MaxLowest", "Servo16.Max=-2147483648", 15, Field::Max, INT32_MIN, {}},
        RepairCase{"EnabledLowerCase", "Servo4.Enabled=true", 3, Field::Enabled, 1, {Repair(4, "Enabled", "True")}},
        RepairCase{"EnabledEmpty", "Servo4.Enabled=", 3, Field::Enabled, 1, {Repair(4, "Enabled", "True")}},
        RepairCase{"EnabledTrue", "Servo4.Enabled=True", 3, Field::Enabled, 1, {}},
        RepairCase{"EnabledFalse", "Servo4.Enabled=False", 3, Field::Enabled, 0, {}},
        RepairCase{"LaterLineWins", "Servo4.Enabled=True\r\nServo4.Enabled=False", 3, Field::Enabled, 0, {}}),
    [](const testing::TestParamInfo<RepairCase>& info) { return std::string(info.param.name); });

struct LineCase {
    const char* name;
    const char* text;
    int servo;  // index
    const char* servoName;
    const char* program;
};

std::ostream& operator<<(std::ostream& out, const LineCase& c) { return out << c.name; }

class ServoLineTest : public testing::TestWithParam<LineCase> {};

TEST_P(ServoLineTest, TakesNameAndProgram) {
    const LineCase& c = GetParam();
    const auto loaded = Load(c.text);
    ASSERT_TRUE(loaded->result.ok);
    EXPECT_TRUE(loaded->messages.empty());
    EXPECT_EQ(loaded->project.Servos[c.servo].Name, c.servoName);
    EXPECT_EQ(loaded->project.Programs[c.servo], c.program);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ServoLineTest,
    testing::Values(
        LineCase{"SingleLine", "Servo1.Program=[Wait 5]", 0, "", "Wait 5\r\n"},
        LineCase{"SingleLineEmpty", "Servo1.Program=[]", 0, "", ""},
        LineCase{"SingleLineDoubleBracket", "Servo1.Program=[a]]", 0, "", "a]\r\n"},
        LineCase{"EmptyBlock", "Servo1.Program=[\r\n]", 0, "", "\r\n"},
        LineCase{"TwoLines", "Servo3.Program=[Mov 200, 10\r\nWait 5\r\n]\r\n", 2, "", "Mov 200, 10\r\nWait 5\r\n"},
        LineCase{"LfEnds", "Servo3.Program=[Mov 200, 10\nWait 5\n]\n", 2, "", "Mov 200, 10\r\nWait 5\r\n"},
        LineCase{"CrEnds", "Servo3.Program=[Mov 200, 10\rWait 5\r]\r", 2, "", "Mov 200, 10\r\nWait 5\r\n"},
        LineCase{"LfCrIsTwoEnds", "Servo3.Program=[a\n\r]", 2, "", "a\r\n\r\n"},
        LineCase{"MixedEnds", "Servo3.Program=[a\r\nb\nc\r\n]\r\n", 2, "", "a\r\nb\r\nc\r\n"},
        LineCase{"LoneCrBeforeBracket", "Servo3.Program=[a\r\nb\r]", 2, "", "a\r\nb\r\n"},
        LineCase{"CrLfAcrossEightBytes", "Servo1.Program=[x\r\n1234567\r\n]", 0, "", "x\r\n1234567\r\n"},
        LineCase{"CrCrLfAcrossEightBytes", "Servo1.Program=[x\r\n1234567\r\r\n]", 0, "", "x\r\n1234567\r\n\r\n"},
        LineCase{"EmptyLinesKept", "Servo1.Program=[a\r\n\r\n\r\nb\r\n]", 0, "", "a\r\n\r\n\r\nb\r\n"},
        LineCase{"OnlyBareBracketCloses", "Servo1.Program=[ a]b\r\n ]\r\n]", 0, "", " a]b\r\n ]\r\n"},
        LineCase{"BracketEndsBlockEarly", "Servo1.Program=[a\r\n]\r\nServo1.Name=X\r\n]", 0, "X", "a\r\n"},
        LineCase{"LaterProgramWins", "Servo1.Program=[a]\r\nServo1.Program=[b]", 0, "", "b\r\n"},
        LineCase{"NameTriedBeforeProgram", "Servo1.Program=[x.Name=y\r\nWait 5\r\n]", 0, "am=[x.Name=y", ""},
        LineCase{"NameKeepsEquals", "Servo16.Name=a=b [c]", 15, "a=b [c]", ""},
        LineCase{"PositionsCountCharacters", "Servo1.\xC3\xA9.Name=x", 0, "e=x", ""},
        LineCase{"NumberWithSign", "Servo+1.Name=x", 0, "x", ""},
        LineCase{"NumberWithExponent", "Servo1e1.Name=x", 9, "x", ""},
        LineCase{"NumberRounded", "Servo15e-1.Name=x", 1, "x", ""}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

// Lines the reader has no use for change nothing and say nothing.
class IgnoredLineTest : public testing::TestWithParam<const char*> {};

TEST_P(IgnoredLineTest, ChangesNothing) {
    const auto loaded = Load(GetParam());
    ASSERT_TRUE(loaded->result.ok);
    EXPECT_TRUE(loaded->messages.empty());
    for (int i = 0; i < kServoCount; ++i) {
        EXPECT_EQ(loaded->project.Servos[i], ServoRecord{}) << i;
        EXPECT_EQ(loaded->project.Programs[i], "") << i;
    }
    EXPECT_EQ(UpperBound(loaded->project.WavCues), 0);
    EXPECT_EQ(loaded->project.Settings, ProjectSettings{});
}

INSTANTIATE_TEST_SUITE_P(
    Lines, IgnoredLineTest,
    testing::Values("Servo0.Name=x", "Servo17.Home=abc", "Servoabc.Home=1", "Servo.Name=x", "Servo1e-1.Name=x",
                    "Servo17.Program=[a", "servo1.Name=x", "Servo1.name=x", "Servo1.Program=x", "Servo1 Name=x",
                    "Servo1.Colour=red", "WAV0.Start=1", "WAV10001.Start=1", "WAVabc.Start=1", "WAV2.Start=abc",
                    "WAV2.End=", "WAV2.Path", "WAV2", "Settings.COMPort=abc", "Settings.COMPort", "Settings.Bogus=5",
                    "Settings", "settings.COMPort=3", "Any other line", "=", "]", "\r\n\r\n"));

class SevereProblemTest : public testing::TestWithParam<const char*> {};

TEST_P(SevereProblemTest, LeavesProjectAsItWas) {
    const auto loaded = Load(GetParam());
    EXPECT_FALSE(loaded->result.ok);
    ASSERT_FALSE(loaded->messages.empty());
    EXPECT_EQ(loaded->messages.back(), kSevere);
    ExpectAsBeforeLoad(loaded->project);
}

INSTANTIATE_TEST_SUITE_P(Texts, SevereProblemTest,
                         testing::Values("Servo1.Program=[Wait 5", "Servo1.Program=[Wait 5\r\n",
                                         "Servo1.Program=[Wait 5\nWait 6\n", "Servo2.Program=[\r\n]x\r\n",
                                         "Servo1.Name=New\r\nServo2.Program=[a\r\n] \r\n"));

TEST(LoadFileTest, SevereProblemKeepsSettingsAndEarlierMessages) {
    const auto loaded = Load("Settings.COMPort=3\r\nServo1.Name=Changed\r\nServo2.Home=x\r\nServo1.Program=[Wait 5\r\n"
                             "Settings.BaudRate=1\r\n");
    EXPECT_FALSE(loaded->result.ok);
    EXPECT_EQ(loaded->messages, (std::vector<std::string>{Repair(2, "Home", "127"), kSevere}));
    EXPECT_EQ(loaded->project.Settings.COMPort, 3);
    EXPECT_EQ(loaded->project.Settings.BaudRate, 0);  // inside the unfinished block
    ExpectAsBeforeLoad(loaded->project);
}

TEST(LoadFileTest, EmptyFileGivesEmptyProject) {
    const auto loaded = Load("");
    ASSERT_TRUE(loaded->result.ok);
    EXPECT_TRUE(loaded->messages.empty());
    for (int i = 0; i < kServoCount; ++i) {
        EXPECT_EQ(loaded->project.Servos[i], ServoRecord{});  // Used false as well
        EXPECT_EQ(loaded->project.Programs[i], "");
        EXPECT_EQ(loaded->result.programSources[i], ProgramSource{});
    }
    EXPECT_EQ(UpperBound(loaded->project.WavCues), 0);
    EXPECT_TRUE(loaded->project.bNeedToSave);  // flags are the caller's
}

TEST(LoadFileTest, VersionLine) {
    const std::string conflict =
        "KVSL Version Conflict: This file was saved using a different version of the Kestrova Servo Language.\r\n"
        "The animation may not work correctly.";
    const struct {
        const char* text;
        std::vector<std::string> messages;
    } cases[] = {
        {"KVSL=1.0\r\nServo1.Name=a", {}},
        {"Servo1.Name=a", {}},
        {"KVSL=2.0\r\nServo1.Name=a", {conflict}},
        {"KVSL", {conflict}},
        {"KVSL=1.0 ", {conflict}},
        {"KVSL=2.0\nKVSL=3.0", {conflict, conflict}},
    };
    for (const auto& c : cases) {
        const auto loaded = Load(c.text);
        EXPECT_TRUE(loaded->result.ok) << c.text;
        EXPECT_EQ(loaded->messages, c.messages) << c.text;
    }
}

TEST(LoadFileTest, SettingsByKey) {
    const auto loaded = Load(
        "Settings.AutoDisable=1\r\nSettings.BaudRate=1\r\nSettings.COMPort=9\r\nSettings.SSCMode=1\r\n"
        "Settings.SynchByte=255\r\nSettings.SystemPriority=2\r\nSettings.COMPort=2.5\r\n");
    EXPECT_EQ(loaded->project.Settings, (ProjectSettings{2, 1, 255, 1, 2, 1}));
}

TEST(LoadFileTest, WavCuesGrowToHighestNumber) {
    const auto loaded = Load("WAV1.Start=10\r\nWAV1.End=-20\r\nWAV1.Path=C:\\a=b.wav\r\nWAV3.Path=x");
    const WavCueList& cues = loaded->project.WavCues;
    ASSERT_EQ(UpperBound(cues), 3);
    EXPECT_EQ(cues[1], (WavCue{10, -20, "C:\\a=b.wav"}));
    EXPECT_EQ(cues[2], WavCue{});
    EXPECT_EQ(cues[3], (WavCue{0, 0, "x"}));
    EXPECT_EQ(UpperBound(Load("WAV10000.Start=1")->project.WavCues), 10000);
}

TEST(LoadFileTest, ProgramSourcesPointAtFirstProgramCharacter) {
    const auto loaded = Load(
        "KVSL=1.0\r\n\r\nServo2.Program=[a\r\nb\r\nc\r\n]\nServo10.Program=[]\r"
        "Servo1.\xC3\xA9.x.Program=[z\nq\r\n]\r\nServo4.Program=[\r\n]");
    ASSERT_TRUE(loaded->result.ok);
    const auto& sources = loaded->result.programSources;
    EXPECT_EQ(sources[1], (ProgramSource{3, 17}));
    EXPECT_EQ(sources[9], (ProgramSource{7, 18}));
    EXPECT_EQ(sources[0], (ProgramSource{8, 17}));
    EXPECT_EQ(loaded->project.Programs[0], "am=[z\r\nq\r\n");
    EXPECT_EQ(sources[3], (ProgramSource{11, 17}));
    EXPECT_EQ(sources[2], ProgramSource{});
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
