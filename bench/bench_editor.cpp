// The editor's responsiveness, offscreen: start-up to the shown main window,
// switching the selected servo, and one keystroke in an instruction editor
// holding 100,000 lines (each keystroke also writes the text back to the
// project model).
#include "ui/kvx_edit_ctrl.h"
#include "ui/main_window.h"

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

void BM_KeystrokeIn100kLines(benchmark::State& state) {
    frmMain window;
    window.NewFile();
    std::string text;
    for (int i = 0; i < 100000; ++i) text += i % 2 ? "Wait 3\r\n" : "Mov 200, 10 ' sweep\r\n";
    window.project().Programs[0] = text;
    window.ReloadEditorsFromProject();
    window.show();
    KvxEditCtrl* editor = window.rtb(0);
    editor->SetSel(50000 * 29, 50000 * 29);
    QApplication::processEvents();
    bool type = true;
    for (auto _ : state) {
        // Alternately type a character and take it back: the text stays the
        // same size.
        if (type) SendKey(editor, Qt::Key_X, QStringLiteral("x"));
        else SendKey(editor, Qt::Key_Backspace, QString());
        type = !type;
        QApplication::processEvents();
    }
    if (window.project().Programs[0].size() < text.size()) state.SkipWithError("the model lost the text");
}
BENCHMARK(BM_KeystrokeIn100kLines)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
