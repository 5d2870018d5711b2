// The execution window on a long animation: UpdateGraph, painting the
// visible graph, and the window's memory beside the frame table.
#include "link/serial_link.h"
#include "execution/execution_window.h"
#include "timeline/timeline_view.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QSlider>

#include "burst_clock.h"
#include "long_sound.h"
#include "timeline/audio_lane.h"
#include "timeline/sound_peaks.h"
#include "core/compiler.h"
#include "playback/playback_engine.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

using namespace kestrova;

namespace {

Project& LongProject(int32_t frames) {
    static Project project;
    if (project.Frames.UpperBound() != frames) {
        project.Frames.Reset();
        project.Frames.Grow(frames);
        for (int32_t f = 1; f <= frames; ++f)
            for (int s = 0; s < kServoCount; ++s) project.Frames[f][s] = (f * (s + 1)) % 255;
        for (auto& servo : project.Servos) servo.Enabled = servo.Used = true;
        project.Built = true;
    }
    return project;
}

// A compiled show of a million frames: every servo sweeps back and forth,
// each at its own pace, as real programs do.
Project& CompiledProject() {
    static Project project;
    if (project.Frames.UpperBound() == 0) {
        StartNewProject(project);
        for (int s = 0; s < kServoCount; ++s) {
            const std::string pair = "Mov 230, " + std::to_string(20 + 7 * s) + "\r\nWait 3\r\nMov 20, " +
                                     std::to_string(25 + 5 * s) + "\r\n";
            std::string program;
            const int pairFrames = 20 + 7 * s + 3 + 25 + 5 * s;
            for (int f = 1; f + pairFrames < kMaxFrames; f += pairFrames) program += pair;
            project.Programs[s] = program;
        }
        BuildAnimation(project);
    }
    return project;
}

// Resident memory in kB.
long ResidentKb() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::atol(line.c_str() + 6);
    return 0;
}

void BM_UpdateGraph(benchmark::State& state) {
    Project& project = LongProject(static_cast<int32_t>(state.range(0)));
    SerialLink link;
    frmExe window(project, link, [] {});
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.UpdateGraph(true);
    for (auto _ : state) {
        window.UpdateGraph(true);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_UpdateGraph)->Arg(1'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// state.range(0): frames of the sawtooth worst case (every servo jumps every
// frame), or 0 for the compiled show of a million frames.
void BM_PaintVisibleGraph(benchmark::State& state) {
    Project& project = state.range(0) == 0 ? CompiledProject() : LongProject(static_cast<int32_t>(state.range(0)));
    SerialLink link;
    frmExe window(project, link, [] {});
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.UpdateGraph(true);
    window.Timeline().cSB().SetValue(0, project.Frames.UpperBound() / 2);
    // The part of the graph in view: grid and sixteen curves.
    QWidget* graph = window.Timeline().picGraph();
    const QRect visible(-graph->x(), 0, window.Timeline().ViewportWidth(), graph->height());
    QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        graph->render(&image, QPoint(), QRegion(visible), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
}
BENCHMARK(BM_PaintVisibleGraph)->Arg(0)->Arg(1'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The graph and the audio lane in view of a million-frame show with a
// ten-minute sound cued on frame 1, in a 1200-pixel-wide window, at a zoom:
// state.range(0) is the zoom in percent, 0 for fit-to-window.
void BM_PaintGraphAndLane(benchmark::State& state) {
    Project& project = CompiledProject();
    project.WavCues = {WavCue{}, WavCue{1, -1, kestrova::bench::LongSound()}};
    SerialLink link;
    frmExe window(project, link, [] {});
    window.setAttribute(Qt::WA_DeleteOnClose, false);
    window.resize(1600, 700);
    window.show();
    window.UpdateGraph(true);
    QCoreApplication::processEvents();
    TimelineView& view = window.Timeline();
    view.Peaks().WaitForAll();
    if (state.range(0) == 0) {
        view.FitToWindow();
    } else {
        view.ZoomBy(state.range(0) / 100.0 / view.Zoom(), 0);
        view.cSB().SetValue(0, view.cSB().Max(0) / 3);
    }
    QCoreApplication::processEvents();
    QWidget* graph = view.picGraph();
    QWidget* lane = view.picSound();
    const QRect visible(-graph->x(), 0, view.ViewportWidth(), graph->height());
    const QRect visibleLane(-lane->x(), 0, view.ViewportWidth(), lane->height());
    QImage image(visible.size(), QImage::Format_ARGB32_Premultiplied);
    QImage laneImage(visibleLane.size(), QImage::Format_ARGB32_Premultiplied);
    graph->render(&image, QPoint(), QRegion(visible), QWidget::DrawChildren);  // the curve levels, once
    for (auto _ : state) {
        graph->render(&image, QPoint(), QRegion(visible), QWidget::DrawChildren);
        lane->render(&laneImage, QPoint(), QRegion(visibleLane), QWidget::DrawChildren);
        benchmark::DoNotOptimize(image.constBits());
    }
    state.counters["graph_px"] = view.Mapping().Width();
    state.counters["viewport_px"] = view.ViewportWidth();
    project.WavCues = WavCueList(1);
}
BENCHMARK(BM_PaintGraphAndLane)->Arg(0)->Arg(1)->Arg(10)->Arg(100)->Arg(400)->Arg(1600)->Unit(benchmark::kMillisecond);

// The window's own memory: resident size with the window open beyond the
// frame table, for a short and a long animation.
void BM_WindowMemory(benchmark::State& state) {
    Project& project = LongProject(static_cast<int32_t>(state.range(0)));
    SerialLink link;
    long extra = 0;
    for (auto _ : state) {
        const long before = ResidentKb();
        auto* window = new frmExe(project, link, [] {});
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->UpdateGraph(true);
        QImage image(window->size(), QImage::Format_ARGB32_Premultiplied);
        window->render(&image);
        extra = ResidentKb() - before;
        delete window;
    }
    state.counters["window_kB"] = static_cast<double>(extra);
    state.counters["table_kB"] = static_cast<double>(project.Frames.MemoryBytes() / 1024);
}
BENCHMARK(BM_WindowMemory)->Arg(1'000)->Arg(1'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);

// Frame pacing through the real window while the graph scrolls: 300 frames
// at 30 frames per second from the middle of a 5,000-frame animation, the
// play marker paging the view along. Under Xvfb with DISPLAY set, the window
// is really shown.
void BM_WindowPacingWhileScrolling(benchmark::State& state) {
    Project& project = LongProject(5'000);
    std::vector<double> stamps;
    for (auto _ : state) {
        kestrova::bench::BurstClock line;
        SerialLink link;
        link.ApplyCommSettings(project.Settings);
        link.SetDeviceOverride(line.Path());
        frmExe window(project, link, [] {});
        window.setAttribute(Qt::WA_DeleteOnClose, false);
        window.UpdateGraph(true);
        window.Slider1()->setValue(30);
        window.show();
        QCoreApplication::processEvents();
        window.Engine().SetPrioritySetter([](int32_t) {});
        // Frame 2,000 near the right edge of the view: the view pages early on.
        window.Timeline().cSB().SetValue(0, 1'600);
        window.Engine().PlayAnimation(2'000, 2'299);
        stamps = line.Stamps();
        state.counters["reader_rt"] = line.RealTime();
        state.counters["scroll_value"] = window.Timeline().cSB().Value(0);
    }
    kestrova::bench::Report(state, stamps, 300, 30);
}
BENCHMARK(BM_WindowPacingWhileScrolling)->Iterations(1)->Unit(benchmark::kMillisecond);


}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

