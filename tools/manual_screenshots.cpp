// Takes the user manual's pictures of the real windows, and writes the
// figures of its sample export into the manual beside the pictures' folder:
//   manual_screenshots EXAMPLE.kva OUTPUT_FOLDER
// Run it under a display (or QT_QPA_PLATFORM=offscreen).
#include "audio/mouth_moves.h"
#include "core/compiler.h"
#include "export/arduino_sketch.h"
#include "ui/settings_dialog.h"
#include "execution/execution_window.h"
#include "execution/keyframe_layer.h"
#include "timeline/wav_cue_dialog.h"
#include "link/serial_link.h"
#include "ui/about_dialog.h"
#include "ui/arduino_export_dialog.h"
#include "ui/keyframe_editor_link.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/controller_view.h"
#include "timeline/timeline_view.h"
#include "timeline/sound_peaks.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/main_window.h"
#include "ui/program_diagnostics.h"
#include "ui/mouth_moves_dialog.h"
#include "ui/recording.h"
#include "ui/servo_settings_dialog.h"
#include "ui/servo_panel.h"
#include "link/live_output.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDockWidget>
#include <QGroupBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMouseEvent>
#include <QTimer>

#include <cstdio>

using namespace kestrova;

namespace kestrova {
void CaptureShots(frmMain& main, frmExe& exe, const QString& folder);  // capture_shots.cpp
}

namespace {

void SendMouse(QWidget* widget, QEvent::Type type, QPoint at) {
    QMouseEvent event(type, at, widget->mapToGlobal(at), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

void Save(QWidget& window, const QString& folder, const char* name) {
    window.show();
    QApplication::processEvents();
    window.grab().save(QDir(folder).filePath(QString::fromLatin1(name)));
    std::printf("%s\n", name);
}

// Pictures of the controller dock and the execution window in the middle of
// a playback into the virtual controller.
struct PlaybackShots {
    frmMain* main;
    frmExe* exe;
    QString folder;
    int32_t atFrame;
};

void ShootDuringPlayback(void* context, int32_t frame) {
    auto& shots = *static_cast<PlaybackShots*>(context);
    if (frame != shots.atFrame) return;
    shots.main->link().Controller().Settle();
    shots.main->ControllerViewWidget()->Refresh();
    QApplication::processEvents();
    shots.main->ControllerDock()->grab().save(QDir(shots.folder).filePath(QStringLiteral("controller-dock.png")));
    shots.exe->grab().save(QDir(shots.folder).filePath(QStringLiteral("controller-playback.png")));
    std::printf("controller-dock.png\ncontroller-playback.png\n");
}

// The manual's sample export (kestrova-cli export EXAMPLE --arduino show)
// with the figures the real export gives: the summary's lines before the
// build and flash commands, between the manual's export-summary marks.
bool WriteExportFigures(const Project& example, const QString& manualPath) {
    const QString dir = QDir::temp().filePath(QStringLiteral("kestrova-manual-%1/show").arg(QCoreApplication::applicationPid()));
    QDir(dir).removeRecursively();
    const SketchReport report = ExportArduinoSketch(example, ExportOptions{}, dir.toStdString(), "waving-robot.kva");
    QDir(dir).removeRecursively();
    if (!report.ok) return false;
    const std::string summary = SketchSummary(report, "show");
    const QString figures = QString::fromStdString(summary.substr(0, summary.find("Build it with:")));
    QFile file(manualPath);
    if (!file.open(QIODevice::ReadOnly)) return false;
    QString manual = QString::fromUtf8(file.readAll());
    file.close();
    const QString open = QStringLiteral("<!-- export-summary -->"), close = QStringLiteral("<!-- /export-summary -->");
    const qsizetype from = manual.indexOf(open), to = manual.indexOf(close);
    if (from < 0 || to < from) return false;
    manual.replace(from + open.size(), to - from - open.size(), figures);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    file.write(manual.toUtf8());
    std::printf("%s: %s", qPrintable(QFileInfo(manualPath).fileName()), qPrintable(figures.section('\n', 1, 1) + "\n"));
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Talvenor Electronics"));
    QApplication::setApplicationName(QStringLiteral("Kestrova v2.0"));
    if (argc < 3) {
        std::fprintf(stderr, "usage: manual_screenshots EXAMPLE.kva OUTPUT_FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[2]);
    QDir().mkpath(folder);

    frmMain main;
    main.NewFile();
    main.OpenFile(QString::fromLocal8Bit(argv[1]));
    // The figures from the example as it is in its file.
    if (BuildAnimation(main.project()).outcome != BuildOutcome::Success ||
        !WriteExportFigures(main.project(), QDir(folder).filePath(QStringLiteral("../Kestrova v2 Help.html")))) {
        std::fprintf(stderr, "the manual's export figures could not be written\n");
    }
    main.resize(900, 640);
    main.SelectServo(3);
    main.Diagnostics()->RunNow();
    Save(main, folder, "main-window.png");

    // A slip while typing: the word is underlined and the status bar says why.
    KvxEditCtrl* arm = main.rtb(3);
    const int32_t slip = static_cast<int32_t>(arm->toPlainText().indexOf(QStringLiteral("Wait 5")));
    arm->SetSel(slip, slip + 4);
    arm->ReplaceSel(1, "Wiat");
    main.Diagnostics()->RunNow();
    arm->SetSel(slip + 4, slip + 4);
    Save(main, folder, "editor-diagnostics.png");
    arm->undo();
    main.Diagnostics()->RunNow();

    // A speed cap on the arm that its quick swings ask more of: amber
    // underlines, and the warning under the cursor in the status bar.
    main.project().Servos[3].MaxSpeed = 290;
    main.UpdateServoSettings();
    main.Diagnostics()->RunNow();
    const int32_t swing = static_cast<int32_t>(arm->toPlainText().indexOf(QStringLiteral("Mov 220, 4")));
    arm->SetSel(swing + 1, swing + 1);
    main.resize(1120, 640);  // room for the warning's figures in the status bar
    Save(main, folder, "editor-warning.png");
    main.resize(900, 640);
    main.project().Servos[3].MaxSpeed = 0;
    main.UpdateServoSettings();
    main.Diagnostics()->RunNow();

    main.BuildAnimation();
    frmExe exe(main.project(), main.link(), [&main] { main.BuildAnimation(); });
    exe.setAttribute(Qt::WA_DeleteOnClose, false);
    exe.UpdateGraph(true);
    Save(exe, folder, "execution-window.png");

    // The port on the virtual controller for this program only (the user's
    // port table stays as it is).
    main.link().SetDeviceOverride(kVirtualControllerDevice);
    main.ControllerDock()->show();
    main.ControllerDock()->resize(main.ControllerViewWidget()->sizeHint());
    PlaybackShots shots{&main, &exe, folder, 40};
    exe.Engine().SetFrameSentHook(&ShootDuringPlayback, &shots);
    exe.Engine().SetPrioritySetter([](int32_t) {});
    exe.Engine().PlayAnimation(1, 41);
    exe.Engine().SetFrameSentHook(nullptr, nullptr);
    // A spoken line for the jaw: its waveform in the lane, the zoom, and a
    // mouth track made from it.
    const QString example = QFileInfo(QString::fromLocal8Bit(argv[1])).absolutePath();
    Project& project = main.project();
    project.WavCues.push_back(WavCue{30, -1, "sounds/talk.wav"});
    audio::MouthOptions options;
    options.closed = project.Servos[2].Min;
    options.open = project.Servos[2].Max;
    options.start = 30;
    options.from = project.Servos[2].Home;
    options.smooth = 2;
    std::string track, error;
    audio::GenerateMouthMoves((example + "/sounds/talk.wav").toStdString(), options, track, error);
    main.SelectServo(2);
    main.rtb(2)->SetText(track);
    frmMouthMoves moves(project, 2, 15, example.toStdString(), {});
    moves.cboSound()->setCurrentIndex(1);
    Save(moves, folder, "mouth-moves.png");
    main.BuildAnimation();
    exe.resize(1000, 560);
    exe.UpdateGraph(true);
    exe.show();
    QApplication::processEvents();
    exe.Timeline().Peaks().WaitForAll();
    QApplication::processEvents();
    Save(exe, folder, "execution-window-lane.png");
    exe.Timeline().ZoomBy(2.5, exe.Timeline().ViewportWidth() / 3);
    Save(exe, folder, "execution-window-zoom.png");
    CaptureShots(main, exe, folder);

    // The arm's keys, one of them taken; then that key dragged up, with
    // the value beside the pointer (undone after).
    ConnectKeyframes(main, exe.Keyframes());
    main.SelectServo(3);
    exe.Timeline().FitToWindow();
    KeyframeLayer& keys = exe.Keyframes();
    const QPoint key = keys.KeyPoint(3, 2);
    SendMouse(&keys, QEvent::MouseButtonPress, key);
    SendMouse(&keys, QEvent::MouseButtonRelease, key);
    Save(exe, folder, "keyframes-handles.png");
    SendMouse(&keys, QEvent::MouseButtonPress, key);
    SendMouse(&keys, QEvent::MouseMove, key - QPoint(0, 20));
    SendMouse(&keys, QEvent::MouseMove, key - QPoint(0, 40));
    Save(exe, folder, "keyframes-drag.png");
    SendMouse(&keys, QEvent::MouseButtonRelease, key - QPoint(0, 40));
    main.rtb(3)->undo();

    frmServoSettings servos(main.project(), [&main] { main.UpdateServoSettings(); });
    Save(servos, folder, "servo-settings.png");

    frmWAV wav(main.project());
    Save(wav, folder, "wav-cues.png");

    ProjectSettings settings = main.project().Settings;
    frmSettings dialog(settings, [] {});
    // The choice with a note for the example's Mini-SSC.
    dialog.cboAfterStop->setCurrentIndex(2);
    Save(dialog, folder, "settings.png");

    frmTime frames;
    Save(frames, folder, "frames-prompt.png");

    frmAbout about;
    Save(about, folder, "about.png");

    ArduinoExportChoices choices;
    choices.folder = "/home/you/Arduino/waving_robot";
    choices.options.mode = ExportMode::Pca9685;
    choices.options.triggerPin = 2;
    ArduinoExportDialog arduino(choices);
    Save(arduino, folder, "arduino-export.png");

    // The servo panel on the virtual controller: two servos sent a position,
    // the others still unknown.
    main.link().Close();
    main.link().Live().Motion().ForgetAll();
    main.Panel()->SetPortChecked(false);
    main.Panel()->chkCOM()->click();
    main.Panel()->MoveSlider(0, 150);
    main.Panel()->MoveSlider(3, 90);
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 400) QApplication::processEvents();
    const QRect topFrames(0, 0, main.Panel()->width(), main.Panel()->frmServo(3)->geometry().bottom() + 6);
    main.Panel()->grab(topFrames).save(QDir(folder).filePath(QStringLiteral("servo-panel-unknown.png")));
    std::printf("servo-panel-unknown.png\n");
    return 0;
}
