// The live capture chapter's pictures: a gamepad set up in Record > Inputs,
// the head recorded from its stick, and the jaw punched in from a trigger.
// The gamepad is one of SDL's virtual pads, moved by this program.
#include "capture/gamepad_source.h"
#include "execution/execution_window.h"
#include "execution/record_panel.h"
#include "timeline/timeline_view.h"
#include "ui/inputs_dialog.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/main_window.h"

#include <SDL.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QSpinBox>

#include <cmath>
#include <cstdio>

namespace kestrova {

namespace {

void Shoot(QWidget& window, const QString& folder, const char* name) {
    window.show();
    QApplication::processEvents();
    window.grab().save(QDir(folder).filePath(QString::fromLatin1(name)));
    std::printf("%s\n", name);
}

struct ShotHost : CaptureHost {
    frmMain* main;
    frmExe* exe;
    Mapping mapping;
    GamepadSource* pads;
    Mapping CurrentMapping() override { return mapping; }
    CaptureSettings Settings() override { return {}; }
    std::vector<InputSource*> Sources() override { return {pads}; }
    int32_t SliderPosition(int servo) override { return main->project().Servos[size_t(servo)].Home; }
    void ApplyPrograms(const std::array<std::optional<std::string>, kServoCount>& programs) override {
        for (int s = 0; s < kServoCount; ++s)
            if (programs[size_t(s)]) main->rtb(s)->SetText(*programs[size_t(s)]);
        main->BuildAnimation();
        exe->UpdateGraph(false);
    }
    MessageAnswer Ask(const Message& message) override {
        std::fprintf(stderr, "%s\n", message.text.c_str());
        return MessageAnswer::Yes;
    }
};

struct Performance {
    SDL_Joystick* pad;
    frmExe* exe;
    QString folder;
    int axis;
    int32_t shootAt;
    const char* name;
};

// The performer: a slow sweep of the stick, or squeezes of the trigger.
void Perform(void* context, int32_t frame) {
    auto& p = *static_cast<Performance*>(context);
    const double t = frame / 15.0;
    const double value = p.axis == 0 ? std::sin(t * 1.3) * 0.8 : std::max(-1.0, std::sin(t * 5.0) * 1.6 - 0.4);
    SDL_JoystickSetVirtualAxis(p.pad, p.axis, Sint16(std::lround(value * 32767)));
    if (frame == p.shootAt) Shoot(*p.exe, p.folder, p.name);
}

}  // namespace

void CaptureShots(frmMain& main, frmExe& exe, const QString& folder) {
    GamepadSource pads(0.05);
    SDL_VirtualJoystickDesc desc{};
    desc.version = SDL_VIRTUAL_JOYSTICK_DESC_VERSION;
    desc.type = SDL_JOYSTICK_TYPE_GAMECONTROLLER;
    desc.naxes = 6;
    desc.nbuttons = 10;
    desc.name = "USB Gamepad";
    const int index = SDL_JoystickAttachVirtualEx(&desc);
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    pads.Poll();
    SDL_JoystickSetVirtualAxis(pad, 0, 12000);
    SDL_JoystickSetVirtualAxis(pad, 5, 20000);
    pads.Poll();

    ShotHost host;
    host.main = &main;
    host.exe = &exe;
    host.pads = &pads;
    host.mapping[0] = Binding{ControlId{SourceKind::Gamepad, "USB Gamepad", 0}, false};
    host.mapping[2] = Binding{ControlId{SourceKind::Gamepad, "USB Gamepad", 5}, false};
    InputsDialog inputs(main.project(), host.mapping, CaptureSettings{}, {&pads},
                        QStringLiteral("Devices: USB Gamepad; OSC port 9000"));
    inputs.Refresh();
    Shoot(inputs, folder, "capture-inputs.png");

    // The head, over the whole show.
    exe.Recorder()->SetHost(&host);
    exe.UpdateGraph(true);
    exe.Recorder()->Arm(0)->setChecked(true);
    exe.Recorder()->LeadIn()->setValue(15);
    Performance head{pad, &exe, folder, 0, 50, "capture-recording.png"};
    exe.Engine().SetFrameSentHook(&Perform, &head);
    exe.Recorder()->Record();
    Shoot(exe, folder, "capture-head-take.png");

    // The jaw, punched in over frames 40 to 70 only.
    exe.Recorder()->Arm(0)->setChecked(false);
    exe.Recorder()->Arm(2)->setChecked(true);
    exe.Timeline().SetStartFrame(40);
    exe.Timeline().SetStopFrame(70);
    Performance jaw{pad, &exe, folder, 5, -1, ""};
    exe.Engine().SetFrameSentHook(&Perform, &jaw);
    exe.Recorder()->Record();
    exe.Engine().SetFrameSentHook(nullptr, nullptr);
    main.SelectServo(2);
    Shoot(main, folder, "capture-jaw-punched.png");

    SDL_JoystickClose(pad);
    SDL_JoystickDetachVirtual(index);
}

}  // namespace kestrova
