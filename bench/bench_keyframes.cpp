// A drag step on the graph (text rewrite, rebuild of the one servo, repaint
// of the graph) on shows of 100,000 and 1,000,000 frames, beside a full
// build of all 16 servos of the same show; and the memory in use over
// 10,000 drag steps.
#include "core/compiler.h"
#include "execution/execution_window.h"
#include "execution/keyframe_layer.h"
#include "link/serial_link.h"
#include "timeline/timeline_view.h"

#include <QApplication>
#include <QMouseEvent>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <cstdlib>
#include <memory>
#include <string>

using namespace kestrova;

namespace {

// Every servo sweeps back and forth at its own pace up to `frames`.
std::unique_ptr<Project> Show(int32_t frames) {
    auto project = std::make_unique<Project>();
    StartNewProject(*project);
    for (int s = 0; s < kServoCount; ++s) {
        const int up = 20 + 7 * s, down = 25 + 5 * s, pairFrames = up + 3 + down;
        const std::string pair = "Mov 230, " + std::to_string(up) + " ' out\r\nWait 3\r\nMov 20, " + std::to_string(down) + "\r\n";
        std::string program;
        int32_t f = 1;
        for (; f + pairFrames < frames; f += pairFrames) program += pair;
        program += "Wait " + std::to_string(frames - f) + "\r\n";
        project->Programs[s] = program;
    }
    BuildAnimation(*project);
    return project;
}

void Send(QWidget* widget, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

struct Window {
    explicit Window(int32_t frames) : project(Show(frames)) {
        window = std::make_unique<frmExe>(*project, link, nullptr);
        window->UpdateGraph(true);
        window->show();
        QCoreApplication::processEvents();
        layer = &window->Keyframes();
        // Zoomed in as far as the view goes, so each key stands apart, on a
        // move in the middle of the show.
        window->Timeline().ZoomBy(1e9);
        const ServoMap& map = layer->Map(0);
        key = layer->KeyPoint(0, static_cast<int>(map.commands.size() / 6) * 3);
        window->Timeline().cSB().SetValue(0, key.x() - 200);
        Send(layer, QEvent::MouseButtonPress, key);
    }
    ~Window() { Send(layer, QEvent::MouseButtonRelease, key); }
    // One step: the key a position or two up, the graph painted.
    void Step(int i) {
        Send(layer, QEvent::MouseMove, key - QPoint(0, 3 + (i & 1)));
        window->Timeline().picGraph()->repaint();
    }
    std::unique_ptr<Project> project;
    SerialLink link;
    std::unique_ptr<frmExe> window;
    KeyframeLayer* layer = nullptr;
    QPoint key;
};

void BM_DragStep(benchmark::State& state) {
    Window window(static_cast<int32_t>(state.range(0)));
    const std::string before = window.project->Programs[0];
    int i = 0;
    for (auto _ : state) window.Step(i++);
    state.counters["changed"] = window.project->Programs[0] != before;
}
BENCHMARK(BM_DragStep)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// The reference: the full build of the same show.
void BM_Build16Servos(benchmark::State& state) {
    const auto project = Show(static_cast<int32_t>(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(BuildAnimation(*project).outcome);
}
BENCHMARK(BM_Build16Servos)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

// Memory in use after 10,000 steps beside after the first 100.
void BM_MemoryOverDragSteps(benchmark::State& state) {
    for (auto _ : state) {
        Window window(100'000);
        for (int i = 0; i < 100; ++i) window.Step(i);
        const size_t early = mallinfo2().uordblks;
        for (int i = 100; i < 10'000; ++i) window.Step(i);
        const size_t late = mallinfo2().uordblks;
        state.counters["growth_KB"] = (double(late) - double(early)) / 1024.0;
    }
}
BENCHMARK(BM_MemoryOverDragSteps)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
