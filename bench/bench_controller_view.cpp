// The controller view's cost. One full repaint of the 16 dials, the poll
// that finds nothing new, and 150 frames of 8 servos played at 30 frames
// per second into the virtual controller at 9600 baud (24 bytes a frame,
// 25 of the 33 ms; 16 servos would not fit the line at this rate), the window's events pumped each
// frame, with the view shown (repainting at the screen's rate) and, as the
// reference, without it. Lateness is how long after its due time each
// frame's commands were written.
#include "core/compiler.h"
#include "link/serial_link.h"
#include "playback/playback_engine.h"
#include "playback/serial_link_output.h"
#include "ui/controller_view.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <vector>

using namespace kestrova;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 150;
constexpr int kFps = 30;

struct PumpingView : QuietPlaybackView {
    PumpingView() : QuietPlaybackView(kFps) {}
    void Pump() override { QApplication::processEvents(); }
};

struct Silence : SoundOutput {
    void Play(const std::string&) override {}
    void Stop() override {}
};

Project MovingProject() {
    Project project;
    StartNewProject(project);
    for (int s = 0; s < kServoCount / 2; ++s)
        project.Programs[s] = "Mov 20, " + std::to_string(10 + s) + "\r\nMov 230, 30\r\nMov 127, 40\r\nWait 100";
    BuildAnimation(project);
    return project;
}

ControllerState AllMoved(int position) {
    ControllerState state;
    state.position.fill(position);
    return state;
}

void BM_ViewRepaint(benchmark::State& state) {
    Project project = MovingProject();
    ControllerView view(project, [] { return AllMoved(200); });
    view.resize(view.sizeHint());
    view.Refresh();
    QImage image(view.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) view.render(&image);
}

void BM_ViewPollNothingNew(benchmark::State& state) {
    Project project = MovingProject();
    ControllerState received = AllMoved(90);
    ControllerView view(project, [&] { return received; });
    view.Refresh();
    for (auto _ : state) view.Refresh();
}

Clock::time_point start;
std::vector<double> sentMs;
void FrameSent(void*, int32_t) {
    sentMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
}

// state.range(0): 1 with the view shown.
void BM_PlaybackIntoVirtualController(benchmark::State& state) {
    Project project = MovingProject();
    std::vector<double> late;
    int repaints = 0;
    for (auto _ : state) {
        SerialLink link;
        link.ApplyCommSettings(project.Settings);
        link.SetDeviceOverride(kVirtualControllerDevice);
        ControllerView view(project, [&] { return link.Controller().State(); });
        if (state.range(0)) view.show();
        SerialLinkOutput output(link);
        PumpingView window;
        Silence sound;
        PlaybackEngine engine(project, output, sound, window);
        engine.SetPrioritySetter([](int32_t) {});
        engine.SetFrameSentHook(&FrameSent, nullptr);
        sentMs.clear();
        start = Clock::now();
        engine.PlayAnimation(1, kFrames);
        // Frame k is due k periods after the first.
        for (size_t k = 0; k < sentMs.size(); ++k) late.push_back(sentMs[k] - sentMs[0] - k * 1000.0 / kFps);
        repaints = view.RepaintRequests();
    }
    std::sort(late.begin(), late.end());
    state.counters["late_median_ms"] = late[late.size() / 2];
    state.counters["late_p99_ms"] = late[late.size() * 99 / 100];
    state.counters["late_max_ms"] = late.back();
    state.counters["repaints"] = repaints;
}

}  // namespace

BENCHMARK(BM_ViewRepaint)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_ViewPollNothingNew)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PlaybackIntoVirtualController)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
