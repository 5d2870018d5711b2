// The editor's responsiveness, offscreen: start-up to the shown main window,
// switching the selected servo, and one keystroke in an instruction editor
// holding 10,000 to 1,000,000 lines.
#include "ui/kvx_edit_ctrl.h"
#include "ui/main_window.h"
#include "ui/program_diagnostics.h"

#include <QApplication>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

using namespace kestrova;

namespace {

void SendKey(QWidget* target, int key, const QString& text) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

void BM_StartupToShownWindow(benchmark::State& state) {
    for (auto _ : state) {
        auto window = std::make_unique<frmMain>();
        window->NewFile();
        window->show();
        QApplication::processEvents();
        benchmark::DoNotOptimize(window->isVisible());
        state.PauseTiming();
        window.reset();
        QApplication::processEvents();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_StartupToShownWindow)->Unit(benchmark::kMillisecond);

void BM_SwitchSelectedServo(benchmark::State& state) {
    frmMain window;
    window.NewFile();
    window.show();
    QApplication::processEvents();
    int servo = 0;
    for (auto _ : state) {
        servo = (servo + 1) % kServoCount;
        window.SelectServo(servo);
        QApplication::processEvents();
    }
}
BENCHMARK(BM_SwitchSelectedServo)->Unit(benchmark::kMicrosecond);

// One keystroke in an editor holding state.range(0) lines: alternately a
// character typed and taken back, so the text keeps its size. With
// `fullCopy` the whole text is also copied into the project after every
// keystroke, as the editor once did: the reference the keystroke is
// measured against.
void Keystroke(benchmark::State& state, bool fullCopy) {
    frmMain window;
    window.NewFile();
    const int lines = static_cast<int>(state.range(0));
    std::string text;
    text.reserve(static_cast<size_t>(lines) * 16);
    for (int i = 0; i < lines; ++i) text += i % 2 ? "Wait 3\r\n" : "Mov 200, 10 ' sweep\r\n";
    window.project().Programs[0] = text;
    window.ReloadEditorsFromProject();
    window.show();
    KvxEditCtrl* editor = window.rtb(0);
    // Halfway down: in a "Mov" line, the widest kind (range(1) == 0), or in
    // a "Wait" line (1). Qt looks for the new widest line after the widest
    // one got shorter, which only the first case meets.
    const int32_t pairs = lines / 4;  // a Mov line and a Wait line: 20 + 7 offsets
    const int32_t middle = pairs * 27 + (state.range(1) ? 20 + 5 : 4);
    editor->SetSel(middle, middle);
    QApplication::processEvents();
    // The check of the loaded programs is done before the clock runs.
    window.Diagnostics()->RunNow();
    bool type = true;
    for (auto _ : state) {
        if (type) SendKey(editor, Qt::Key_X, QStringLiteral("x"));
        else SendKey(editor, Qt::Key_Backspace, QString());
        type = !type;
        if (fullCopy) editor->CommitText();
        QApplication::processEvents();
    }
    if (window.project().Programs[0].size() < text.size()) state.SkipWithError("the model lost the text");
}

void BM_Keystroke(benchmark::State& state) { Keystroke(state, false); }
BENCHMARK(BM_Keystroke)
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}})
    ->ArgNames({"lines", "short"})
    ->Unit(benchmark::kMillisecond);

void BM_KeystrokeWithFullCopy(benchmark::State& state) { Keystroke(state, true); }
BENCHMARK(BM_KeystrokeWithFullCopy)
    ->ArgsProduct({{10000, 100000, 1000000}, {0}})
    ->ArgNames({"lines", "short"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
