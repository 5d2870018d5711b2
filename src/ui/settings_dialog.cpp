#include "settings_dialog.h"

#include "core/controller_setup.h"
#include "files/registry.h"
#include "files/settings_store.h"
#include "files/stop_setting.h"
#include "link/controller_protocol.h"
#include "link/port_table.h"
#include "link/serial_link.h"
#include "message_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace kestrova {

namespace {

QComboBox* List(QWidget* parent, const char* name, const QStringList& items) {
    auto* box = new QComboBox(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->addItems(items);
    return box;
}

// Selects item `index`, or nothing when the value lies outside the list.
void Select(QComboBox* box, int32_t index) { box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1); }

// The list's choice, or the value in force when nothing is selected.
int32_t Chosen(const QComboBox* box, int32_t inForce) {
    return box->currentIndex() >= 0 ? box->currentIndex() : inForce;
}

// Whether a controller speaking the protocol can switch its pulses off.
bool HasPulsesOff(int32_t protocol) {
    if (protocol < 0 || protocol >= kProtocolCount) return false;
    ControllerSetup setup;
    setup.protocol = protocol;
    const int servo[] = {0};
    std::vector<uint8_t> bytes;
    MakeEncoder(setup, 20)->PulsesOff(servo, bytes);
    return !bytes.empty();
}

}  // namespace

frmSettings::frmSettings(ProjectSettings& settings, std::function<void()> applyCommSettings, QWidget* parent,
                         MessageHandler messages, StoreLocation store)
    : QDialog(parent),
      settings_(settings),
      applyCommSettings_(std::move(applyCommSettings)),
      messages_(messages ? std::move(messages) : MessageHandler(&AskMessageBox)),
      store_(std::move(store)) {
    setObjectName(QStringLiteral("frmSettings"));
    setWindowTitle(QStringLiteral("Settings"));
    setModal(true);

    QStringList ports, bytes;
    for (int n = 1; n <= 16; ++n) ports << QString::number(n);
    for (int n = 0; n <= 255; ++n) bytes << QString::number(n);
    cboCOMPort = List(this, "cboCOMPort", ports);
    cboBaudRate = List(this, "cboBaudRate", {QStringLiteral("2400"), QStringLiteral("9600")});
    cboSynchByte = List(this, "cboSynchByte", bytes);
    cboSSCMode = List(this, "cboSSCMode", {QStringLiteral("Mini-SSC"), QStringLiteral("OOPIC-R")});
    cboPriority = List(this, "cboPriority", {QStringLiteral("Normal"), QStringLiteral("High"), QStringLiteral("Very High")});
    QStringList protocols;
    for (int32_t p = 0; p < kProtocolCount; ++p) protocols << QString::fromStdString(ProtocolName(p));
    cboProtocol = List(this, "cboProtocol", protocols);
    cboProtocol->setToolTip(QStringLiteral("The command set of the servo controller on the port"));
    spnDeviceNumber = new QSpinBox(this);
    spnDeviceNumber->setObjectName(QStringLiteral("spnDeviceNumber"));
    spnDeviceNumber->setRange(0, kHighestDeviceNumber);
    spnDeviceNumber->setToolTip(QStringLiteral("The device number set on the Pololu board (12 unless changed)"));
    cboDevice = new QComboBox(this);
    cboDevice->setObjectName(QStringLiteral("cboDevice"));
    cboDevice->setEditable(true);
    cboDevice->setMinimumContentsLength(18);
    cboDevice->setToolTip(QStringLiteral("The serial device this port number stands for"));
    // No hardware: the servos move in the controller view only.
    cboDevice->addItem(QString::fromLatin1(kVirtualControllerDevice));
    for (const SerialDevice& device : AvailableSerialDevices()) cboDevice->addItem(QString::fromStdString(device.path));
    chkAutoDisable = new QCheckBox(QStringLiteral("Auto-Disable of Unused Servos"), this);
    chkAutoDisable->setObjectName(QStringLiteral("chkAutoDisable"));
    spnSoundOffset = new QSpinBox(this);
    spnSoundOffset->setObjectName(QStringLiteral("spnSoundOffset"));
    spnSoundOffset->setRange(-kSoundOffsetLimit, kSoundOffsetLimit);
    spnSoundOffset->setSingleStep(5);
    spnSoundOffset->setSuffix(QStringLiteral(" ms"));
    spnSoundOffset->setToolTip(
        QStringLiteral("Starts every sound cue this much later than its frame (earlier when negative)"));
    spnSoundOffset->setValue(LoadSoundOffset(store_));
    cboAfterStop = List(this, "cboAfterStop",
                        {QStringLiteral("Hold"), QStringLiteral("Go Home within the caps"),
                         QStringLiteral("Switch the pulses off")});
    cboAfterStop->setToolTip(
        QStringLiteral("What the servos do after Esc or the Stop button: hold where they stopped, go to their "
                       "Home positions no faster than their caps allow, or go limp"));
    cboAfterStop->setItemData(
        2,
        QStringLiteral("The controller stops the servos' pulses and they go limp: they can be moved by hand, and "
                       "the next command for a servo goes out at once. A Mini-SSC has no such command: its servos "
                       "hold instead."),
        Qt::ToolTipRole);
    Select(cboAfterStop, static_cast<int32_t>(LoadAfterStop(store_)));
    lblAfterStopNote = new QLabel(this);
    lblAfterStopNote->setObjectName(QStringLiteral("lblAfterStopNote"));
    lblAfterStopNote->setWordWrap(true);
    lblAfterStopNote->setForegroundRole(QPalette::PlaceholderText);

    auto* communications = new QGroupBox(QStringLiteral("Communications"), this);
    auto* commsForm = new QFormLayout(communications);
    commsForm->addRow(QStringLiteral("COM Port:"), cboCOMPort);
    commsForm->addRow(QStringLiteral("Device:"), cboDevice);
    commsForm->addRow(QStringLiteral("Baud Rate:"), cboBaudRate);
    commsForm->addRow(QStringLiteral("Synch Byte:"), cboSynchByte);
    commsForm->addRow(QStringLiteral("Controller:"), cboProtocol);
    commsForm->addRow(QStringLiteral("Device Number:"), spnDeviceNumber);

    auto* execution = new QGroupBox(QStringLiteral("Execution"), this);
    auto* execForm = new QFormLayout(execution);
    execForm->addRow(QStringLiteral("SSC Mode:"), cboSSCMode);
    execForm->addRow(QStringLiteral("System Priority:"), cboPriority);
    execForm->addRow(QStringLiteral("Sound offset:"), spnSoundOffset);
    execForm->addRow(chkAutoDisable);
    execForm->addRow(QStringLiteral("After Stop:"), cboAfterStop);
    execForm->addRow(QString(), lblAfterStopNote);

    cmdOK = new QPushButton(QStringLiteral("&OK"), this);
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdOK->setDefault(true);
    cmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOK);
    buttons->addWidget(cmdCancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(communications);
    layout->addWidget(execution);
    layout->addLayout(buttons);

    Select(cboCOMPort, settings_.COMPort - 1);
    Select(cboBaudRate, settings_.BaudRate);
    Select(cboSynchByte, settings_.SynchByte);
    Select(cboSSCMode, settings_.SSCMode);
    Select(cboProtocol, settings_.Protocol);
    spnDeviceNumber->setValue(settings_.DeviceNumber);
    const auto showDeviceNumber = [this] {
        spnDeviceNumber->setEnabled(cboProtocol->currentIndex() == int32_t(Protocol::PololuChain));
        // The synch byte is the Mini-SSC's alone.
        cboSynchByte->setEnabled(cboProtocol->currentIndex() <= int32_t(Protocol::MiniSsc));
    };
    showDeviceNumber();
    connect(cboProtocol, &QComboBox::currentIndexChanged, this, showDeviceNumber);
    const auto showAfterStopNote = [this] {
        const int32_t protocol = cboProtocol->currentIndex();
        lblAfterStopNote->setText(QStringLiteral("The %1 cannot switch its pulses off: its servos hold instead.")
                                      .arg(QString::fromStdString(ProtocolName(protocol))));
        lblAfterStopNote->setVisible(cboAfterStop->currentIndex() == int(AfterStop::PulsesOff) &&
                                     !HasPulsesOff(protocol));
    };
    showAfterStopNote();
    connect(cboProtocol, &QComboBox::currentIndexChanged, this, showAfterStopNote);
    connect(cboAfterStop, &QComboBox::currentIndexChanged, this, showAfterStopNote);
    Select(cboPriority, settings_.SystemPriority);
    chkAutoDisable->setChecked(settings_.AutoDisable == 1);
    ShowDeviceOfPort();

    connect(cboCOMPort, &QComboBox::currentIndexChanged, this, [this] { ShowDeviceOfPort(); });
    connect(cmdOK, &QPushButton::clicked, this, &frmSettings::OK);
    connect(cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
}

void frmSettings::ShowDeviceOfPort() {
    const int32_t port = Chosen(cboCOMPort, settings_.COMPort - 1) + 1;
    shownDevice_ = QString::fromStdString(DeviceForPort(StoredPortTable(store_), port));
    cboDevice->setCurrentText(shownDevice_);
}

void frmSettings::OK() {
    settings_.COMPort = Chosen(cboCOMPort, settings_.COMPort - 1) + 1;
    settings_.BaudRate = Chosen(cboBaudRate, settings_.BaudRate);
    settings_.SynchByte = Chosen(cboSynchByte, settings_.SynchByte);
    settings_.SSCMode = Chosen(cboSSCMode, settings_.SSCMode);
    settings_.Protocol = Chosen(cboProtocol, settings_.Protocol);
    settings_.DeviceNumber = spnDeviceNumber->value();
    settings_.SystemPriority = Chosen(cboPriority, settings_.SystemPriority);
    settings_.AutoDisable = chkAutoDisable->isChecked() ? 1 : 0;

    // Only a device the user changed goes into the port table, so a port
    // keeps following the system's default device otherwise.
    std::optional<RegistryError> error;
    const QString device = cboDevice->currentText().trimmed();
    if (device != shownDevice_) error = MapPortToDevice(store_, settings_.COMPort, device.toStdString());

    if (applyCommSettings_) applyCommSettings_();
    if (!error) error = SaveSettings(store_, settings_);
    if (!error) error = SaveSoundOffset(store_, spnSoundOffset->value());
    if (!error) error = SaveAfterStop(store_, static_cast<AfterStop>(Chosen(cboAfterStop, 0)));
    if (error) Ask(messages_, RegistryErrorMessage(*error));
    accept();
}

}  // namespace kestrova
