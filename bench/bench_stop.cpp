// The stop's latency: a show with every servo capped plays on a
// pseudo-terminal read at 9600 baud (the reader takes the bytes no faster
// than the line would carry them), and a stop is pressed at a random moment:
// an Escape key posted to the execution window's thread as the keyboard
// would (MotionStop catches it), or Ctrl+C sent to `kestrova-cli play`.
//
// latency: from the press to the last byte off the line. bound: one frame
// period plus the line time of the bytes queued at the press (those in the
// pseudo-terminal, which a real port's driver would hold). Medians of the
// runs, and how many ran over their bound.
// Arguments: servos playing, busy processes beside it, 0 Escape / 1 Ctrl+C.
#include "burst_clock.h"
#include "busy_processes.h"
#include "core/compiler.h"
#include "execution/motion_stop.h"
#include "files/kva_writer.h"
#include "link/live_output.h"
#include "link/serial_link.h"
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWidget>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/wait.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <random>

using namespace kestrova;
using namespace kestrova::bench;

namespace {

constexpr int kFps = 30;
constexpr int kBaud = 9600;
constexpr int kRuns = 7;
constexpr double kPeriodMs = 1000.0 / kFps;

double Ms(Clock::time_point t) { return std::chrono::duration<double, std::milli>(t.time_since_epoch()).count(); }

// The master side read at the line's rate, with a receiver's 16-byte FIFO.
class Line {
public:
    Line() : path_(OpenRawPty(master_, slave_)) {
        // The receiver never waits for a CPU: a real-time reader where the
        // system allows (as BurstClock's), so that busy processes slow the
        // player, not the line.
        reader_ = std::thread([this] {
            sched_param param{};
            param.sched_priority = 1;
            pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
            Read();
        });
    }
    ~Line() {
        done_ = true;
        reader_.join();
        close(master_);
        close(slave_);
    }
    const std::string& Path() const { return path_; }
    // Bytes written and not yet off the line.
    int Queued() const {
        int n = 0;
        ioctl(master_, FIONREAD, &n);
        return n;
    }
    // When the last byte came off the line, once nothing came for `quietMs`.
    double LastByteMs(double quietMs = 400) {
        for (;;) {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            std::lock_guard<std::mutex> lock(mutex_);
            if (Ms(Clock::now()) - last_ > quietMs) return last_;
        }
    }
    size_t Bytes() {
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

private:
    void Read() {
        double credit = 0;
        auto before = Clock::now();
        while (!done_) {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
            const auto now = Clock::now();
            credit = std::min(credit + std::chrono::duration<double>(now - before).count() * kBaud / 10.0, 16.0);
            before = now;
            uint8_t buffer[16];
            pollfd p{master_, POLLIN, 0};
            const ssize_t n = int(credit) > 0 && poll(&p, 1, 0) > 0 ? read(master_, buffer, size_t(int(credit))) : 0;
            if (n <= 0) {
                credit = std::min(credit, 1.0);  // an idle line saves nothing up
                continue;
            }
            credit -= double(n);
            std::lock_guard<std::mutex> lock(mutex_);
            last_ = Ms(now);
            bytes_ += size_t(n);
        }
    }

    int master_ = -1, slave_ = -1;
    std::string path_;
    std::atomic<bool> done_{false};
    std::mutex mutex_;
    double last_ = 0;
    size_t bytes_ = 0;
    std::thread reader_;
};

// `servos` servos swinging 40 to 220 and back for 20 s, each capped.
void MakeCappedShow(Project& project, int servos) {
    StartNewProject(project);
    project.Settings.BaudRate = 1;  // 9600
    for (int s = 0; s < servos; ++s) {
        std::string program;
        for (int k = 0; k < 15; ++k) program += "Mov 220, " + std::to_string(18 + s % 5) + "\r\nMov 40, 20\r\n";
        project.Programs[s] = program;
        project.Servos[s].MaxSpeed = 400;
        project.Servos[s].MaxAccel = 2000;
    }
    BuildAnimation(project);
}

struct Press {
    double atMs = 0;
    int queued = 0;
};

// Waits a random 1 to 3 s from now, then notes the press and makes it.
template <typename Act>
std::thread PressLater(std::mt19937& random, Line& line, Press& press, Act act) {
    const auto at = Clock::now() + std::chrono::milliseconds(1000 + random() % 2000);
    return std::thread([at, &line, &press, act] {
        std::this_thread::sleep_until(at);
        press.atMs = Ms(Clock::now());
        press.queued = line.Queued();
        act();
    });
}

struct Silence : SoundOutput {
    void Play(const std::string&, double) override {}
    void Stop(double) override {}
};

struct PumpingView : QuietPlaybackView {
    PumpingView() : QuietPlaybackView(kFps) {}
    void Pump() override { QCoreApplication::processEvents(); }
};

// One press during the execution window's playback: Escape.
Press EscapeRun(Project& project, std::mt19937& random, Line& line, const std::string& store) {
    SerialLink link;
    link.ApplyCommSettings(project.Settings);
    link.SetDeviceOverride(line.Path());
    SerialLinkOutput output(link);
    QWidget window;
    MotionStop stop(&window, link, project, StoreLocation{store});
    PumpingView view;
    Silence sound;
    PlaybackEngine engine(project, output, sound, view);
    engine.SetPrioritySetter([](int32_t) {});
    engine.SetMotion(&link.Live().Motion());
    Press press;
    std::thread presser = PressLater(random, line, press, [&window] {
        QCoreApplication::postEvent(&window, new QKeyEvent(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier));
    });
    engine.PlayAnimation(1, project.Frames.UpperBound());
    presser.join();
    return press;
}

// One press during `kestrova-cli play`: Ctrl+C.
Press CtrlCRun(const std::string& file, std::mt19937& random, Line& line, const std::string& home) {
    const pid_t child = fork();
    if (child == 0) {
        setenv("HOME", home.c_str(), 1);
        setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);
        freopen("/dev/null", "w", stderr);
        execl(KESTROVA_CLI, KESTROVA_CLI, "play", file.c_str(), "--device", line.Path().c_str(), "--fps", "30",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    Press press;
    std::thread presser = PressLater(random, line, press, [child] { kill(child, SIGINT); });
    presser.join();
    waitpid(child, nullptr, 0);
    return press;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

void BM_StopLatency(benchmark::State& state) {
    const int servos = int(state.range(0));
    const bool ctrlC = state.range(2) == 1;
    Project project;
    MakeCappedShow(project, servos);
    char folder[] = "/tmp/bench_stop.XXXXXX";
    const std::string dir = mkdtemp(folder);
    const std::string file = dir + "/show.kva";
    std::ofstream(file, std::ios::binary) << SaveText(project);
    std::mt19937 random(26);
    std::vector<double> latency, bound, queued;
    int over = 0;
    for (auto _ : state) {
        BusyProcesses busy(state.range(1));
        for (int run = 0; run < kRuns; ++run) {
            Line line;
            const Press press = ctrlC ? CtrlCRun(file, random, line, dir) : EscapeRun(project, random, line, dir);
            const double last = line.LastByteMs();
            latency.push_back(std::max(0.0, last - press.atMs));  // 0: nothing left after the press
            bound.push_back(kPeriodMs + press.queued * 10.0 * 1000.0 / kBaud);
            queued.push_back(press.queued);
            if (latency.back() > bound.back()) ++over;
        }
    }
    std::filesystem::remove_all(dir);
    state.counters["latency_ms"] = Median(latency);
    state.counters["bound_ms"] = Median(bound);
    state.counters["queued_bytes"] = Median(queued);
    state.counters["worst_over_ms"] = [&] {
        double worst = -1e9;
        for (size_t i = 0; i < latency.size(); ++i) worst = std::max(worst, latency[i] - bound[i]);
        return worst;
    }();
    state.counters["runs_over"] = over;
    state.counters["runs"] = double(latency.size());
}
BENCHMARK(BM_StopLatency)
    ->ArgNames({"servos", "busy", "ctrl_c"})
    ->Args({4, 0, 0})
    ->Args({16, 0, 0})
    ->Args({16, 2, 0})
    ->Args({4, 0, 1})
    ->Args({16, 0, 1})
    ->Args({16, 2, 1})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    // The keyboard device a key event names is made on first use, on this thread.
    QKeyEvent warm(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
