// Trigger to first frame: how long after an OSC message or an HTTP request
// leaves the sender the show's first frame is written, with the idle
// playing. Goal: within one frame period (66.7 ms at 15 frames a second)
// at the 99th percentile. Counters p50_ms, p99_ms and max_ms.
#include "show/http_trigger.h"
#include "../tests/support/free_port.h"
#include "show/osc_trigger.h"
#include "show/runner.h"
#include "show/show_setup.h"

#include <QCoreApplication>
#include <QThread>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <sstream>
#include <thread>

namespace {

using namespace kestrova;
using namespace kestrova::show;
using Clock = std::chrono::steady_clock;

double NowMs() { return std::chrono::duration<double, std::milli>(Clock::now().time_since_epoch()).count(); }

// Notes when the first frame of a show is written.
class TimingOutput : public PlaybackOutput {
public:
    ShowRunner* runner = nullptr;
    std::atomic<double> shownAt{0};
    std::atomic<bool> inShow{false};
    int32_t PortNumber() const override { return 1; }
    bool IsOpen() const override { return open_; }
    bool Open(std::string&) override { return open_ = true; }
    void Close() override { open_ = false; }
    bool WriteCommands(const std::vector<uint8_t>&, std::string&) override {
        const bool show = !runner->Status().show.empty();
        if (show && !inShow) shownAt = NowMs();
        inShow = show;
        return true;
    }

private:
    bool open_ = false;
};

struct NoSound : SoundOutput {
    void Play(const std::string&, double) override {}
    void Stop(double) override {}
};

RunnerProject Load(int32_t frames) {
    std::string problem;
    std::vector<std::string> sounds;
    RunnerProject p = *LoadRunnerProject(KESTROVA_EXAMPLES "/waving-robot.kva", "robot", problem, sounds);
    if (frames > 0) {
        // A short show, so that the benchmark spends its time on triggers.
        FrameTable short_;
        short_.Grow(frames);
        for (int32_t f = 1; f <= frames; ++f) {
            for (int slot = 0; slot < kFrameSlots; ++slot) short_.Fill(slot, f, f, p.project.Frames[f][slot]);
        }
        p.project.Frames = std::move(short_);
    }
    return p;
}

using kestrova::testing::FreePort;

sockaddr_in Loopback(int port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
}

void WaitForShow(const TimingOutput& output, double sent) {
    while (output.shownAt == 0 && NowMs() - sent < 2000) std::this_thread::sleep_for(std::chrono::microseconds(100));
}

void PumpEvents() { QCoreApplication::processEvents(); }

void TriggerLatency(benchmark::State& state, bool http) {
    const int oscPort = FreePort(SOCK_DGRAM), httpPort = FreePort(SOCK_STREAM);
    TimingOutput output;
    std::atomic<bool> ready{false};
    ShowRunner* runnerPointer = nullptr;
    // The runner on a thread of its own; this one sends the triggers.
    QThread* runnerThread = QThread::create([&] {
        NoSound sound;
        SteadyRunnerClock clock(&PumpEvents);
        TriggerInbox inbox;
        std::ostringstream logText;
        ShowLog log(logText);
        ShowFile file;
        file.shows = {{"robot", ""}};
        std::vector<RunnerProject> shows;
        shows.push_back(Load(3));
        ShowRunner runner(file, Load(0), std::move(shows), output, sound, clock, inbox, log, 1);
        output.runner = &runner;
        OscTrigger osc(inbox, "osc", oscPort, false);
        HttpTrigger web(inbox, "web", "127.0.0.1", httpPort, "", [] { return std::string("{}"); });
        std::string reason;
        if (!osc.Start(reason) || !web.Start(reason)) std::abort();
        runnerPointer = &runner;
        ready = true;
        runner.Run();
    });
    runnerThread->start();
    while (!ready) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    const int udp = ::socket(AF_INET, SOCK_DGRAM, 0);
    static const char kOsc[] = "/kestrova/trigger\0\0\0,\0\0\0";
    std::vector<double> latencies;
    for (auto _ : state) {
        // The show and its end are over; the idle plays a random part of a frame.
        while (output.inShow) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::microseconds(20000 + std::rand() % 70000));
        output.shownAt = 0;
        const double sent = NowMs();
        if (http) {
            const int tcp = ::socket(AF_INET, SOCK_STREAM, 0);
            const sockaddr_in a = Loopback(httpPort);
            ::connect(tcp, reinterpret_cast<const sockaddr*>(&a), sizeof a);
            const std::string request = "POST /trigger HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\n\r\n";
            ::send(tcp, request.data(), request.size(), MSG_NOSIGNAL);
            WaitForShow(output, sent);
            ::close(tcp);
        } else {
            const sockaddr_in a = Loopback(oscPort);
            ::sendto(udp, kOsc, sizeof kOsc - 1, 0, reinterpret_cast<const sockaddr*>(&a), sizeof a);
            WaitForShow(output, sent);
        }
        if (output.shownAt == 0) {
            state.SkipWithError("a trigger did not start the show within 2 s");
            break;
        }
        const double latency = output.shownAt - sent;
        latencies.push_back(latency);
        state.SetIterationTime(latency / 1000);
    }
    ::close(udp);
    runnerPointer->RequestStop();
    runnerThread->wait();
    delete runnerThread;
    if (latencies.empty()) return;
    std::sort(latencies.begin(), latencies.end());
    auto at = [&](double p) { return latencies[std::min(latencies.size() - 1, size_t(p * double(latencies.size())))]; };
    state.counters["p50_ms"] = at(0.5);
    state.counters["p99_ms"] = at(0.99);
    state.counters["max_ms"] = latencies.back();
}

void BM_OscTriggerToFirstFrame(benchmark::State& state) { TriggerLatency(state, false); }
void BM_HttpTriggerToFirstFrame(benchmark::State& state) { TriggerLatency(state, true); }
BENCHMARK(BM_OscTriggerToFirstFrame)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HttpTriggerToFirstFrame)->UseManualTime()->Iterations(200)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
