#pragma once
// The main window's Record menu and the capture's owner: the input sources
// (started the first time they are needed, restarted when their settings
// change), the mapping of the open project file, the per-user settings, and
// the host of the execution window's record controls, which puts a take's
// programs into the editors.

#include "capture/gamepad_source.h"
#include "capture/midi_source.h"
#include "capture/osc_source.h"
#include "core/messages.h"
#include "execution/record_panel.h"
#include "files/registry.h"

#include <QObject>

#include <memory>

namespace kestrova {

class frmExe;
class frmMain;

class CaptureMenu : public QObject, public CaptureHost {
    Q_OBJECT
public:
    CaptureMenu(frmMain& main, StoreLocation store, MessageHandler messages);
    ~CaptureMenu() override;
    static CaptureMenu* Of(frmMain& main);

    // Hands the window's record controls this host.
    void Attach(frmExe& window);
    // Record > Inputs...; `run` shows the dialog (tests answer it themselves).
    void ShowInputs();

    // CaptureHost
    Mapping CurrentMapping() override;
    CaptureSettings Settings() override { return LoadCaptureSettings(store_); }
    std::vector<InputSource*> Sources() override;
    int32_t SliderPosition(int servo) override;
    void ApplyPrograms(const std::array<std::optional<std::string>, kServoCount>& programs) override;
    MessageAnswer Ask(const Message& message) override { return kestrova::Ask(messages_, message); }

    // The devices found and the sources that could not start.
    QString Status();

private:
    frmMain& main_;
    StoreLocation store_;
    MessageHandler messages_;
    std::unique_ptr<GamepadSource> pads_;
    std::unique_ptr<MidiSource> midi_;
    std::unique_ptr<OscSource> osc_;
};

}  // namespace kestrova
