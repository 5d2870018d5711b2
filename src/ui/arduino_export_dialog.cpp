#include "arduino_export_dialog.h"

#include "message_box.h"

#include "core/messages.h"
#include "export/arduino_sketch.h"
#include "files/registry.h"
#include "files/settings_store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>

#include <filesystem>

namespace kestrova {

namespace {

const std::string kExportKey = std::string(kProgramKey) + "\\Arduino Export";

std::string ReadText(cRegistry& registry, const char* name) {
    registry.SetValueKey(name);
    const RegistryValue value = registry.Value();
    return std::holds_alternative<std::monostate>(value) ? std::string() : RegistryValueText(value);
}

int ReadNumber(cRegistry& registry, const char* name, int fallback) {
    const std::string text = ReadText(registry, name);
    try {
        return text.empty() ? fallback : std::stoi(text);
    } catch (...) {
        return fallback;
    }
}

// A sketch folder named after the project: letters, digits, '_' and '-'.
std::string SketchFolderFor(const Project& project) {
    std::string stem = std::filesystem::path(project.sFilename).stem().string();
    for (char& c : stem)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-') c = '_';
    if (stem.empty() || !std::isalpha(static_cast<unsigned char>(stem[0]))) stem = "show_" + stem;
    std::error_code ec;
    const std::filesystem::path dir = project.sFilename.find_first_of("/\\") == std::string::npos
                                          ? std::filesystem::path()
                                          : std::filesystem::absolute(project.sFilename, ec).parent_path();
    return ((dir.empty() ? std::filesystem::path(QDir::homePath().toStdString()) : dir) / stem).string();
}

}  // namespace

ArduinoExportChoices LoadArduinoExportChoices(const StoreLocation& store) {
    ArduinoExportChoices choices;
    cRegistry registry(store);
    registry.SetSectionKey(kExportKey);
    if (!registry.KeyExists()) return choices;
    ExportOptions& o = choices.options;
    choices.folder = ReadText(registry, "Folder");
    o.mode = ReadText(registry, "Mode") == "pca9685" ? ExportMode::Pca9685 : ExportMode::Ssc;
    o.fps = std::clamp(ReadNumber(registry, "Fps", o.fps), 1, 30);
    o.loop = ReadNumber(registry, "Loop", 0) != 0;
    o.triggerPin = ReadNumber(registry, "Trigger", -1);
    std::string error;
    ParseChannels(ReadText(registry, "Channels"), o.channels, error);
    ParsePulse(ReadText(registry, "Pulse"), o.minPulseUs, o.maxPulseUs, error);
    if (!CheckOptions(o).empty()) choices.options = ExportOptions{};  // a damaged store: start afresh
    return choices;
}

void SaveArduinoExportChoices(const StoreLocation& store, const ArduinoExportChoices& choices) {
    cRegistry registry(store);
    registry.SetSectionKey(kExportKey);
    registry.SetValueType(kRegText);
    const ExportOptions& o = choices.options;
    const std::pair<const char*, std::string> values[] = {
        {"Folder", choices.folder},
        {"Mode", o.mode == ExportMode::Pca9685 ? "pca9685" : "ssc"},
        {"Fps", std::to_string(o.fps)},
        {"Loop", o.loop ? "1" : "0"},
        {"Trigger", std::to_string(o.triggerPin)},
        {"Channels", ChannelsText(o.channels)},
        {"Pulse", std::to_string(o.minPulseUs) + "," + std::to_string(o.maxPulseUs)},
    };
    for (const auto& [name, text] : values) {
        registry.SetValueKey(name);
        if (registry.SetValue(text)) return;  // remembering is a convenience: a failure costs only that
    }
}

ArduinoExportDialog::ArduinoExportDialog(const ArduinoExportChoices& choices, QWidget* parent,
                                         FolderChooser chooseFolder, MessageHandler messages)
    : QDialog(parent), chooseFolder_(std::move(chooseFolder)), messages_(messages ? std::move(messages) : MessageHandler(&AskMessageBox)) {
    setWindowTitle(QStringLiteral("Export for Arduino"));
    const ExportOptions& o = choices.options;

    folder_ = new QLineEdit(QString::fromStdString(choices.folder), this);
    folder_->setObjectName(QStringLiteral("txtFolder"));
    auto* browse = new QPushButton(QStringLiteral("&Browse..."), this);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString start = QFileInfo(folder_->text()).absolutePath();
        const QString chosen = chooseFolder_ ? chooseFolder_(this, start)
                                             : QFileDialog::getSaveFileName(this, QStringLiteral("Sketch Folder"), start,
                                                                            QString(), nullptr,
                                                                            QFileDialog::ShowDirsOnly);
        if (!chosen.isEmpty()) folder_->setText(chosen);
    });

    mode_ = new QComboBox(this);
    mode_->setObjectName(QStringLiteral("cboMode"));
    mode_->addItem(QStringLiteral("Serial servo controller on the board's serial port"));
    mode_->addItem(QStringLiteral("PCA9685 servo board on I2C"));
    mode_->setCurrentIndex(o.mode == ExportMode::Pca9685 ? 1 : 0);

    fps_ = new QSpinBox(this);
    fps_->setObjectName(QStringLiteral("spnFps"));
    fps_->setRange(1, 30);
    fps_->setValue(o.fps);

    loop_ = new QCheckBox(QStringLiteral("&Loop: repeat the show for ever"), this);
    loop_->setObjectName(QStringLiteral("chkLoop"));
    loop_->setChecked(o.loop);

    trigger_ = new QCheckBox(QStringLiteral("&Wait for a trigger on pin"), this);
    trigger_->setObjectName(QStringLiteral("chkTrigger"));
    trigger_->setChecked(o.triggerPin >= 0);
    pin_ = new QSpinBox(this);
    pin_->setObjectName(QStringLiteral("spnPin"));
    pin_->setRange(2, 19);
    pin_->setValue(o.triggerPin >= 2 ? o.triggerPin : 2);
    auto* triggerRow = new QHBoxLayout;
    triggerRow->addWidget(trigger_);
    triggerRow->addWidget(pin_);
    triggerRow->addStretch(1);

    channels_ = new QLineEdit(QString::fromStdString(ChannelsText(o.channels)), this);
    channels_->setObjectName(QStringLiteral("txtChannels"));
    channels_->setToolTip(QStringLiteral("The PCA9685 channel (0 to 15) of servos 1 to 16, separated by commas."));
    minPulse_ = new QSpinBox(this);
    minPulse_->setObjectName(QStringLiteral("spnMinPulse"));
    maxPulse_ = new QSpinBox(this);
    maxPulse_->setObjectName(QStringLiteral("spnMaxPulse"));
    for (QSpinBox* box : {minPulse_, maxPulse_}) {
        box->setRange(100, 4000);
        box->setSuffix(QStringLiteral(" \u00b5s"));
    }
    minPulse_->setValue(o.minPulseUs);
    maxPulse_->setValue(o.maxPulseUs);
    auto* pulseRow = new QHBoxLayout;
    pulseRow->addWidget(minPulse_);
    pulseRow->addWidget(new QLabel(QStringLiteral("to"), this));
    pulseRow->addWidget(maxPulse_);
    pulseRow->addStretch(1);

    auto* form = new QFormLayout;
    auto* folderCaption = new QLabel(QStringLiteral("Sketch f&older:"), this);
    folderCaption->setBuddy(folder_);
    form->addRow(folderCaption, folderRow);
    form->addRow(QStringLiteral("&Servos through:"), mode_);
    form->addRow(QStringLiteral("&Frames / Sec:"), fps_);
    form->addRow(QString(), loop_);
    form->addRow(QString(), triggerRow);
    servoBoardCaption_ = new QLabel(QStringLiteral("PCA9685 channels:"), this);
    form->addRow(servoBoardCaption_, channels_);
    form->addRow(QStringLiteral("Pulse for 0 to 255:"), pulseRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Export"));
    connect(buttons, &QDialogButtonBox::accepted, this, &ArduinoExportDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ArduinoExportDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);

    connect(mode_, &QComboBox::currentIndexChanged, this, &ArduinoExportDialog::UpdateEnabled);
    connect(trigger_, &QCheckBox::toggled, this, &ArduinoExportDialog::UpdateEnabled);
    UpdateEnabled();
}

void ArduinoExportDialog::UpdateEnabled() {
    const bool pca = mode_->currentIndex() == 1;
    for (QWidget* w : {static_cast<QWidget*>(channels_), static_cast<QWidget*>(minPulse_),
                       static_cast<QWidget*>(maxPulse_), static_cast<QWidget*>(servoBoardCaption_)})
        w->setEnabled(pca);
    pin_->setEnabled(trigger_->isChecked());
}

bool ArduinoExportDialog::Choices(ArduinoExportChoices& choices, std::string& error) const {
    ArduinoExportChoices result;
    result.folder = folder_->text().trimmed().toStdString();
    if (result.folder.empty()) {
        error = "Choose the folder the sketch is written to.";
        return false;
    }
    ExportOptions& o = result.options;
    o.mode = mode_->currentIndex() == 1 ? ExportMode::Pca9685 : ExportMode::Ssc;
    o.fps = fps_->value();
    o.loop = loop_->isChecked();
    o.triggerPin = trigger_->isChecked() ? pin_->value() : -1;
    o.minPulseUs = minPulse_->value();
    o.maxPulseUs = maxPulse_->value();
    if (!ParseChannels(channels_->text().toStdString(), o.channels, error)) return false;
    error = CheckOptions(o);
    if (!error.empty()) return false;
    choices = result;
    return true;
}

void ArduinoExportDialog::accept() {
    ArduinoExportChoices choices;
    std::string error;
    if (!Choices(choices, error)) {
        Ask(messages_, {error, "Export for Arduino", MessageIcon::Exclamation, MessageButtons::Ok});
        return;
    }
    QDialog::accept();
}

void ExportForArduino(QWidget* owner, Project& project, const std::function<bool()>& build,
                      const MessageHandler& messages, const StoreLocation& store,
                      const std::function<bool(ArduinoExportDialog&)>& exec) {
    if ((!project.Built || project.ModifiedSinceBuild) && !build()) return;

    ArduinoExportChoices choices = LoadArduinoExportChoices(store);
    if (choices.folder.empty()) choices.folder = SketchFolderFor(project);
    ArduinoExportDialog dialog(choices, owner, {}, messages);
    const bool accepted = exec ? exec(dialog) : dialog.exec() == QDialog::Accepted;
    std::string error;
    if (!accepted || !dialog.Choices(choices, error)) return;
    SaveArduinoExportChoices(store, choices);

    const SketchReport report = ExportArduinoSketch(project, choices.options, choices.folder,
                                                    std::filesystem::path(project.sFilename).filename().string());
    if (!report.ok) {
        Ask(messages, {report.error, "Export Error", MessageIcon::Critical, MessageButtons::Ok});
        return;
    }
    Ask(messages, {SketchSummary(report, choices.folder), "Export for Arduino", MessageIcon::Information,
                   MessageButtons::Ok});
}

}  // namespace kestrova
