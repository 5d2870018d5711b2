// The command line end to end: the real program on files the tests write.
#include "files/kva_writer.h"
#include "core/project.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using namespace kestrova;

namespace {

struct Outcome {
    int code = -1;
    std::string out;
    std::string err;
};

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = fs::temp_directory_path() / ("kestrova-cli-" + std::to_string(::getpid()) + "-" +
                                           ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        // The program reads the user's settings (the port table): give it
        // a home of its own.
        setenv("HOME", dir_.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    }
    void TearDown() override { fs::remove_all(dir_); }

    std::string Path(const std::string& name) const { return (dir_ / name).string(); }

    std::string Write(const std::string& name, const std::string& bytes) const {
        std::ofstream(Path(name), std::ios::binary) << bytes;
        return Path(name);
    }

    static std::string Read(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }

    Outcome Run(const std::string& args) const {
        const std::string out = Path("stdout.txt");
        const std::string err = Path("stderr.txt");
        const std::string command = std::string(KESTROVA_CLI) + " " + args + " >" + out + " 2>" + err;
        const int status = std::system(command.c_str());
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, Read(out), Read(err)};
    }

    // A new project with the given programs, saved by the real writer.
    std::string ProjectFile(const std::string& name, const std::array<std::string, kServoCount>& programs) const {
        Project project;
        StartNewProject(project);
        project.Programs = programs;
        return Write(name, SaveText(project));
    }

    fs::path dir_;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

TEST_F(CliTest, CsvHoldsTheFrameTable) {
    const std::string file = ProjectFile("two.kva", {"Mov 137, 10\r\n", "Wait 3\r\nMov 0, 4\r\n"});
    const Outcome r = Run("build " + file + " --csv -");
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 12u);
    EXPECT_EQ(lines[0],
              "frame,servo1,servo2,servo3,servo4,servo5,servo6,servo7,servo8,servo9,servo10,servo11,servo12,"
              "servo13,servo14,servo15,servo16,wav");
    EXPECT_EQ(lines[1], "1,127,127,127,127,127,127,127,127,127,127,127,127,127,127,127,127,0");
    EXPECT_EQ(lines[5], "5,131,95,127,127,127,127,127,127,127,127,127,127,127,127,127,127,0");
    EXPECT_EQ(lines[7], "7,133,31,127,127,127,127,127,127,127,127,127,127,127,127,127,127,0");
    EXPECT_EQ(lines[11], "11,137,0,127,127,127,127,127,127,127,127,127,127,127,127,127,127,0");
    EXPECT_EQ(r.out.find('\r'), std::string::npos);

    const std::string csv = Path("out.csv");
    ASSERT_EQ(Run("build " + file + " --csv " + csv).code, 0);
    EXPECT_EQ(Read(csv), r.out);
}

TEST_F(CliTest, CompileErrorsPointIntoTheFile) {
    struct Case {
        std::array<std::string, kServoCount> programs;
        std::string expected;  // after the file name
    } cases[] = {
        {{"Wait 1\r\n", "Wait 2\r\n  Move 100, 10\r\n"}, ":23:3: Compile Error: Unknown Command. (servo 2 \"Servo 2\")"},
        {{"Mov 300, 10\r\n"}, ":14:21: Invalid Position: Position is greater than servo maximum. (servo 1 \"Servo 1\")"},
        {{"", "", "Wait 1 'x\r\nWait"}, ":31:1: Invalid Frames: Frames must be a numeric value. (servo 3 \"Servo 3\")"},
    };
    for (const Case& c : cases) {
        const std::string file = ProjectFile("bad.kva", c.programs);
        const Outcome r = Run("build " + file);
        SCOPED_TRACE(c.expected);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, file + c.expected + "\n");
        EXPECT_EQ(r.out, "");
    }
    const std::string empty = ProjectFile("empty.kva", {"Mov 127, 4\r\n"});
    const Outcome nothing = Run("build " + empty);
    EXPECT_EQ(nothing.code, 1);
    EXPECT_EQ(nothing.err, empty + ": Compile Error: Nothing to compile!\n");
}

TEST_F(CliTest, LoadMessagesAndFailures) {
    const std::string repaired = Write("repaired.kva",
                                       "KVSL=2.0\r\nServo2.Home=abc\r\nServo1.Max=254\r\nServo1.Program=[Wait 2]\r\n");
    Outcome r = Run("build " + repaired + " --csv -");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err,
              "KVSL Version Conflict: This file was saved using a different version of the Kestrova Servo Language. "
              "The animation may not work correctly.\n"
              "Invalid Home Value: Servo #2 had an invalid \"Home\" value.  It will be set to 127.\n");
    EXPECT_EQ(Lines(r.out).size(), 4u);

    const std::string severe = Write("severe.kva", "Servo1.Program=[Wait 5\r\nWait 6\r\n");
    r = Run("build " + severe);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Severe Load Problem: The animation had severe problems and could not be loaded!\n");

    const std::string missing = Path("missing.kva");
    r = Run("build " + missing);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "Open Error: The animation " + missing + " could not be opened: No such file or directory\n");

    for (const char* usage : {"", "build", "frobnicate x", "build a b", "rewrite x", "build x --csv"}) {
        SCOPED_TRACE(usage);
        r = Run(usage);
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("Usage:"), std::string::npos);
    }
    EXPECT_EQ(Run("--help").code, 0);
    r = Run("--version");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "kestrova-cli 2.0.0\n");
}

TEST_F(CliTest, RewriteOfItsOwnOutputIsIdentical) {
    // An older file with blank lines after each program, LF line ends and no header.
    const std::string old = Write("old.kva", "Servo1.Name=Arm\nServo1.Program=[Mov 10, 2\n\n]\nWAV1.Start=3\n");
    const std::string first = Path("first.kva");
    const std::string second = Path("second.kva");
    ASSERT_EQ(Run("rewrite " + old + " -o " + first).code, 0);
    ASSERT_EQ(Run("rewrite " + first + " -o " + second).code, 0);
    EXPECT_EQ(Read(first), Read(second));

    const std::string example = std::string(KESTROVA_EXAMPLES) + "/waving-robot.kva";
    ASSERT_EQ(Run("rewrite " + example + " -o " + first).code, 0);
    EXPECT_EQ(Read(first), Read(example)) << "the bundled example is in the writer's own form";
    EXPECT_EQ(Run("build " + example).code, 0);

    const Outcome r = Run("rewrite " + example + " -o " + Path("no/such/folder/x.kva"));
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("Save Error: The animation could not be saved to"), std::string::npos);
}

}  // namespace

// play and send on a pseudo-terminal, with the program running beside the test.
#include <csignal>
#include <pty.h>
#include <poll.h>
#include <termios.h>
#include <functional>

namespace {

class PlayTest : public CliTest {
protected:
    void SetUp() override {
        CliTest::SetUp();
        char name[256] = {};
        ASSERT_EQ(openpty(&master_, &slave_, name, nullptr, nullptr), 0);
        termios raw{};
        tcgetattr(slave_, &raw);
        cfmakeraw(&raw);
        tcsetattr(slave_, TCSANOW, &raw);
        device_ = name;
    }
    void TearDown() override {
        close(master_);
        close(slave_);
        CliTest::TearDown();
    }

    // Starts the program; the test reads the line while it runs.
    pid_t Start(const std::vector<std::string>& args) {
        const pid_t child = fork();
        if (child == 0) {
            std::vector<char*> argv{const_cast<char*>(KESTROVA_CLI)};
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            freopen(Path("stderr.txt").c_str(), "w", stderr);
            execv(KESTROVA_CLI, argv.data());
            _exit(127);
        }
        return child;
    }

    // Reads the line until the program has ended and nothing more arrives;
    // `onBytes` hears how much has arrived so far.
    std::string Drain(pid_t child, int& code, const std::function<void(size_t)>& onBytes = {}) {
        std::string bytes;
        bool running = true;
        for (;;) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, running ? 10 : 100) > 0) {
                char buffer[4096];
                const ssize_t n = read(master_, buffer, sizeof buffer);
                if (n > 0) bytes.append(buffer, size_t(n));
                if (onBytes) onBytes(bytes.size());
                continue;
            }
            if (!running) break;
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                running = false;
                code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
        return bytes;
    }

    int master_ = -1, slave_ = -1;
    std::string device_;
};

TEST_F(PlayTest, PutsTheFrameTableOnTheLineAtTheRate) {
    const std::string example = std::string(KESTROVA_EXAMPLES) + "/waving-robot.kva";
    const Outcome csv = Run("build " + example + " --csv -");
    ASSERT_EQ(csv.code, 0);
    // The servos that are both used and enabled, in order, after the synch byte 255.
    std::string expected;
    const std::vector<std::string> rows = Lines(csv.out);
    for (size_t r = 1; r < rows.size(); ++r) {
        std::istringstream row(rows[r]);
        std::vector<int> values;
        for (std::string cell; std::getline(row, cell, ',');) values.push_back(std::stoi(cell));
        for (int s : {0, 1, 2, 3}) expected += {char(255), char(s), char(values[1 + s])};
    }
    const auto start = std::chrono::steady_clock::now();
    int code = -1;
    const std::string line = Drain(Start({"play", example, "--device", device_, "--fps", "30", "--from", "40"}), code);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(code, 0) << Read(Path("stderr.txt"));
    EXPECT_EQ(line, expected.substr(39 * 12));
    EXPECT_GT(seconds, (rows.size() - 1 - 40) / 30.0);
}

TEST_F(PlayTest, CtrlCStopsALoopCleanly) {
    const std::string file = ProjectFile("loop.kva", {"Wait 5\r\n"});
    const pid_t child = Start({"play", file, "--device", device_, "--loop", "--fps", "30"});
    // Ctrl+C once the second pass is on its way.
    bool sent = false;
    int code = -1;
    const std::string line = Drain(child, code, [&](size_t received) {
        if (!sent && received > 6 * 3) sent = kill(child, SIGINT) == 0;
    });
    EXPECT_TRUE(sent);
    EXPECT_EQ(code, 0);
    EXPECT_GT(line.size(), 6u * 3) << "more than one pass went out";
    EXPECT_EQ(line.size() % 3, 0u) << "no command was cut short";
    EXPECT_NE(Read(Path("stderr.txt")).find("Stopped."), std::string::npos);
}

TEST_F(PlayTest, SendWritesOneCommandAndFailuresSayWhy) {
    int code = -1;
    std::string line = Drain(Start({"send", "4", "200", "--device", device_, "--synch", "255"}), code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(line, std::string({char(255), char(3), char(200)}));

    line = Drain(Start({"send", "4", "200", "--device", Path("nothing-here")}), code);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(Read(Path("stderr.txt")), "Error: COM1 - No such file or directory\n");

    const std::string file = ProjectFile("p.kva", {"Wait 5\r\n"});
    line = Drain(Start({"play", file, "--device", Path("nothing-here")}), code);
    EXPECT_EQ(code, 2);
    EXPECT_EQ(Read(Path("stderr.txt")), "Error: COM1 - No such file or directory\n");

    for (const char* bad : {"0", "17"}) {
        Drain(Start({"send", bad, "10", "--device", device_}), code);
        EXPECT_EQ(code, 2) << bad;
    }
}

}  // namespace
