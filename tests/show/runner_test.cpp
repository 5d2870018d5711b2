#include "show/runner.h"
#include "show/show_setup.h"

#include "link/mini_ssc_decoder.h"
#include "link/pty.h"
#include "link/live_output.h"
#include "link/serial_link.h"
#include "playback/serial_link_output.h"

#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>
#include <sstream>

#include <unistd.h>

namespace kestrova::show {
namespace {

const std::string kExample = KESTROVA_EXAMPLES "/waving-robot.kva";

RunnerProject Example() {
    std::string problem;
    std::vector<std::string> sounds;
    std::optional<RunnerProject> p = LoadRunnerProject(kExample, "robot", problem, sounds);
    if (!p) ADD_FAILURE() << problem;
    return p ? std::move(*p) : RunnerProject{};
}

std::vector<RunnerProject> OneShow() {
    std::vector<RunnerProject> shows;
    shows.push_back(Example());
    return shows;
}

// Time that passes only when the runner waits; scripted triggers arrive
// at their times and cut the wait short, as real ones do.
class FakeClock : public RunnerClock {
public:
    double now = 0;
    double triggerEveryMs = 0;  // a trigger at each multiple, from the first
    double nextTrigger = 0;
    double NowMs() override { return now; }
    void WaitUntil(double deadline) override { now = std::max(now, deadline); }
    int32_t MinuteOfDay() override { return 12 * 60; }
    void WaitOrWake(double deadline, TriggerInbox& inbox) override {
        if (triggerEveryMs > 0 && nextTrigger <= deadline) {
            now = std::max(now, nextTrigger);
            nextTrigger += triggerEveryMs;
            inbox.Post(TriggerEvent{"osc", "", false, true});
            return;
        }
        now = std::max(now, deadline);
    }
};

// Checks every write as it comes: no gap longer than a frame, and every
// sound starts exactly when the frame of its cue is written.
class CheckingOutput : public PlaybackOutput {
public:
    explicit CheckingOutput(FakeClock& clock) : clock_(clock) {}
    int32_t PortNumber() const override { return 1; }
    bool IsOpen() const override { return open_; }
    bool Open(std::string& reason) override {
        if (failOpens > 0) {
            --failOpens;
            reason = "gone";
            return false;
        }
        return open_ = true;
    }
    void Close() override { open_ = false; }
    bool WriteCommands(const std::vector<uint8_t>& bytes, std::string& reason) override {
        if (failWrites > 0) {
            --failWrites;
            reason = "unplugged";
            return false;
        }
        const double t = clock_.NowMs();
        if (writes > 0) maxGap = std::max(maxGap, t - last);
        last = t;
        ++writes;
        lastBytes = bytes;
        for (auto it = soundsDue.begin(); it != soundsDue.end();) {
            if (*it <= t + 1e-6) {
                if (std::abs(*it - t) > 1e-6) ++soundOffFrame;
                it = soundsDue.erase(it);
            } else {
                ++it;
            }
        }
        return true;
    }
    int failOpens = 0, failWrites = 0;
    int64_t writes = 0, soundOffFrame = 0;
    double last = 0, maxGap = 0;
    std::vector<double> soundsDue;
    std::vector<uint8_t> lastBytes;

private:
    FakeClock& clock_;
    bool open_ = false;
};

class RecordingSound : public SoundOutput {
public:
    RecordingSound(FakeClock& clock, CheckingOutput& output) : clock_(clock), output_(output) {}
    void Play(const std::string&, double delayMs) override {
        ++plays;
        output_.soundsDue.push_back(clock_.NowMs() + delayMs);
    }
    void Stop(double) override {}
    int64_t plays = 0;

private:
    FakeClock& clock_;
    CheckingOutput& output_;
};

long ResidentKb() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

struct Rig {
    FakeClock clock;
    CheckingOutput output{clock};
    RecordingSound sound{clock, output};
    TriggerInbox inbox;
    std::ostringstream logText;
    std::ostream discard{nullptr};
    ShowLog log;
    ShowFile file;
    // The log's text is kept, or dropped where the test counts memory.
    explicit Rig(bool keepLog = true) : log(keepLog ? static_cast<std::ostream&>(logText) : discard, [] { return "T"; }) {
        file.shows = {{"robot", ""}};
        file.cooldownMs = 500;
        file.warmUpMs = 200;
    }
};

// Idle, show and cooldown ten thousand times over: the servos never wait
// longer than a frame at a hand-over, each sound starts on its frame in the
// last cycle as in the first, and memory stays where it was.
TEST(ShowRunner, TenThousandCyclesKeepTimeAndMemory) {
    Rig rig(false);
    rig.clock.triggerEveryMs = 6000;  // the show takes 79 frames (5.3 s)
    rig.clock.nextTrigger = 1000;
    ShowRunner runner(rig.file, Example(), OneShow(), rig.output, rig.sound, rig.clock, rig.inbox, rig.log, 7);
    long afterThousand = 0, afterAll = 0;
    runner.SetHeartbeat([&] {
        const int32_t played = runner.Status().showsPlayed;
        if (played == 1000 && afterThousand == 0) afterThousand = ResidentKb();
        if (played == 10000 && runner.Status().state == RunState::Cooldown) {
            afterAll = ResidentKb();
            runner.RequestStop();
        }
    });
    EXPECT_EQ(runner.Run(), 0);
    EXPECT_EQ(runner.Status().showsPlayed, 10000);
    EXPECT_LE(rig.output.maxGap, 1000.0 / 15 + 1e-6);
    EXPECT_EQ(rig.output.soundOffFrame, 0);
    EXPECT_GT(rig.sound.plays, 10000);
#ifndef __SANITIZE_ADDRESS__  // the sanitizer's quarantine keeps freed memory resident
    EXPECT_LT(afterAll - afterThousand, 1024) << "kB grown from the 1000th cycle to the 10000th";
#endif
    EXPECT_FALSE(rig.output.IsOpen());
}

// A port that fails is tried again every few seconds and the show goes on;
// triggers meanwhile are ignored and said so.
TEST(ShowRunner, LostPortIsRetried) {
    Rig rig;
    rig.output.failOpens = 2;
    rig.clock.triggerEveryMs = 2000;
    rig.clock.nextTrigger = 500;
    ShowRunner runner(rig.file, Example(), OneShow(), rig.output, rig.sound, rig.clock, rig.inbox, rig.log, 7);
    bool unplugged = false;
    runner.SetHeartbeat([&] {
        if (rig.output.writes == 30 && !unplugged) {
            unplugged = true;
            rig.output.failWrites = 1;
        }
        if (runner.Status().showsPlayed >= 2) runner.RequestStop();
    });
    runner.Run();
    const std::string log = rig.logText.str();
    EXPECT_NE(log.find("trying again every 3 s"), std::string::npos) << log;
    EXPECT_NE(log.find("Port back"), std::string::npos) << log;
    EXPECT_NE(log.find("ignored (the port is lost)"), std::string::npos) << log;
    EXPECT_EQ(runner.Status().showsPlayed, 2);
}

// A project of its own for the pty: servo 1 follows `at` for `frames`
// frames, servo 2 stands at 127, both capped at 12 positions a frame and 3
// a frame per frame at 15 frames a second; no other servo and no sound.
constexpr int kSpeed = 12, kAccel = 3;
RunnerProject CappedProject(const std::string& name, int32_t frames, int32_t (*at)(int32_t)) {
    RunnerProject p = Example();
    p.name = name;
    p.project.WavCues = WavCueList(1);
    FrameTable table;
    table.Grow(frames);
    for (int32_t f = 1; f <= frames; ++f) {
        table.Fill(0, f, f, at(f));
        table.Fill(1, f, f, 127);
    }
    p.project.Frames = std::move(table);
    for (int s = 0; s < kServoCount; ++s) {
        ServoRecord& servo = p.project.Servos[s];
        servo.Used = servo.Enabled = s < 2;
        servo.MaxSpeed = kSpeed * 15;
        servo.MaxAccel = kAccel * 15 * 15;
    }
    return p;
}

// On the real clock and a pseudo-terminal, with the servos capped: the idle
// sweeps at full speed when the trigger comes, the show starts far from
// there on the other side, and a stop comes after the cooldown's idle or in
// the middle of the show. Every frame the pty receives, lead-ins included,
// keeps within the caps across every hand-over, frames follow each other a
// period apart, and the stop leaves the servo at the idle's first frame.
TEST(ShowRunner, HandOverOnPtyKeepsTheCaps) {
    struct Case {
        const char* what;
        bool stopInShow;
    };
    for (const Case& c : {Case{"stop after the cooldown", false}, Case{"stop during the show", true}}) {
        SCOPED_TRACE(c.what);
        testing::Pty pty;
        SerialLink link;
        link.SetDeviceOverride(pty.Path());
        SerialLinkOutput output(link);
        SteadyRunnerClock clock;
        struct NoSound : SoundOutput {
            void Play(const std::string&, double) override {}
            void Stop(double) override {}
        } sound;
        TriggerInbox inbox;
        std::ostringstream logText;
        ShowLog log(logText);
        ShowFile file;
        file.shows = {{"show", ""}};
        file.cooldownMs = 300;
        file.onStop = StopAction::IdleFirstFrame;
        // The idle sweeps from 127 up to 247, down to 7 and back at the
        // speed cap; the show starts at 10 and ends at 245.
        auto idleAt = [](int32_t f) { return f <= 10 ? 127 + 12 * f : f <= 30 ? 247 - 12 * (f - 10) : 7 + 12 * (f - 30); };
        auto showAt = [](int32_t f) { return f <= 8 ? 10 : std::min(245, 10 + 30 * (f - 8)); };
        std::vector<RunnerProject> shows;
        shows.push_back(CappedProject("show", 20, showAt));
        ShowRunner runner(file, CappedProject("idle", 40, idleAt), std::move(shows), output, sound, clock, inbox, log,
                          1);
        runner.UseMotion(link.Live().Motion());

        std::atomic<bool> done{false};
        std::vector<std::pair<double, std::vector<uint8_t>>> reads;
        std::thread reader([&] {
            while (!done) {
                std::vector<uint8_t> bytes = pty.Read(SIZE_MAX, 5);
                if (!bytes.empty()) reads.emplace_back(clock.NowMs(), std::move(bytes));
            }
        });
        double showEnded = 0;
        bool triggered = false, stopped = false;
        runner.SetHeartbeat([&] {
            const double now = clock.NowMs();
            const RunnerStatus status = runner.Status();
            if (!triggered && status.frame == 6) {
                // Just after the idle's fifth frame, on the way up at full speed.
                triggered = true;
                inbox.Post(TriggerEvent{"key", "", false, true});
            }
            if (status.state == RunState::Cooldown && showEnded == 0) showEnded = now;
            const bool stop = c.stopInShow ? status.show == "show" && status.frame >= 12
                                           : showEnded > 0 && now - showEnded > 1500;
            if (stop && !stopped) runner.RequestStop();  // once: the idle's first frame is on its way after it
            stopped = stopped || stop;
        });
        EXPECT_EQ(runner.Run(), 0);
        done = true;
        reader.join();
        const std::string text = logText.str();
        EXPECT_NE(text.find("Show end: show"), std::string::npos) << text;
        EXPECT_EQ(text.find("Show end: show (stopped)") != std::string::npos, c.stopInShow) << text;

        // Servo 1's position in each frame, and when its frame arrived.
        struct Frames : MiniSscDecoder::Listener {
            double at = 0;
            std::vector<std::pair<double, int>> servo1;
            void Command(const DecodedCommand& command) override {
                if (command.servo == 0) servo1.emplace_back(at, command.position);
            }
            void NotUnderstood(const uint8_t*, size_t, uint64_t) override { ADD_FAILURE() << "stray bytes"; }
        } frames;
        MiniSscDecoder decoder;
        for (const auto& [at, bytes] : reads) {
            frames.at = at;
            decoder.Feed(bytes.data(), bytes.size(), frames);
        }
        const auto& f = frames.servo1;
        ASSERT_GT(f.size(), 40u);
        const double period = 1000.0 / 15;
        bool passedTheShowsStart = false;
        for (size_t i = 1; i < f.size(); ++i) {
            // A loaded machine delays the reader a little either way.
            EXPECT_LT(f[i].first - f[i - 1].first, period + 25) << "frame " << i;
            EXPECT_GT(f[i].first - f[i - 1].first, period - 25) << "frame " << i;
            const int step = f[i].second - f[i - 1].second;
            // Rounded to whole positions, a step is within a position of the
            // limiter's and so within the cap; a change of step within two.
            EXPECT_LE(std::abs(step), kSpeed) << "frame " << i;
            if (i >= 2) {
                EXPECT_LE(std::abs(step - (f[i - 1].second - f[i - 2].second)), kAccel + 1) << "frame " << i;
            }
            passedTheShowsStart = passedTheShowsStart || f[i].second == 10;
        }
        EXPECT_TRUE(passedTheShowsStart);
        EXPECT_EQ(f.back().second, idleAt(1));  // the idle's first frame
    }
}

}  // namespace
}  // namespace kestrova::show
