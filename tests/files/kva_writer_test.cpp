#include "files/kva_writer.h"

#include "core/messages.h"
#include "files/kva_reader.h"
#include "files/safe_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <memory>
#include <ostream>
#include <string>
#include <unistd.h>

namespace kestrova {
namespace {

// Loads text into a new project; no message may be shown.
std::unique_ptr<Project> Reload(const std::string& text) {
    auto project = std::make_unique<Project>();
    StartNewProject(*project);
    ScopedMessageHandler handler([](const Message& m) -> MessageAnswer {
        ADD_FAILURE() << m.title << ": " << m.text;
        return MessageAnswer::Ok;
    });
    EXPECT_TRUE(LoadFile(text, *project).ok);
    return project;
}

std::unique_ptr<Project> SampleProject() {
    auto project = std::make_unique<Project>();
    StartNewProject(*project);
    project->Settings = ProjectSettings{3, 1, 255, 1, 2, 1};
    project->Servos[0] = ServoRecord{"Head Pan", 100, -5, 300, false, true};
    project->Programs[0] = "Mov 200, 10\r\nWait 5";
    project->Programs[1] = "Wait 5\r\n";
    project->Servos[15].Name = "K\xC3\xA9pi = [eye]";
    project->Programs[15] = "' look\nMov 1, 2\rWait 3\r\n\r\n";
    project->WavCues.push_back(WavCue{10, 20, "C:\\Sounds\\a=b.wav"});
    project->WavCues.push_back(WavCue{-1, 0, ""});
    return project;
}

TEST(SaveTextTest, WritesExactLines) {
    const std::string text = SaveText(*SampleProject());
    const std::string head =
        "KVSL=1.0\r\nSettings.AutoDisable=1\r\nSettings.BaudRate=1\r\nSettings.COMPort=3\r\nSettings.SSCMode=1\r\n"
        "Settings.SynchByte=255\r\nSettings.SystemPriority=2\r\n\r\n"
        "Servo1.Name=Head Pan\r\nServo1.Home=100\r\nServo1.Min=-5\r\nServo1.Max=300\r\nServo1.Enabled=False\r\n"
        "Servo1.Program=[Mov 200, 10\r\nWait 5\r\n]\r\n\r\n"
        "Servo2.Name=Servo 2\r\nServo2.Home=127\r\nServo2.Min=0\r\nServo2.Max=254\r\nServo2.Enabled=True\r\n"
        "Servo2.Program=[Wait 5\r\n]\r\n\r\n"
        "Servo3.Name=Servo 3\r\nServo3.Home=127\r\nServo3.Min=0\r\nServo3.Max=254\r\nServo3.Enabled=True\r\n"
        "Servo3.Program=[\r\n]\r\n\r\nServo4.Name=";
    const std::string tail =
        "]\r\n\r\nServo16.Name=K\xC3\xA9pi = [eye]\r\nServo16.Home=127\r\nServo16.Min=0\r\nServo16.Max=254\r\n"
        "Servo16.Enabled=True\r\nServo16.Program=[' look\r\nMov 1, 2\r\nWait 3\r\n\r\n]\r\n\r\n"
        "WAV1.Start=10\r\nWAV1.End=20\r\nWAV1.Path=C:\\Sounds\\a=b.wav\r\n\r\n"
        "WAV2.Start=-1\r\nWAV2.End=0\r\nWAV2.Path=\r\n\r\n";
    EXPECT_EQ(text.substr(0, head.size()), head);
    ASSERT_GE(text.size(), tail.size());
    EXPECT_EQ(text.substr(text.size() - tail.size()), tail);
    // 8 header lines, 14 servos of 8 lines, servo 1 with 9, servo 16 with 11, two cues of 4.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8 + 14 * 8 + 9 + 11 + 2 * 4);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), std::count(text.begin(), text.end(), '\n'));
}

TEST(SaveTextTest, ProjectWithoutCuesEndsAfterLastServo) {
    Project project;
    StartNewProject(project);
    const std::string text = SaveText(project);
    EXPECT_TRUE(text.ends_with("Servo16.Enabled=True\r\nServo16.Program=[\r\n]\r\n\r\n")) << text;
}

struct ProgramCase {
    const char* name;
    const char* program;
    const char* written;   // between "Program=[" and "]"
    const char* reloaded;  // the program as read back
};

std::ostream& operator<<(std::ostream& out, const ProgramCase& c) { return out << c.name; }

class ProgramRoundTripTest : public testing::TestWithParam<ProgramCase> {};

TEST_P(ProgramRoundTripTest, BreakBeforeBracketIsNotAddedTwice) {
    const ProgramCase& c = GetParam();
    Project project;
    StartNewProject(project);
    project.Programs[4] = c.program;
    const std::string text = SaveText(project);
    EXPECT_NE(text.find(std::string("Servo5.Program=[") + c.written + "]\r\n\r\nServo6.Name="), std::string::npos)
        << text;
    const auto reloaded = Reload(text);
    EXPECT_EQ(reloaded->Programs[4], c.reloaded);
    EXPECT_EQ(SaveText(*reloaded), text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ProgramRoundTripTest,
    testing::Values(ProgramCase{"Empty", "", "\r\n", "\r\n"},
                    ProgramCase{"NoFinalBreak", "Wait 5", "Wait 5\r\n", "Wait 5\r\n"},
                    ProgramCase{"FinalBreak", "Wait 5\r\n", "Wait 5\r\n", "Wait 5\r\n"},
                    ProgramCase{"OnlyBreaks", "\r\n\r\n", "\r\n\r\n", "\r\n\r\n"},
                    ProgramCase{"LoneLf", "a\nb", "a\r\nb\r\n", "a\r\nb\r\n"},
                    ProgramCase{"LoneCr", "a\rb\r", "a\r\nb\r\n", "a\r\nb\r\n"},
                    ProgramCase{"LfThenCr", "\n\r", "\r\n\r\n", "\r\n\r\n"},
                    ProgramCase{"CrBeforeCrLf", "a\r\r\nb", "a\r\n\r\nb\r\n", "a\r\n\r\nb\r\n"},
                    ProgramCase{"BracketsInside", "' [x] \r\n ]\r\n]x", "' [x] \r\n ]\r\n]x\r\n", "' [x] \r\n ]\r\n]x\r\n"}),
    [](const testing::TestParamInfo<ProgramCase>& info) { return std::string(info.param.name); });

TEST(SaveTextTest, SaveAndReopenGiveSameBytesEveryTime) {
    const auto original = SampleProject();
    const std::string first = SaveText(*original);
    std::string text = first;
    for (int cycle = 0; cycle < 3; ++cycle) {
        const auto reloaded = Reload(text);
        for (int i = 0; i < kServoCount; ++i) {
            ServoRecord expected = original->Servos[i];
            expected.Used = false;
            EXPECT_EQ(reloaded->Servos[i], expected) << i;
        }
        EXPECT_EQ(reloaded->Settings, original->Settings);
        EXPECT_EQ(reloaded->WavCues, original->WavCues);
        EXPECT_EQ(reloaded->Programs[15], "' look\r\nMov 1, 2\r\nWait 3\r\n\r\n");
        text = SaveText(*reloaded);
        EXPECT_EQ(text, first) << "cycle " << cycle;
    }
}

TEST(SaveTextTest, OtherLineEndsReadTheSame) {
    const std::string text = SaveText(*SampleProject());
    for (const char* end : {"\n", "\r"}) {
        std::string converted;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text.compare(i, 2, "\r\n") == 0) {
                converted += end;
                ++i;
            } else {
                converted += text[i];
            }
        }
        EXPECT_EQ(SaveText(*Reload(converted)), text);
    }
}

// Files on disk.
class SafeFileTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrova-files-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override {
        std::filesystem::permissions(dir_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add);
        std::filesystem::remove_all(dir_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    static void Put(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }
    size_t Entries() const {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_), {}));
    }

    std::filesystem::path dir_;
};

TEST_F(SafeFileTest, WritesAndReadsBackBytes) {
    const std::string bytes("KVSL=1.0\r\n\0\xFF", 12);
    std::string reason;
    ASSERT_TRUE(WriteFileSafely(Path("a.kva"), "old content that is longer", reason)) << reason;
    ASSERT_TRUE(WriteFileSafely(Path("a.kva"), bytes, reason)) << reason;
    std::string read;
    ASSERT_TRUE(ReadFileBytes(Path("a.kva"), read, reason)) << reason;
    EXPECT_EQ(read, bytes);
    EXPECT_EQ(Entries(), 1u);  // no temporary file left behind
}

TEST_F(SafeFileTest, WriteFailuresReportAndLeaveNothing) {
    Put(Path("plain"), "keep");
    std::filesystem::create_directory(Path("folder"));
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {Path("missing/a.kva"), "No such file or directory"},
        {Path("plain/a.kva"), "Not a directory"},
        {Path("folder"), ""},
    };
    for (const auto& c : cases) {
        std::string reason;
        EXPECT_FALSE(WriteFileSafely(c.path, "new", reason)) << c.path;
        EXPECT_FALSE(reason.empty()) << c.path;
        if (!c.reason.empty()) {
            EXPECT_EQ(reason, c.reason);
        }
    }
    EXPECT_EQ(Entries(), 2u);
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder")));
    std::string read, reason;
    ASSERT_TRUE(ReadFileBytes(Path("plain"), read, reason));
    EXPECT_EQ(read, "keep");
}

TEST_F(SafeFileTest, ReadOnlyFolderKeepsOldFile) {
    if (geteuid() == 0) GTEST_SKIP() << "permissions do not stop root";
    Put(Path("a.kva"), "old");
    std::filesystem::permissions(dir_, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    std::string reason, read;
    EXPECT_FALSE(WriteFileSafely(Path("a.kva"), "new", reason));
    EXPECT_FALSE(reason.empty());
    ASSERT_TRUE(ReadFileBytes(Path("a.kva"), read, reason));
    EXPECT_EQ(read, "old");
}

TEST_F(SafeFileTest, ReadFailuresGiveReason) {
    std::filesystem::create_directory(Path("folder"));
    {
        std::ofstream big(Path("big"), std::ios::binary);
    }
    std::filesystem::resize_file(Path("big"), kMaxProjectFileBytes + 1);  // sparse: costs no disk
    const struct {
        std::string path;
        std::string reasonStart;
    } cases[] = {
        {Path("missing.kva"), "No such file or directory"},
        {Path("folder"), "Is a directory"},
        {Path("big"), "File too large"},
    };
    for (const auto& c : cases) {
        std::string bytes = "untouched", reason;
        EXPECT_FALSE(ReadFileBytes(c.path, bytes, reason)) << c.path;
        EXPECT_TRUE(reason.starts_with(c.reasonStart)) << reason;
        EXPECT_EQ(bytes, "untouched");
    }
}

}  // namespace
}  // namespace kestrova
