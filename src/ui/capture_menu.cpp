#include "capture_menu.h"

#include "execution/execution_window.h"
#include "inputs_dialog.h"
#include "kvx_edit_ctrl.h"
#include "main_window.h"
#include "servo_panel.h"

#include <QMenu>
#include <QMenuBar>
#include <QSpinBox>

namespace kestrova {

CaptureMenu::CaptureMenu(frmMain& main, StoreLocation store, MessageHandler messages)
    : QObject(&main), main_(main), store_(std::move(store)), messages_(std::move(messages)) {
    setObjectName(QStringLiteral("CaptureMenu"));
    auto* menu = new QMenu(QStringLiteral("&Record"), main.menuBar());
    menu->setObjectName(QStringLiteral("miRecord"));
    QAction* inputs = menu->addAction(QStringLiteral("&Inputs..."));
    inputs->setObjectName(QStringLiteral("miInputs"));
    connect(inputs, &QAction::triggered, this, &CaptureMenu::ShowInputs);
    // Before Help, the last menu.
    const QList<QAction*> menus = main.menuBar()->actions();
    main.menuBar()->insertMenu(menus.isEmpty() ? nullptr : menus.back(), menu);
}

CaptureMenu::~CaptureMenu() = default;

CaptureMenu* CaptureMenu::Of(frmMain& main) {
    return main.findChild<CaptureMenu*>(QStringLiteral("CaptureMenu"), Qt::FindDirectChildrenOnly);
}

void CaptureMenu::Attach(frmExe& window) {
    RecordPanel* panel = window.Recorder();
    panel->SetHost(this);
    panel->LeadIn()->setValue(Settings().leadIn);
    connect(panel->LeadIn(), &QSpinBox::valueChanged, this, [this](int frames) {
        CaptureSettings settings = Settings();
        settings.leadIn = frames;
        if (const auto error = SaveCaptureSettings(store_, settings)) Ask(RegistryErrorMessage(*error));
    });
}

Mapping CaptureMenu::CurrentMapping() { return LoadMapping(store_, main_.project().sFilename); }

std::vector<InputSource*> CaptureMenu::Sources() {
    const CaptureSettings settings = Settings();
    if (!pads_) pads_ = std::make_unique<GamepadSource>();
    pads_->SetDeadZone(settings.deadZone / 100.0);
    if (!midi_) midi_ = MidiSource::OpenPorts();
    if (!osc_ || !osc_->Problem().empty() || osc_->Port() != settings.oscPort) {
        osc_.reset();  // the old port is free before the new one is taken
        osc_ = std::make_unique<OscSource>(settings.oscPort, settings.oscAddress);
    }
    return {pads_.get(), midi_.get(), osc_.get()};
}

QString CaptureMenu::Status() {
    const std::vector<InputSource*> sources = Sources();
    QStringList lines;
    for (InputSource* source : sources) {
        for (const std::string& device : source->Devices()) lines << QString::fromStdString(device);
        if (!source->Problem().empty()) lines << QString::fromStdString(source->Problem());
    }
    return QStringLiteral("Devices: ") + (lines.isEmpty() ? QStringLiteral("none found") : lines.join(QStringLiteral("; ")));
}

int32_t CaptureMenu::SliderPosition(int servo) { return main_.Panel()->Position(servo); }

void CaptureMenu::ApplyPrograms(const std::array<std::optional<std::string>, kServoCount>& programs) {
    for (int s = 0; s < kServoCount; ++s)
        if (programs[size_t(s)]) main_.rtb(s)->SetText(*programs[size_t(s)]);
    main_.BuildAnimation();
}

void CaptureMenu::ShowInputs() {
    if (midi_ && midi_->Devices().empty()) midi_.reset();  // look for MIDI ports again
    const QString status = Status();
    const CaptureSettings before = Settings();
    InputsDialog dialog(main_.project(), CurrentMapping(), before, Sources(), status, &main_);
    if (dialog.exec() != QDialog::Accepted) return;
    if (const auto error = SaveMapping(store_, main_.project().sFilename, dialog.ChosenMapping()))
        return (void)Ask(RegistryErrorMessage(*error));
    const CaptureSettings after = dialog.ChosenSettings();
    if (const auto error = SaveCaptureSettings(store_, after)) return (void)Ask(RegistryErrorMessage(*error));
    if (after.oscAddress != before.oscAddress) osc_.reset();
    Sources();
    if (!osc_->Problem().empty()) Ask(Message{osc_->Problem(), "Inputs", MessageIcon::Exclamation, MessageButtons::Ok});
    if (main_.ExecutionWindow()) main_.ExecutionWindow()->Recorder()->LeadIn()->setValue(after.leadIn);
}

}  // namespace kestrova
