#include "files/kva_writer.h"

#include "core/messages.h"
#include "files/kva_reader.h"
#include "files/safe_file.h"

#include <gtest/gtest.h>

#include "support/test_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <utility>

#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kestrova {
namespace {

// Loads text into a new project; no message may come back.
std::unique_ptr<Project> Reload(const std::string& text) {
    auto project = std::make_unique<Project>();
    StartNewProject(*project);
    const LoadResult result = LoadFile(text, *project);
    EXPECT_TRUE(result.ok);
    for (const Message& m : result.messages) ADD_FAILURE() << m.title << ": " << m.text;
    return project;
}

TEST(SaveTextTest, WritesExactLinesThatReadBackTheSame) {
    Project original;
    StartNewProject(original);
    original.Settings = ProjectSettings{3, 1, 255, 1, 2, 1};
    original.Servos[0] = ServoRecord{"Head Pan", 100, -5, 300, false, false};
    original.Programs[0] = "Mov 200, 10\r\nWait 5";
    original.Programs[1] = "Wait 5\r\n";
    original.Servos[15].Name = "K\xC3\xA9pi = [eye]";
    original.Programs[15] = "' look\nMov 1, 2\rWait 3\r\n\r\n";
    original.WavCues.push_back(WavCue{10, 20, "C:\\Sounds\\a=b.wav"});
    original.WavCues.push_back(WavCue{-1, 0, ""});
    const std::string text = SaveText(original);
    const std::string head =
        "KVSL=1.0\r\nSettings.AutoDisable=1\r\nSettings.BaudRate=1\r\nSettings.COMPort=3\r\nSettings.SSCMode=1\r\n"
        "Settings.SynchByte=255\r\nSettings.SystemPriority=2\r\n\r\n"
        "Servo1.Name=Head Pan\r\nServo1.Home=100\r\nServo1.Min=-5\r\nServo1.Max=300\r\nServo1.Enabled=False\r\n"
        "Servo1.Program=[Mov 200, 10\r\nWait 5\r\n]\r\n\r\n"
        "Servo2.Name=Servo 2\r\nServo2.Home=127\r\nServo2.Min=0\r\nServo2.Max=254\r\nServo2.Enabled=True\r\n"
        "Servo2.Program=[Wait 5\r\n]\r\n\r\nServo3.Name=";
    const std::string tail =
        "]\r\n\r\nServo16.Name=K\xC3\xA9pi = [eye]\r\nServo16.Home=127\r\nServo16.Min=0\r\nServo16.Max=254\r\n"
        "Servo16.Enabled=True\r\nServo16.Program=[' look\r\nMov 1, 2\r\nWait 3\r\n\r\n]\r\n\r\n"
        "WAV1.Start=10\r\nWAV1.End=20\r\nWAV1.Path=C:\\Sounds\\a=b.wav\r\n\r\n"
        "WAV2.Start=-1\r\nWAV2.End=0\r\nWAV2.Path=\r\n\r\n";
    EXPECT_TRUE(text.starts_with(head)) << text;
    EXPECT_TRUE(text.ends_with(tail)) << text;
    // 8 header lines, 14 servos of 8 lines, servo 1 with 9, servo 16 with 11, two cues of 4.
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 8 + 14 * 8 + 9 + 11 + 2 * 4);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\r'), std::count(text.begin(), text.end(), '\n'));

    const auto reloaded = Reload(text);
    EXPECT_EQ(reloaded->Servos, original.Servos);
    EXPECT_EQ(reloaded->Settings, original.Settings);
    EXPECT_EQ(reloaded->WavCues, original.WavCues);
}

// Caps follow Enabled, each only when set; a project without them keeps the
// lines above exactly.
TEST(SaveTextTest, CapsAreWrittenOnlyWhenSet) {
    Project original;
    StartNewProject(original);
    original.Servos[0].MaxSpeed = 120;
    original.Servos[1].MaxAccel = 400;
    original.Servos[2].MaxSpeed = 5;
    original.Servos[2].MaxAccel = 100000;
    const std::string text = SaveText(original);
    EXPECT_NE(text.find("Servo1.Enabled=True\r\nServo1.MaxSpeed=120\r\nServo1.Program=["), std::string::npos);
    EXPECT_NE(text.find("Servo2.Enabled=True\r\nServo2.MaxAccel=400\r\nServo2.Program=["), std::string::npos);
    EXPECT_NE(text.find("Servo3.MaxSpeed=5\r\nServo3.MaxAccel=100000\r\n"), std::string::npos);
    EXPECT_EQ(text.find("Servo4.Max"), text.find("Servo4.Max="));
    EXPECT_EQ(Reload(text)->Servos, original.Servos);
}

TEST(SaveTextTest, ProgramsRoundTripWithoutGrowing) {
    // The program as written between "Program=[" and "]", which is also what is read back (with
    // a line break after a program written on the opening line). A first line ending in "]" is
    // the whole program there, or gets a space.
    const std::pair<const char*, const char*> cases[] = {
        {"", "\r\n"},           {"Wait 5", "Wait 5\r\n"},   {"Wait 5\r\n", "Wait 5\r\n"},
        {"\r\n\r\n", "\r\n\r\n"}, {"a\nb", "a\r\nb\r\n"},     {"a\rb\r", "a\r\nb\r\n"},
        {"\n\r", "\r\n\r\n"},     {"a\r\r\nb", "a\r\n\r\nb\r\n"}, {"' [x] \r\n ]\r\n]x", "' [x] \r\n ]\r\n]x\r\n"},
        {"Wait 5 ']", "Wait 5 ']"}, {"]\n", "]"}, {"' [a]\r\nWait 1", "' [a] \r\nWait 1\r\n"}, {"x]\n\n", "x] \r\n\r\n"},
    };
    for (const auto& [program, written] : cases) {
        Project project;
        StartNewProject(project);
        project.Programs[4] = program;
        const std::string text = SaveText(project);
        const std::string block = std::string("Servo5.Program=[") + written + "]\r\n\r\nServo6.Name=";
        EXPECT_NE(text.find(block), std::string::npos) << text;
        const auto reloaded = Reload(text);
        EXPECT_EQ(reloaded->Programs[4], std::string(written).ends_with("\r\n") ? written : written + std::string("\r\n"));
        EXPECT_EQ(SaveText(*reloaded), text) << "saving what was read changes nothing";
    }
}

TEST(SaveTextTest, RefusesWhatWouldNotReadBack) {
    // Servo 3 ("Arm") gets the program, servo 2 the name, cue 1 the path;
    // the refusal begins with `expected`, none when it saves.
    const struct {
        std::string program, name, path, expected;
    } cases[] = {
        {"Wait 1\r\n]\r\nServo2.Name=Injected\r\n", "", "", "Line 2 of the program of servo 3 (\"Arm\") is just \"]\""},
        {"a\n\n]", "", "", "Line 3 "},
        {"a\r]\r", "", "", "Line 2 "},
        {"", "Left\nServo3.Name=Injected", "", "The name of servo 2 holds a line break"},
        {"", "", "a\r.wav", "The path of sound cue 1 holds a line break"},
        {"Wait 1 ]x\r\n ]\r\n] \r\n[]\r\n]]", "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.program + c.name + c.path);
        Project project;
        StartNewProject(project);
        project.Servos[2].Name = "Arm";
        project.Programs[2] = c.program;
        if (!c.name.empty()) project.Servos[1].Name = c.name;
        project.WavCues.push_back(WavCue{1, 2, c.path});
        std::string text = "untouched", problem;
        EXPECT_EQ(ComposeProjectFile(project, text, problem), c.expected.empty());
        EXPECT_TRUE(problem.starts_with(c.expected)) << problem;
        EXPECT_EQ(c.expected.empty() ? Reload(text)->Programs[2] : text, c.expected.empty() ? c.program + "\r\n" : "untouched");
    }
}

// Random projects whose names, paths and program lines hold the format's own
// texts, above all on a program's first line (which shares the line of its
// key), read back as they were saved.
TEST(SaveTextTest, RandomProjectsReadBackAsSaved) {
    const std::vector<std::string> keys = {".Name=", ".Home=", ".Min=", ".Max=", ".Enabled=", ".Program=["},
                                   pieces = {"' keep under ", "Servo12.Max=160", "Wait 5", "]", "[", "=", " ", ".",
                                             "\xE2\x82\xAC", "WAV1.Path=x", "KVSL=2.0", "Settings.BaudRate=1"};
    std::mt19937 random(23);
    const auto text = [&](unsigned most) {
        std::string t;
        for (unsigned n = random() % (most + 1); n > 0; --n) t += random() % 3 ? pieces[random() % pieces.size()] : keys[random() % 6];
        return t;
    };
    const auto number = [&] { return int32_t(random() % 600) - 300; };
    for (int round = 0; round < 200; ++round) {
        Project project;
        StartNewProject(project);
        project.Settings = ProjectSettings{number(), number(), number(), number(), number(), number()};
        std::array<std::string, kServoCount> expected;
        for (int i = 0; i < kServoCount; ++i) {
            // Limits in order: inverted ones load with a message of their own.
            const int32_t home = number(), a = number(), b = number();
            project.Servos[i] = ServoRecord{text(3), home, std::min(a, b), std::max(a, b), random() % 2 == 0, false};
            const std::string first = text(1) + keys[(round + i) % 6] + text(2);  // each key on some first line
            std::string& program = project.Programs[i];
            program = first + "\r\n";
            for (unsigned n = random() % 4; n > 0; --n) program += " " + text(3) + "\r\n";
            expected[i] = program;
            if (first.ends_with(']') && program.size() > first.size() + 2) expected[i].insert(first.size(), " ");
        }
        for (unsigned k = random() % 4; k > 0; --k) project.WavCues.push_back(WavCue{number(), number(), text(3)});
        std::string saved, problem;
        ASSERT_TRUE(ComposeProjectFile(project, saved, problem)) << problem;
        const auto reloaded = Reload(saved);
        EXPECT_EQ(reloaded->Settings, project.Settings);
        EXPECT_EQ(reloaded->Servos, project.Servos);
        EXPECT_EQ(reloaded->Programs, expected);
        EXPECT_EQ(reloaded->WavCues, project.WavCues);
        ASSERT_EQ(SaveText(*reloaded), saved) << round;
    }
}

TEST(SaveTextTest, NeverWritesMoreThanTheReaderTakes) {
    Project project;
    StartNewProject(project);
    const size_t limit = SaveText(project).size() + 100;
    std::string text, problem;
    // Lone line ends grow to CR LF: under the limit as typed, over it as written.
    for (const size_t lineEnds : {40, 80}) {
        project.Programs[0] = std::string(lineEnds, '\n');
        EXPECT_EQ(ComposeProjectFile(project, text, problem, limit), lineEnds == 40) << problem;
    }
    EXPECT_NE(problem.find("MB a project file may hold"), std::string::npos) << problem;
}

class SafeFileTest : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.Path(name); }
    std::string Read(const std::string& name) const {
        std::string bytes, reason;
        EXPECT_TRUE(ReadFileBytes(Path(name), bytes, reason)) << reason;
        return bytes;
    }
    size_t Entries() const { return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(dir_.Dir()), {})); }

    kestrova::testing::TempDir dir_;
};

TEST_F(SafeFileTest, FailuresGiveReasonAndChangeNothing) {
    std::ofstream(Path("plain")) << "keep";
    std::filesystem::create_directory(Path("folder"));
    std::ofstream(Path("big")).close();
    std::filesystem::resize_file(Path("big"), kMaxProjectFileBytes + 1);  // sparse: costs no disk
    std::string reason;
    for (const auto& [name, expected] : {std::pair{"missing/a.kva", "No such file or directory"},
                                         {"plain/a.kva", "Not a directory"}, {"folder", ""}}) {
        EXPECT_FALSE(WriteFileSafely(Path(name), "new", reason)) << name;
        EXPECT_TRUE(reason.starts_with(expected) && !reason.empty()) << reason;
    }
    for (const auto& [name, expected] : {std::pair{"missing.kva", "No such file or directory"},
                                         {"folder", "Is a directory"}, {"big", "File too large"}}) {
        std::string bytes = "untouched";
        EXPECT_FALSE(ReadFileBytes(Path(name), bytes, reason)) << name;
        EXPECT_TRUE(reason.starts_with(expected)) << reason;
        EXPECT_EQ(bytes, "untouched");
    }
    EXPECT_EQ(Entries(), 3u);
    EXPECT_EQ(Read("plain"), "keep");
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder")));
}

TEST_F(SafeFileTest, EveryFailingCallLeavesTheOldFile) {
    std::string reason;
    ASSERT_TRUE(WriteFileSafely(Path("a.kva"), "longer than what replaces it", reason));
    ASSERT_TRUE(WriteFileSafely(Path("a.kva"), "old", reason));
    ::chmod(Path("a.kva").c_str(), 0640);
    const auto failing = [](int error) { return [error](auto...) { return errno = error, -1; }; };
    WriteCalls calls[5];
    calls[0].write = failing(ENOSPC);
    // A disk that fills up half-way: the first write is taken in part.
    calls[1].write = [first = true](int fd, const void* data, size_t size) mutable -> ssize_t {
        return std::exchange(first, false) ? ::write(fd, data, size / 2) : (errno = ENOSPC, -1);
    };
    calls[2].fsync = failing(EIO);
    calls[3].close = failing(EDQUOT);
    calls[4].rename = failing(EXDEV);
    const int errors[] = {ENOSPC, ENOSPC, EIO, EDQUOT, EXDEV};
    for (size_t i = 0; i < std::size(calls); ++i) {
        EXPECT_FALSE(WriteFileSafely(Path("a.kva"), "new content", reason, calls[i]));
        EXPECT_EQ(reason, std::strerror(errors[i]));
        EXPECT_EQ(Read("a.kva"), "old");
        EXPECT_EQ(Entries(), 1u) << "the temporary file is gone";
    }
    const std::string bytes("KVSL=1.0\r\n\0\xFF", 12);
    ASSERT_TRUE(WriteFileSafely(Path("a.kva"), bytes, reason));
    EXPECT_EQ(Read("a.kva"), bytes);
    EXPECT_EQ(Entries(), 1u);
    EXPECT_EQ(std::filesystem::status(Path("a.kva")).permissions(), std::filesystem::perms(0640));
}

TEST_F(SafeFileTest, TargetsThatAreNotPlainFiles) {
    std::string reason;
    // A named pipe stays a pipe; a link is followed and stays a link.
    ASSERT_EQ(::mkfifo(Path("pipe").c_str(), 0600), 0);
    EXPECT_FALSE(WriteFileSafely(Path("pipe"), "x", reason));
    EXPECT_TRUE(reason.starts_with("It is not a regular file")) << reason;
    EXPECT_TRUE(std::filesystem::is_fifo(Path("pipe")));
    ASSERT_TRUE(WriteFileSafely(Path("real.kva"), "old", reason));
    std::filesystem::create_symlink("real.kva", Path("link.kva"));
    ASSERT_TRUE(WriteFileSafely(Path("link.kva"), "new", reason)) << reason;
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.kva")));
    EXPECT_EQ(Read("real.kva"), "new");
    EXPECT_EQ(Entries(), 3u);
}

// A save on a real full disk: a small file system of its own (mounting it
// needs root).
TEST_F(SafeFileTest, TemporariesOfKilledSavesAreRemoved) {
    const pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    const std::string dead = std::to_string(gone), live = std::to_string(getppid());
    // Those of a.kva whose process is gone go; a live process's, another file's and other names stay.
    const std::pair<std::string, bool> entries[] = {
        {".a.kva.saving-" + dead + "-0", false}, {".a.kva.saving-" + dead + "-12", false},
        {".a.kva.saving-" + live + "-0", true},  {".b.kva.saving-" + dead + "-0", true},
        {".a.kva.saving-" + dead + "-0x", true}, {"a.kva.saving-" + dead + "-0", true}};
    for (const auto& [name, kept] : entries) std::ofstream(Path(name)) << "half";
    std::string reason;
    ASSERT_TRUE(WriteFileSafely(Path("a.kva"), "new", reason)) << reason;
    for (const auto& [name, kept] : entries) EXPECT_EQ(std::filesystem::exists(Path(name)), kept) << name;
}

TEST_F(SafeFileTest, FullDiskKeepsTheOldFile) {
    const std::string disk = Path("disk");
    std::filesystem::create_directory(disk);
    if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "a small tmpfs could not be mounted (" << std::strerror(errno) << "); needs root";
    }
    std::string reason;
    ASSERT_TRUE(WriteFileSafely(disk + "/a.kva", std::string(8192, 'o'), reason)) << reason;
    std::ofstream filler(disk + "/filler", std::ios::binary);
    while (filler << std::string(4096, 'f')) {
    }
    filler.close();
    std::filesystem::resize_file(disk + "/filler", std::filesystem::file_size(disk + "/filler") - 4096);
    EXPECT_FALSE(WriteFileSafely(disk + "/a.kva", std::string(8192, 'n'), reason));
    EXPECT_EQ(reason, "No space left on device");
    std::string bytes;
    EXPECT_TRUE(ReadFileBytes(disk + "/a.kva", bytes, reason));
    EXPECT_EQ(bytes, std::string(8192, 'o'));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(disk), {}), 2);
    ::umount(disk.c_str());
}

}  // namespace
}  // namespace kestrova
