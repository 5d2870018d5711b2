// Live capture latency: from an input event to its servo command on the
// wire. A take of 20 s at 30 frames per second plays into a pseudo-terminal
// while another thread moves the armed servo's control to a new position
// every 50 to 90 ms (random); the reader notes when each command arrives.
// The latency of an event is the time from the control's change to the
// first command carrying its position.
//
// Paths: an SDL virtual joystick's axis (the gamepad path, through SDL's
// own event queue), and OSC datagrams over UDP on the loopback address
// (sent with liblo, read by the OSC source's thread). Load: a quiet
// machine, or two busy processes this benchmark starts and ends itself;
// the project's priority Normal (0) or Very High (2).
//
// Figures: p50_ms, p99_ms, max_ms of the latency; budget_ms, one frame
// period plus the command's 3 bytes at 9600 baud; events, misses (events
// never seen on the wire, overtaken by the next before a frame).
#include "burst_clock.h"
#include "capture/gamepad_source.h"
#include "capture/osc_source.h"
#include "capture/take.h"
#include "core/compiler.h"
#include "link/serial_link.h"
#include "playback/serial_link_output.h"

#include <SDL.h>
#include <benchmark/benchmark.h>
#include <lo/lo.h>

#include <csignal>
#include <mutex>
#include <random>
#include <sys/wait.h>

using namespace kestrova;
using kestrova::bench::Clock;

namespace {

constexpr int kFps = 30;
constexpr int kFrames = 600;
constexpr int kServo = 1;

struct Command {
    double ms;
    uint8_t servo, position;
};

// Reads whole commands off the master side as soon as they come.
class Wire {
public:
    Wire() {
        path_ = bench::OpenRawPty(master_, slave_);
        reader_ = std::thread([this] { Read(); });
    }
    ~Wire() {
        done_ = true;
        reader_.join();
        close(master_);
        close(slave_);
    }
    const std::string& Path() const { return path_; }
    std::vector<Command> Commands() {
        std::lock_guard lock(mutex_);
        return commands_;
    }

private:
    void Read() {
        // The controller's receiver is always listening: real-time where the system allows.
        sched_param param{};
        param.sched_priority = sched_get_priority_max(SCHED_FIFO);
        pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
        std::vector<uint8_t> pending;
        while (!done_) {
            pollfd p{master_, POLLIN, 0};
            if (poll(&p, 1, 5) <= 0) continue;
            uint8_t buffer[256];
            const ssize_t n = read(master_, buffer, sizeof buffer);
            if (n <= 0) continue;
            const double ms = std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count();
            pending.insert(pending.end(), buffer, buffer + n);
            std::lock_guard lock(mutex_);
            size_t i = 0;
            for (; i + 3 <= pending.size(); i += 3) commands_.push_back({ms, pending[i + 1], pending[i + 2]});
            pending.erase(pending.begin(), pending.begin() + long(i));
        }
    }
    int master_ = -1, slave_ = -1;
    std::string path_;
    std::atomic<bool> done_{false};
    std::thread reader_;
    std::mutex mutex_;
    std::vector<Command> commands_;
};

double NowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

// Two processes that spin until this ends them.
struct Busy {
    std::vector<pid_t> children;
    explicit Busy(int count) {
        for (int i = 0; i < count; ++i) {
            const pid_t pid = fork();
            if (pid == 0) {
                volatile uint64_t spin = 0;
                for (;;) spin = spin + 1;
            }
            children.push_back(pid);
        }
    }
    ~Busy() {
        for (const pid_t pid : children) kill(pid, SIGKILL);
        for (const pid_t pid : children) waitpid(pid, nullptr, 0);
    }
};

struct Event {
    double ms;
    int position;
};

// Plays the take while `move(position)` changes the control from another thread.
template <typename Move>
void RunTake(benchmark::State& state, InputSource& source, const ControlId& control, Move move) {
    Busy busy(int(state.range(1)));
    Wire wire;
    Project project;
    StartNewProject(project);
    project.Programs[0] = "Wait " + std::to_string(kFrames);
    project.Servos[kServo].Min = 0;
    project.Servos[kServo].Max = 254;
    project.Settings.BaudRate = 1;
    project.Settings.SystemPriority = int32_t(state.range(0));
    BuildAnimation(project);
    SerialLink link;
    link.ApplyCommSettings(project.Settings);
    link.SetDeviceOverride(wire.Path());
    SerialLinkOutput output(link);
    QuietPlaybackView view(kFps);
    struct : SoundOutput {
        void Play(const std::string&, double) override {}
        void Stop(double) override {}
    } silence;
    PlaybackEngine engine(project, output, silence, view);
    Mapping mapping;
    mapping[kServo] = Binding{control, false};
    TakePlan plan{2, kFrames, 0, 0, {}};
    plan.armed[kServo] = true;
    CaptureSession session(project, mapping, {&source}, {}, plan, [&] { engine.bStop = true; });
    engine.SetFrameOverride(&session);

    std::vector<Event> events;
    std::atomic<bool> playing{true};
    std::thread performer([&] {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> gap(50, 90);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int k = 0; playing; ++k) {
            const int position = 20 + (k * 37) % 200;
            events.push_back({NowMs(), position});
            move(position);
            std::this_thread::sleep_for(std::chrono::milliseconds(gap(random)));
        }
    });
    for (auto _ : state) engine.PlayAnimation(1, kFrames + 1);
    playing = false;
    performer.join();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));

    const std::vector<Command> commands = wire.Commands();
    std::vector<double> latencies;
    int misses = 0;
    size_t from = 0;
    for (size_t e = 0; e + 1 < events.size(); ++e) {
        while (from < commands.size() && commands[from].ms < events[e].ms) ++from;
        bool seen = false;
        for (size_t c = from; c < commands.size() && commands[c].ms < events[e + 1].ms + 100; ++c) {
            if (commands[c].servo == kServo && commands[c].position == events[e].position) {
                latencies.push_back(commands[c].ms - events[e].ms);
                seen = true;
                break;
            }
        }
        misses += seen ? 0 : 1;
    }
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double q) { return latencies.empty() ? -1 : latencies[size_t(q * double(latencies.size() - 1))]; };
    state.counters["p50_ms"] = at(0.5);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = latencies.empty() ? -1 : latencies.back();
    state.counters["budget_ms"] = 1000.0 / kFps + 3 * 10 * 1000.0 / 9600;
    state.counters["events"] = double(events.size());
    state.counters["misses"] = misses;
    state.counters["dropped_frames"] = engine.DroppedFrames();
    state.counters["captured"] = session.Recording().FramesCaptured();
}

void BM_GamepadToWire(benchmark::State& state) {
    GamepadSource pads(0.0);
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 4, 0);
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    pads.Poll();
    const ControlId axis{SourceKind::Gamepad, pads.Devices().at(0), 0};
    RunTake(state, pads, axis, [&](int position) {
        // The raw value that reads as this position.
        const double value = position / 254.0;
        SDL_JoystickSetVirtualAxis(pad, 0, Sint16(std::lround(value * 65535.0 - 32768.0)));
    });
    SDL_JoystickClose(pad);
    SDL_JoystickDetachVirtual(index);
}

void BM_OscToWire(benchmark::State& state) {
    OscSource osc(0);
    lo_address to = lo_address_new("127.0.0.1", std::to_string(osc.Port()).c_str());
    RunTake(state, osc, ControlId{SourceKind::Osc, {}, 1}, [&](int position) {
        lo_send(to, "/kestrova/servo/1", "f", float(position / 254.0));
    });
    lo_address_free(to);
}

}  // namespace

// Arguments: (the project's priority setting, busy processes).
BENCHMARK(BM_GamepadToWire)->ArgsProduct({{0, 2}, {0, 2}})->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OscToWire)->ArgsProduct({{0, 2}, {0, 2}})->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
