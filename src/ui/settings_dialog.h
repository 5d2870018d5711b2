#pragma once
// The settings dialog: serial port, line speed, synch byte, controller
// protocol and Pololu device number, controller mode,
// playback priority and auto-disable, with the device each port number
// stands for on this machine; and the user's own sound offset and what
// follows a stop.

#include "core/messages.h"
#include "core/project.h"
#include "files/registry.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace kestrova {

class frmSettings : public QDialog {
    Q_OBJECT
public:
    // applyCommSettings puts the settings in force on the serial port. The
    // choices are written to `store`; one that cannot be written is reported
    // through `messages` (by default a message box).
    frmSettings(ProjectSettings& settings, std::function<void()> applyCommSettings, QWidget* parent = nullptr,
                MessageHandler messages = {}, StoreLocation store = {});

    QComboBox* cboCOMPort = nullptr;
    QComboBox* cboDevice = nullptr;
    QComboBox* cboBaudRate = nullptr;
    QComboBox* cboSynchByte = nullptr;
    QComboBox* cboSSCMode = nullptr;
    QComboBox* cboProtocol = nullptr;     // the controller's protocol
    QSpinBox* spnDeviceNumber = nullptr;  // the Pololu board's, for the chained protocol
    QComboBox* cboPriority = nullptr;
    QCheckBox* chkAutoDisable = nullptr;
    QSpinBox* spnSoundOffset = nullptr;  // the user's own, not the project's
    QComboBox* cboAfterStop = nullptr;   // the user's own: items in AfterStop's order
    QLabel* lblAfterStopNote = nullptr;  // shown when the controller cannot do the choice
    QPushButton* cmdOK = nullptr;
    QPushButton* cmdCancel = nullptr;

public slots:
    // Stores the choices, applies them to the port and writes them to the
    // store; a store that cannot be written is reported once, and the
    // choices stay in force.
    void OK();

private:
    void ShowDeviceOfPort();

    ProjectSettings& settings_;
    std::function<void()> applyCommSettings_;
    MessageHandler messages_;
    StoreLocation store_;
    QString shownDevice_;  // what the device list showed for the port
};

}  // namespace kestrova
