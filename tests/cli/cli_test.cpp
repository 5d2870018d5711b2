// The command line end to end: the real program on files the tests write.
#include "core/compiler.h"
#include "files/kva_reader.h"
#include "files/kva_writer.h"
#include "link/controller_protocol.h"
#include "link/pty.h"
#include "support/null_sink.h"
#include "support/servo_trace.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <functional>
#include <iterator>
#include <sstream>
#include <string>

namespace fs = std::filesystem;
using namespace kestrova;
using kestrova::testing::ReadFile;
using kestrova::testing::Square;
using kestrova::testing::WavBytes;

namespace {

struct Outcome {
    int code = -1;
    std::string out, err;
};


std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Waits at most `seconds` for the program to end; kills it when it does not.
// The exit code (-1 when killed) and the most memory it held, in MB.
std::pair<int, long> Finish(pid_t child, double seconds) {
    int status = 0;
    rusage usage{};
    for (int i = 0; i < seconds * 100; ++i) {
        if (wait4(child, &status, WNOHANG, &usage) == child)
            return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, usage.ru_maxrss / 1024};
        usleep(10000);
    }
    kill(child, SIGKILL);
    wait4(child, &status, 0, &usage);
    return {-1, usage.ru_maxrss / 1024};
}

const std::string kExample = std::string(KESTROVA_EXAMPLES) + "/waving-robot.kva";

class CliTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The program reads the user's settings (the port table): give it a home of its own.
        setenv("HOME", dir_.Dir().c_str(), 1);
        setenv("XDG_CONFIG_HOME", Path("config").c_str(), 1);
    }

    std::string Path(const std::string& name) const { return dir_.Path(name); }
    std::string Write(const std::string& name, const std::string& bytes) const { return dir_.Write(name, bytes); }
    Outcome Run(const std::string& args) const {
        const int status = std::system((std::string(KESTROVA_CLI) + " " + args + " >" + Path("out") + " 2>" +
                                        Path("err")).c_str());
        return Outcome{WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(Path("out")), ReadFile(Path("err"))};
    }
    // Starts the program beside the test, its output going to "out" and "err".
    // With `outFd`, standard output goes there instead.
    pid_t Start(std::vector<std::string> args, int outFd = -1) const {
        const pid_t child = fork();
        if (child == 0) {
            std::vector<char*> argv{const_cast<char*>(KESTROVA_CLI)};
            for (std::string& a : args) argv.push_back(a.data());
            argv.push_back(nullptr);
            freopen(Path("out").c_str(), "w", stdout);
            freopen(Path("err").c_str(), "w", stderr);
            if (outFd >= 0) dup2(outFd, STDOUT_FILENO);
            execv(KESTROVA_CLI, argv.data());
            _exit(127);
        }
        return child;
    }
    // A new project with the given programs, saved by the real writer.
    std::string ProjectFile(const std::string& name, const std::array<std::string, kServoCount>& programs) const {
        Project project;
        StartNewProject(project);
        project.Programs = programs;
        return Write(name, SaveText(project));
    }

    kestrova::testing::TempDir dir_;
};

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
    EXPECT_EQ(lines[11], "11,137,0,127,127,127,127,127,127,127,127,127,127,127,127,127,127,0");
    ASSERT_EQ(Run("build " + file + " --csv " + Path("out.csv")).code, 0);
    EXPECT_EQ(ReadFile(Path("out.csv")), r.out);
}

TEST_F(CliTest, CompileErrorsPointIntoTheFile) {
    const std::pair<std::array<std::string, kServoCount>, std::string> cases[] = {
        {{"Wait 1\r\n", "Wait 2\r\n  Move 100, 10\r\n"}, ":23:3: Compile Error: Unknown Command. (servo 2 \"Servo 2\")"},
        {{"Mov 127, 4\r\n"}, ": Compile Error: Nothing to compile!"},
    };
    for (const auto& [programs, expected] : cases) {
        SCOPED_TRACE(expected);
        const std::string file = ProjectFile("bad.kva", programs);
        const Outcome r = Run("build " + file);
        EXPECT_EQ(r.code, 1);
        EXPECT_EQ(r.err, file + expected + "\n");
        EXPECT_EQ(r.out, "");
    }
}

TEST_F(CliTest, LoadMessagesAreShownAndTheBuildGoesOn) {
    const std::string repaired = Write("repaired.kva",
                                       "KVSL=2.0\r\nServo2.Home=abc\r\nServo1.Max=254\r\nServo1.Program=[Wait 2]\r\n");
    const Outcome r = Run("build " + repaired + " --csv -");
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err,
              "KVSL Version Conflict: This file was saved using a different version of the Kestrova Servo Language. "
              "The animation may not work correctly.\n"
              "Invalid Home Value: Servo #2 had an invalid \"Home\" value.  It will be set to 127.\n");
    EXPECT_EQ(Lines(r.out).size(), 4u);
}

// Every refusal ends with code 2 and says why; nothing is written or replaced.
TEST_F(CliTest, RefusalsSayWhyAndTouchNothing) {
    const std::string file = ProjectFile("p.kva", {"Wait 5\r\n"}), before = ReadFile(file);
    const std::string sound = Write("tone.wav", WavBytes(Square(800, 8000), 8000));
    const std::string severe = Write("severe.kva", "Servo1.Program=[Wait 5\r\nWait 6\r\n");
    const std::string nothing = Path("nothing-here");
    const std::string usage = "Usage:", jaw = "jaw " + sound + " --fps 10 --closed 30",
                      sketch = "export " + file + " --arduino " + Path("w");
    const std::pair<std::string, std::string> cases[] = {
        {"build " + severe, "Severe Load Problem: The animation had severe problems and could not be loaded!\n"},
        {"build " + Path("missing.kva"),
         "Open Error: The animation " + Path("missing.kva") + " could not be opened: No such file or directory\n"},
        {"", usage}, {"build", usage}, {"frobnicate x", usage}, {"build a b", usage}, {"rewrite x", usage},
        {"build x --csv", usage}, {"send 0 10", usage}, {"send 17 10", usage},
        {"send 4 200 --device " + nothing, "Error: COM1 (" + nothing + ") - No such file or directory\n"},
        {"play " + file + " --device " + nothing, "Error: COM1 (" + nothing + ") - No such file or directory\n"},
        {jaw, "needs SOUND"},
        {"jaw " + sound + " --fps 31 --closed 30 --open 180", "frame rate"},
        {jaw + " --open 180 --threshold x", "--threshold"},
        {"jaw " + Path("none.wav") + " --fps 10 --closed 30 --open 180", "Sound Error: "},
        {sketch + " --mode servo", "--mode takes ssc or pca9685"},
        {sketch + " --trigger 0", "trigger pin"},
        {sketch + " --channels 1,x", "channel of servo 2"},
        {"export " + file + " --arduino " + Path("3d"), "Export Error: The sketch folder's name \"3d\""},
        {"export " + file, "export needs a project file and --arduino DIR"},
        {"rewrite " + file + " -o " + Path("no/such/folder/x.kva"), "Save Error: The animation could not be saved to"},
        {"build " + file + " --csv " + file, "Save Error: The frame table could not be written to " + file + ": It is the project file itself"},
        {"build " + file + " --csv " + Path("none/x.csv"), "No such file or directory"},
        {"fit", "fit needs a trace file"},
        {"fit " + file + " --tolerance 11", "--tolerance takes a whole number from 0 to 10"},
        {"fit " + file + " --servo 17", "--servo takes a servo from 1 to 16"},
        {"fit " + Path("missing.csv"), "Open Error: The trace " + Path("missing.csv") + " could not be opened."},
        {"fit " + Write("empty.csv", "\r\n"), "empty.csv:1: Trace Error: the trace holds no position."},
        {"fit " + Write("table.csv", "1,2\n"), "table.csv:1: Trace Error: the line holds 2 values; name the servo"},
        {"fit " + Write("narrow.csv", "1,2\n") + " --servo 3", "narrow.csv:1: Trace Error: the line has no column for servo 3."},
        {"fit " + Write("word.csv", "10\n12\nhigh\n"), "word.csv:3: Trace Error: \"high\" is not a position."},
        {"fit " + Write("long.csv", std::string(5000, '1')), "long.csv:1: Trace Error: the line is longer than 4096"},
        {"fit " + Write("million.csv", [] { std::string t; for (int f = 0; f <= 1'000'000; ++f) t += "5\n"; return t; }()),
         "million.csv:1000001: Trace Error: the trace is longer than 1,000,000 frames."},
    };
    for (const auto& [args, message] : cases) {
        const Outcome r = Run(args);
        EXPECT_EQ(r.code, 2) << args;
        EXPECT_NE(r.err.find(message), std::string::npos) << args << ": " << r.err;
    }
    EXPECT_EQ(ReadFile(file), before);
    EXPECT_FALSE(fs::exists(Path("w")) || fs::exists(Path("3d")));
}

TEST_F(CliTest, JawPrintsTheMovesOfABurst) {
    // One second of silence at 8000 Hz, then half a second of a full square wave.
    std::vector<int16_t> burst(8000, 0);
    for (int16_t sample : Square(4000, 20000, 8)) burst.push_back(sample);
    const std::string sound = Write("burst.wav", WavBytes(burst, 8000));
    const Outcome made = Run("jaw " + sound + " --fps 10 --closed 30 --open 180 --start 3");
    EXPECT_EQ(made.code, 0) << made.err;
    // Silence until frame 3 + 10, open for five frames, closed after.
    EXPECT_EQ(made.out, "Wait 11\r\nMov 180, 1\r\nWait 4\r\nMov 30, 1\r\n");
}

// Servo 1 of a built project, refitted from its frame table with no
// tolerance, builds the same column; a noisy one-column trace within 2.
TEST_F(CliTest, FitPrintsLinesThatRebuildTheTrace) {
    const std::string file = ProjectFile("arm.kva", {"Wait 4\r\nMov 60, 15, EaseInOut\r\nMov 200, 7\r\nWait 3\r\n"});
    ASSERT_EQ(Run("build " + file + " --csv " + Path("arm.csv")).code, 0);
    std::string noisy = "position\r\n";
    for (int f = 0; f < 300; ++f) noisy += std::to_string(127 + int(60 * std::sin(f / 20.0)) + f % 3 - 1) + "\r\n";
    const std::tuple<std::string, std::string, int32_t> cases[] = {{Path("arm.csv"), " --servo 1 --tolerance 0", 0},
                                                                  {Write("noisy.csv", noisy), "", 2}};
    for (const auto& [trace, options, tolerance] : cases) {
        const Outcome r = Run("fit " + trace + options);
        ASSERT_EQ(r.code, 0) << r.err;
        std::vector<int32_t> wanted{0};  // frames from 1
        for (const std::string& line : Lines(ReadFile(trace)))
            if (isdigit(line[0])) wanted.push_back(std::stoi(options.empty() ? line : line.substr(line.find(',') + 1)));
        const auto built = kestrova::testing::BuiltColumn(ServoRecord{"S", wanted[1], 0, 254}, r.out);
        ASSERT_EQ(built.size(), wanted.size()) << r.out;
        for (size_t f = 1; f < built.size(); ++f) ASSERT_LE(std::abs(built[f] - wanted[f]), tolerance) << f;
        EXPECT_EQ(r.out.find('\n'), r.out.find("\r\n") + 1) << "lines end in CR LF";
        EXPECT_LT(Lines(r.out).size() * 5, wanted.size()) << r.out;
    }
}

TEST_F(CliTest, ExportPrintsACommandThatIsSafeToPaste) {
    const std::string file = ProjectFile("show.kva", {"Mov 137, 10\r\n"}), prefix = "Build it with: make -C ";
    for (const std::string parent : {"plain", "sp ace", "a`echo>X`", "it's$(echo>X)'", "a\\b\"$HOME", "\xC3\xA9t\xC3\xA9"}) {
        const std::string folder = Path(parent) + "/sk";
        ASSERT_EQ(Finish(Start({"export", file, "--arduino", folder, "--mode", "pca9685", "--channels", "4", "--loop"}), 20).first, 0);
        const std::string out = ReadFile(Path("out"));
        const size_t at = out.find(prefix) + prefix.size();
        ASSERT_GT(at, prefix.size()) << out;
        // The shell reads the word back as the folder and runs nothing.
        std::system(("cd " + dir_.Dir().string() + " && printf %s " + out.substr(at, out.find('\n', at) - at) + " >w").c_str());
        EXPECT_EQ(ReadFile(Path("w")), folder);
        EXPECT_FALSE(fs::exists(Path("X")));
    }
}

// Every command's messages go through one filter: no control byte reaches the
// terminal, whether C0, C1 in UTF-8 or a lone 8-bit C1.
TEST_F(CliTest, NoCommandPrintsControlBytes) {
    const std::string hostile = Path("x\x1b[2J\x07\x9b\x9d\xC2\x9b"), file = ProjectFile("s.kva", {"Wait 1"});
    fs::create_directory(hostile);
    const std::pair<std::vector<std::string>, const char*> commands[] = {
        {{"export", file, "--arduino", hostile + "/sk"}, "Build it with make in that folder"},
        {{"jaw", hostile + ".wav", "--fps", "10", "--closed", "0", "--open", "90"}, "No such file"},
        {{"monitor", "--device", hostile}, "Is a directory"},  // a folder is refused
        {{"build", hostile + ".kva"}, "could not be opened"}};
    for (const auto& [args, expected] : commands) {
        Finish(Start(args), 10);
        const std::string printed = ReadFile(Path("out")) + ReadFile(Path("err"));
        EXPECT_NE(printed.find(expected), std::string::npos) << printed;
        EXPECT_NE(printed.find("x[2J\xEF\xBF\xBD\xEF\xBF\xBD"), std::string::npos) << printed;
        EXPECT_EQ(printed.find_first_of("\x1b\x07\x9b\x9d"), std::string::npos) << printed;
    }
}

TEST_F(CliTest, ExportReplacesFilesWholeAndNeverWritesThroughALink) {
    const std::string file = ProjectFile("show.kva", {"Mov 137, 10\r\n"}), sketch = Path("sk");
    ASSERT_EQ(Run("export " + file + " --arduino " + sketch).code, 0);
    fs::remove(sketch + "/show_data.h");
    fs::create_symlink(Write("victim.txt", "keep me"), sketch + "/show_data.h");
    ASSERT_EQ(Run("export " + file + " --arduino " + sketch).code, 0);
    EXPECT_EQ(ReadFile(Path("victim.txt")), "keep me");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(sketch + "/show_data.h")));
    // A file that cannot be written is reported with the system's reason; the others stay whole.
    const std::string ino = ReadFile(sketch + "/sk.ino");
    fs::remove(sketch + "/Makefile"), fs::create_directory(sketch + "/Makefile");
    EXPECT_NE(Run("export " + file + " --arduino " + sketch).err.find("Makefile: Is a directory."), std::string::npos);
    EXPECT_EQ(ReadFile(sketch + "/sk.ino"), ino);
}

TEST_F(CliTest, RewriteOfItsOwnOutputIsIdentical) {
    // An older file with blank lines after each program, LF line ends and no header.
    const std::string old = Write("old.kva", "Servo1.Name=Arm\nServo1.Program=[Mov 10, 2\n\n]\nWAV1.Start=3\n");
    ASSERT_EQ(Run("rewrite " + old + " -o " + Path("first.kva")).code, 0);
    ASSERT_EQ(Run("rewrite " + Path("first.kva") + " -o " + Path("second.kva")).code, 0);
    EXPECT_EQ(ReadFile(Path("first.kva")), ReadFile(Path("second.kva")));

    ASSERT_EQ(Run("rewrite " + kExample + " -o " + Path("first.kva")).code, 0);
    EXPECT_EQ(ReadFile(Path("first.kva")), ReadFile(kExample)) << "the bundled example is in the writer's own form";
}

TEST_F(CliTest, NamesAreNotPrintedAsTerminalEscapesNorWrittenUnderOtherBytes) {
    // A servo name that carries a terminal escape is printed without it.
    Project project;
    StartNewProject(project);
    project.Servos[0].Name = "Arm\x1b]0;owned\x07\xC2\x9B";
    project.Programs[0] = "Bogus\r\n";
    const std::string bad = Write("bad.kva", SaveText(project));
    EXPECT_EQ(Run("build " + bad).err, bad + ":14:17: Compile Error: Unknown Command. (servo 1 \"Arm]0;owned\")\n");

    // A name that is not UTF-8 is written under its own bytes.
    const std::string file = ProjectFile("p.kva", {"Wait 5\r\n"}), before = ReadFile(file), latin = Path("in\xE9.kva");
    fs::copy_file(file, latin);
    ASSERT_EQ(Run("rewrite '" + latin + "' -o '" + latin + "'").code, 0);
    EXPECT_EQ(ReadFile(latin), before);
    EXPECT_FALSE(fs::exists(Path("in\xEF\xBF\xBD.kva")));
}

// monitor on a named pipe: noise is printed in bounded runs as it comes,
// and Ctrl+C ends it even while its output is a full pipe nobody reads.
TEST_F(CliTest, MonitorBoundsNoiseAndStopsOnSignals) {
    const std::string fifo = Path("line");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    // Sent over and over: 16 MB of zeros, read; commands, with the output never read.
    for (const auto& [bytes, unread] : {std::pair{std::string(4096, '\0'), false}, {std::string{char(255), 3, 100}, true}}) {
        int full[2];
        ASSERT_EQ(pipe(full), 0);
        const pid_t child = Start({"monitor", "--device", fifo}, unread ? full[1] : -1);
        const int line = open(fifo.c_str(), O_WRONLY);
        fcntl(line, F_SETFL, O_NONBLOCK);
        for (size_t sent = 0; sent < (16u << 20);) {  // until 16 MB went, or the program no longer reads
            pollfd p{line, POLLOUT, 0};
            if (poll(&p, 1, 300) <= 0) break;
            sent += size_t(std::max<ssize_t>(0, write(line, bytes.data(), bytes.size())));
        }
        const std::vector<std::string> lines = Lines(ReadFile(Path("out")));  // printed while the noise goes on
        EXPECT_TRUE(unread || (lines.size() > 100 && lines[0].find("4096 bytes not understood: 00 00") != std::string::npos));
        kill(child, SIGINT);
        const auto [code, megabytes] = Finish(child, 5);
        close(line), close(full[0]), close(full[1]);
        EXPECT_EQ(code, 0) << "ended by Ctrl+C";
        EXPECT_LT(megabytes, 100) << "noise is not kept";
    }
}

// The most memory a run takes beyond a small run of the same command, in MB:
// about four times the input plus what the result needs.
TEST_F(CliTest, MemoryStaysWithinAFewTimesTheInput) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's shadow memory and quarantine change the figures";
#endif
    std::string euro = "Servo1.Program=[Wait 5]\r\n";  // 16 MB that triple as UTF-8
    while (euro.size() < (16u << 20)) euro += std::string(98, '\x80') + "\r\n";
    const std::string small = ProjectFile("small.kva", {"Wait 5\r\n"}), jaw = " --fps 10 --closed 0 --open 90";
    const std::string wide = Write("wide.wav", WavBytes(std::vector<int16_t>(1024 * 100, 99), 8000, 1024));  // 1,024 channels
    const struct {
        std::string baseline, run;
        long allowed;
    } cases[] = {{"build " + small, "build " + Write("euro.kva", euro), 16 * 4 + 8},
                 {"jaw " + Write("one.wav", WavBytes({1, 2}, 8000)) + jaw, "jaw " + wide + jaw, 16}};
    for (const auto& c : cases) {
        const auto run = [&](const std::string& line) {
            std::istringstream words(line);
            return Finish(Start({std::istream_iterator<std::string>(words), {}}), 30);
        };
        const auto [code0, base] = run(c.baseline);
        const auto [code, used] = run(c.run);
        EXPECT_EQ(code0, code);
        EXPECT_LT(used - base, c.allowed) << c.run << ": " << used << " MB against " << base << " MB";
    }
}

// play and send on a pseudo-terminal, with the program running beside the test.
class PlayTest : public CliTest {
protected:
    // Runs the program and reads the line until it has ended and nothing more
    // arrives; `onBytes` hears how much has arrived so far.
    std::string Drain(std::vector<std::string> args, int& code, const std::function<void(pid_t, size_t)>& onBytes = {}) {
        const pid_t child = Start(std::move(args));
        std::string bytes;
        for (bool running = true;;) {
            pollfd p{pty_.MasterFd(), POLLIN, 0};
            if (poll(&p, 1, running ? 10 : 100) > 0) {
                char buffer[4096];
                const ssize_t n = read(pty_.MasterFd(), buffer, sizeof buffer);
                if (n > 0) bytes.append(buffer, size_t(n));
                if (onBytes) onBytes(child, bytes.size());
                continue;
            }
            if (!running) return bytes;
            int status = 0;
            if (waitpid(child, &status, WNOHANG) == child) {
                running = false;
                code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
        }
    }

    bool Has(const std::string& file, const std::string& text) const {
        return ReadFile(Path(file)).find(text) != std::string::npos;
    }
    // Runs monitor on a raw pseudo-terminal of its own, sends it `bytes` once it
    // listens, and stops it with Ctrl+C when `done` holds (or after 5 s); its exit code.
    int Monitor(std::vector<std::string> args, const std::string& bytes, const std::function<bool()>& done) const {
        kestrova::testing::Pty line;
        termios raw;
        tcgetattr(line.SlaveFd(), &raw);
        cfmakeraw(&raw);
        tcsetattr(line.SlaveFd(), TCSANOW, &raw);
        args.insert(args.begin(), {"monitor", "--device", line.Path()});
        const pid_t child = Start(args);
        for (int i = 0; i < 500 && !Has("err", "Ctrl+C stops"); ++i) usleep(10000);
        EXPECT_EQ(write(line.MasterFd(), bytes.data(), bytes.size()), ssize_t(bytes.size()));
        for (int i = 0; i < 500 && !done(); ++i) usleep(10000);
        kill(child, SIGINT);
        return Finish(child, 10).first;
    }

    kestrova::testing::Pty pty_;
    const std::string device_ = pty_.Path();
};

// What play puts on the line, then monitor on a second pseudo-terminal fed
// those bytes.
TEST_F(PlayTest, PutsTheFrameTableOnTheLineAtTheRateAndMonitorReadsIt) {
    Project project;
    StartNewProject(project);
    ASSERT_TRUE(LoadProjectBytes(ReadFile(kExample), project).ok);
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    const int32_t frames = project.Frames.UpperBound();
    // From frame 40, the servos that are both used and enabled, in order, after the synch byte 255.
    std::string expected;
    for (int32_t f = 40; f <= frames; ++f)
        for (int s : {0, 1, 2, 3}) expected += {char(255), char(s), char(project.Frames[f][s])};
    const auto start = std::chrono::steady_clock::now();
    int code = -1;
    const std::string sent = Drain({"play", kExample, "--device", device_, "--fps", "30", "--from", "40"}, code);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_EQ(code, 0) << ReadFile(Path("err"));
    EXPECT_EQ(sent, expected);
    EXPECT_GT(seconds, (frames - 40) / 30.0);

    std::vector<std::string> commands;  // "servo S  position P", servos from 1
    for (size_t i = 0; i + 2 < sent.size(); i += 3) {
        char text[48];
        snprintf(text, sizeof text, "servo %2d  position %3d", sent[i + 1] + 1, uint8_t(sent[i + 2]));
        commands.push_back(text);
    }
    for (const bool live : {false, true}) {
        std::vector<std::string> args{"--baud", "9600", "--synch", "255"};
        if (live) args.push_back("--live");
        const std::string last = live ? std::to_string(commands.size()) + " commands" : commands.back();
        EXPECT_EQ(Monitor(args, std::string{char(1), char(2)} + sent, [&] { return Has("out", last); }), 0);
        EXPECT_TRUE(Has("err", "Stopped. " + std::to_string(commands.size()) + " commands, 2 bytes not understood."))
            << ReadFile(Path("err"));
        const std::vector<std::string> lines = Lines(ReadFile(Path("out")));
        if (live) {
            // The last picture: each servo's bar ends in its last position.
            ASSERT_GE(lines.size(), 17u);
            const std::string last = commands.back();  // servo 4, the last of each frame
            EXPECT_NE(lines[lines.size() - 14].find("] " + last.substr(last.size() - 3)), std::string::npos)
                << lines[lines.size() - 14];
            continue;
        }
        ASSERT_EQ(lines.size(), commands.size() + 1);
        EXPECT_NE(lines[0].find("2 bytes not understood: 01 02"), std::string::npos) << lines[0];
        double previous = 0;
        for (size_t i = 0; i < commands.size(); ++i) {
            const std::string& l = lines[i + 1];
            EXPECT_EQ(l.substr(l.find("ms  ") + 4), commands[i]);
            const double ms = std::stod(l);
            EXPECT_GE(ms, previous) << l;
            previous = ms;
        }
    }
}

// Each controller's stream from play, read back by monitor with the same
// protocol: every command the protocol's decoder finds in it, none misread.
struct Counter : ProtocolDecoder::Listener {
    size_t events = 0, lost = 0;
    void Event(const ControllerEvent&) override { ++events; }
    void NotUnderstood(const uint8_t*, size_t count, uint64_t) override { lost += count; }
};

TEST_F(PlayTest, MonitorReadsWhatPlaySendsForEveryController) {
    for (const std::string protocol : {"pololu", "pololu-chain", "ssc32"}) {
        SCOPED_TRACE(protocol);
        int code = -1;
        const std::string sent = Drain({"play", kExample, "--device", device_, "--fps", "30", "--from", "60",
                                        "--protocol", protocol, "--baud", "115200"},
                                       code);
        ASSERT_EQ(code, 0) << ReadFile(Path("err"));
        Counter counted;
        MakeDecoder(*ProtocolOfWord(protocol), 255)
            ->Feed(reinterpret_cast<const uint8_t*>(sent.data()), sent.size(), counted);
        ASSERT_GT(counted.events, 20u);
        EXPECT_EQ(counted.lost, 0u);
        const size_t expected = counted.events;
        EXPECT_EQ(Monitor({"--protocol", protocol}, sent, [&] { return Lines(ReadFile(Path("out"))).size() >= expected; }), 0);
        EXPECT_TRUE(Has("err", "Stopped. " + std::to_string(expected) + " commands, 0 bytes not understood."))
            << ReadFile(Path("err")) << ReadFile(Path("out"));
        EXPECT_TRUE(Has("out", protocol == "pololu-chain" ? "us  device 12" : "us"));
    }
}

TEST_F(PlayTest, CtrlCStopsALoopCleanly) {
    const std::string file = ProjectFile("loop.kva", {"Wait 5\r\n"});
    bool sent = false;  // Ctrl+C once the second pass is on its way
    int code = -1;
    const std::string line = Drain({"play", file, "--device", device_, "--loop", "--fps", "30"}, code,
                                   [&](pid_t child, size_t received) {
                                       if (!sent && received > 6 * 3) sent = kill(child, SIGINT) == 0;
                                   });
    EXPECT_TRUE(sent);
    EXPECT_EQ(code, 0);
    EXPECT_GT(line.size(), 6u * 3) << "more than one pass went out";
    EXPECT_EQ(line.size() % 3, 0u) << "no command was cut short";
    EXPECT_NE(ReadFile(Path("err")).find("Stopped."), std::string::npos);
}

TEST_F(PlayTest, SoundsThatAreNotFilesAreRefusedWithoutWaiting) {
    ASSERT_EQ(mkfifo(Path("fifo.wav").c_str(), 0600), 0);
    kestrova::testing::Pty other;  // a device whose reads would wait
    Project project;
    StartNewProject(project);
    project.Programs[0] = "Wait 20";
    project.WavCues = {WavCue{}, WavCue{2, 99, "fifo.wav"}, WavCue{4, 99, other.Path()}};
    const pid_t child = Start({"play", Write("cues.kva", SaveText(project)), "--device", device_, "--fps", "30"});
    EXPECT_EQ(Finish(child, 10).first, 0);
    const std::string err = ReadFile(Path("err"));
    for (const std::string& path : {Path("fifo.wav"), other.Path()})
        EXPECT_NE(err.find(path + ": it is not a regular file"), std::string::npos) << err;
}

TEST_F(PlayTest, SendWritesOneCommand) {
    int code = -1;
    EXPECT_EQ(Drain({"send", "4", "200", "--device", device_, "--synch", "255"}, code),
              std::string({char(255), char(3), char(200)}));
    EXPECT_EQ(code, 0);
}

// With the project, send steps a capped servo from where it stands to the
// target within its caps, refuses a target outside its limits, and sends an
// unknown or uncapped servo its target once. Ctrl+C ends a slow move at once.
TEST_F(PlayTest, SendWithTheProjectKeepsTheServosCapsAndLimits) {
    Project project;
    StartNewProject(project);
    project.Settings.SynchByte = 255;
    ServoRecord& capped = project.Servos[2];
    capped.Min = 20;
    capped.Home = 100;
    capped.Max = 200;
    capped.MaxSpeed = 300;  // at 30 frames a second 10 a frame, 1 more a frame
    capped.MaxAccel = 900;
    project.Servos[3].MaxSpeed = 3;
    const std::string file = Write("caps.kva", SaveText(project));
    struct Case {
        std::vector<std::string> args;
        int code;
        size_t commands;  // 0: stepped, many
        int32_t from, to;
        std::string err;
    } cases[] = {
        {{"send", "3", "180", "--from", "40"}, 0, 0, 40, 180, ""},
        {{"send", "3", "25", "--from", "200", "--fps", "15"}, 0, 0, 200, 25, ""},
        {{"send", "3", "180"}, 0, 1, 0, 180, "Servo 3: position unknown, sent once without the caps.\n"},
        {{"send", "1", "180", "--from", "40"}, 0, 1, 0, 180, ""},
        {{"send", "3", "201", "--from", "40"}, 2, 0, 0, 0, "Servo 3: 201 is outside its limits (20 to 200); nothing was sent.\n"},
    };
    for (Case& c : cases) {
        SCOPED_TRACE(c.args[1] + " " + c.args[2]);
        c.args.insert(c.args.end(), {"--project", file, "--device", device_});
        int code = -1;
        const std::string line = Drain(c.args, code);
        EXPECT_EQ(code, c.code);
        EXPECT_EQ(ReadFile(Path("err")), c.err);
        if (c.code != 0) {
            EXPECT_EQ(line, "");
            continue;
        }
        ASSERT_EQ(line.size() % 3, 0u);
        std::vector<int32_t> path{c.from};
        for (size_t i = 0; i < line.size(); i += 3) {
            EXPECT_EQ(uint8_t(line[i]), 255);
            EXPECT_EQ(line[i + 1] + 1, std::stoi(c.args[1]));
            path.push_back(uint8_t(line[i + 2]));
        }
        EXPECT_EQ(path.back(), c.to);
        if (c.commands) {
            EXPECT_EQ(path.size(), c.commands + 1);
            continue;
        }
        const int fps = c.args.size() > 5 && c.args[5] == "--fps" ? std::stoi(c.args[6]) : 30;
        EXPECT_GT(path.size(), 5u);
        for (size_t k = 1; k < path.size(); ++k) {
            EXPECT_LE(std::abs(path[k] - path[k - 1]), 300 / fps + 1) << k;
            if (k >= 2) {
                EXPECT_LE(std::abs(path[k] - 2 * path[k - 1] + path[k - 2]), 900 / fps / fps + 2) << k;
            }
        }
    }
    bool sent = false;  // Ctrl+C once the slow move is on its way
    int code = -1;
    const auto start = std::chrono::steady_clock::now();
    const std::string line = Drain({"send", "4", "10", "--from", "200", "--project", file, "--device", device_}, code,
                                   [&](pid_t child, size_t received) {
                                       if (!sent && received >= 3 * 3) sent = kill(child, SIGINT) == 0;
                                   });
    EXPECT_TRUE(sent);
    EXPECT_EQ(code, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_LT(line.size(), 10u * 3);
    EXPECT_NE(ReadFile(Path("err")).find("Stopped at"), std::string::npos);
}

TEST_F(PlayTest, NoSoundFileHangsOrStopsPlaybackAndOneThatCannotPlayIsReportedOnce) {
    kestrova::testing::NullSink sink;
    Write("header-only.wav", WavBytes({}, 8000));
    Write("cut-short.wav", WavBytes(Square(800, 8000), 8000, 1, 16000 * 3));
    Write("claims-2gb.wav", WavBytes(Square(800, 8000), 8000, 1, 0x7fff0000u));
    Write("good.wav", WavBytes(Square(1600, 8000), 8000));
    Project project;
    StartNewProject(project);
    project.Programs[0] = "Wait 20";
    project.WavCues = {WavCue{}, WavCue{2, 99, "header-only.wav"}, WavCue{4, 99, "cut-short.wav"},
                       WavCue{6, 99, "claims-2gb.wav"}, WavCue{8, 99, "good.wav"}, WavCue{10, 99, "header-only.wav"}};
    const std::string file = Write("cues.kva", SaveText(project));
    for (int run = 0; run < 3; ++run) {
        int code = -1;
        const std::string line = Drain({"play", file, "--device", device_, "--fps", "30"}, code);
        EXPECT_EQ(code, 0);
        EXPECT_EQ(line.size(), 21u * 3) << "every frame went out";
        const std::string err = ReadFile(Path("err"));
        const size_t first = err.find("Sound Not Played: ");
        EXPECT_NE(first, std::string::npos) << err;
        EXPECT_EQ(err.find("Sound Not Played: ", first + 1), std::string::npos) << "reported once: " << err;
        EXPECT_NE(err.find("header-only.wav: "), std::string::npos) << err;
        for (const char* plays : {"cut-short", "claims-2gb", "good"}) EXPECT_EQ(err.find(plays), std::string::npos) << err;
    }
}

}  // namespace
