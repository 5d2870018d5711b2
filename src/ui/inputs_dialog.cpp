#include "inputs_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QVBoxLayout>

namespace kestrova {

namespace {
constexpr int kLearnTicks = 10000 / 30;  // ten seconds of polling
}

InputsDialog::InputsDialog(const Project& project, const Mapping& mapping, const CaptureSettings& settings,
                           std::vector<InputSource*> sources, const QString& status, QWidget* parent)
    : QDialog(parent), project_(project), sources_(std::move(sources)) {
    setObjectName(QStringLiteral("frmInputs"));
    setWindowTitle(QStringLiteral("Inputs"));
    auto* layout = new QVBoxLayout(this);

    auto* devices = new QLabel(status, this);
    devices->setObjectName(QStringLiteral("lblDevices"));
    devices->setWordWrap(true);
    layout->addWidget(devices);

    for (InputSource* source : sources_) source->Poll();  // the pads there are now, for the lists
    auto* servos = new QGroupBox(QStringLiteral("Servo inputs"), this);
    auto* grid = new QGridLayout(servos);
    grid->setVerticalSpacing(2);
    const char* headers[] = {"Servo", "Input", "", "", "Value"};
    for (int c = 0; c < 5; ++c) grid->addWidget(new QLabel(QString::fromLatin1(headers[c]), servos), 0, c);
    for (int s = 0; s < kServoCount; ++s) {
        Row& row = rows_[size_t(s)];
        const ServoRecord& servo = project.Servos[size_t(s)];
        auto* name = new QLabel(QStringLiteral("%1  %2").arg(s + 1).arg(QString::fromStdString(servo.Name)), servos);
        row.source = new QComboBox(servos);
        row.source->setObjectName(QStringLiteral("cboInput%1").arg(s));
        row.source->setMinimumContentsLength(28);
        row.source->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
        row.invert = new QCheckBox(QStringLiteral("Invert"), servos);
        row.invert->setObjectName(QStringLiteral("chkInvert%1").arg(s));
        row.invert->setChecked(mapping[size_t(s)].invert);
        row.learn = new QPushButton(QStringLiteral("Learn"), servos);
        row.learn->setObjectName(QStringLiteral("cmdLearn%1").arg(s));
        row.learn->setToolTip(QStringLiteral("Move the control that should drive this servo; it is picked."));
        row.value = new QLabel(servos);
        row.value->setMinimumWidth(row.value->fontMetrics().horizontalAdvance(QStringLiteral("000 (0.00)")));
        grid->addWidget(name, s + 1, 0);
        grid->addWidget(row.source, s + 1, 1);
        grid->addWidget(row.invert, s + 1, 2);
        grid->addWidget(row.learn, s + 1, 3);
        grid->addWidget(row.value, s + 1, 4);
        name->setEnabled(servo.Enabled);
        FillChoices(s, mapping[size_t(s)].control);
        connect(row.learn, &QPushButton::clicked, this, [this, s] { StartLearning(s); });
    }
    grid->setColumnStretch(1, 1);
    layout->addWidget(servos);

    auto* options = new QGroupBox(QStringLiteral("Capture settings (yours, for every project)"), this);
    auto* form = new QFormLayout(options);
    auto spin = [&](const char* name, int low, int high, int value, const QString& suffix, const QString& tip) {
        auto* box = new QSpinBox(options);
        box->setObjectName(QString::fromLatin1(name));
        box->setRange(low, high);
        box->setValue(value);
        box->setSuffix(suffix);
        box->setToolTip(tip);
        return box;
    };
    offset_ = spin("spnOffset", 0, 1000, settings.offsetMs, QStringLiteral(" ms"),
                   QStringLiteral("Moves what you record earlier by this much, to make up for reacting late to the sound."));
    leadIn_ = spin("spnLeadIn", 0, 300, settings.leadIn, QStringLiteral(" frames"),
                   QStringLiteral("Frames played before the recorded range."));
    tolerance_ = spin("spnTolerance", 0, 10, settings.tolerance, QStringLiteral(" positions"),
                      QStringLiteral("How far the written lines may stray from what you performed."));
    deadZone_ = spin("spnDeadZone", 0, 50, settings.deadZone, QStringLiteral(" %"),
                     QStringLiteral("Stick movement around the rest position that is ignored."));
    oscPort_ = spin("spnOscPort", 1, 65535, settings.oscPort, QString(),
                    QStringLiteral("The UDP port OSC control surfaces send /kestrova/servo/N to."));
    oscAddress_ = new QLineEdit(QString::fromStdString(settings.oscAddress), options);
    oscAddress_->setObjectName(QStringLiteral("txtOscAddress"));
    oscAddress_->setToolTip(QStringLiteral("127.0.0.1 listens to this computer only; 0.0.0.0 to every network."));
    form->addRow(QStringLiteral("Capture offset:"), offset_);
    form->addRow(QStringLiteral("Record lead-in:"), leadIn_);
    form->addRow(QStringLiteral("Fit tolerance:"), tolerance_);
    form->addRow(QStringLiteral("Stick dead zone:"), deadZone_);
    form->addRow(QStringLiteral("OSC port:"), oscPort_);
    form->addRow(QStringLiteral("OSC listens on:"), oscAddress_);
    layout->addWidget(options);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    timer_ = new QTimer(this);
    timer_->setInterval(30);
    connect(timer_, &QTimer::timeout, this, &InputsDialog::Refresh);
    timer_->start();
    Refresh();
}

void InputsDialog::FillChoices(int servo, const ControlId& current) {
    QComboBox* box = rows_[size_t(servo)].source;
    box->clear();
    std::vector<ControlId> choices{ControlId{}};
    for (InputSource* source : sources_)
        for (const ControlId& id : source->Controls()) choices.push_back(id);
    for (int n = 1; n <= kServoCount; ++n) choices.push_back(ControlId{SourceKind::Osc, {}, n});
    std::sort(choices.begin() + 1, choices.end());
    choices.erase(std::unique(choices.begin(), choices.end()), choices.end());
    if (std::find(choices.begin(), choices.end(), current) == choices.end()) choices.push_back(current);
    for (const ControlId& id : choices) {
        QString text = QString::fromStdString(ControlText(id));
        const InputSource* source = SourceOf(id);
        if (id.kind != SourceKind::Slider && (!source || !source->Connected(id.device)))
            text += QStringLiteral(" (not connected)");
        box->addItem(text, QString::fromStdString(BindingText(Binding{id, false})));
        if (id == current) box->setCurrentIndex(box->count() - 1);
    }
}

InputSource* InputsDialog::SourceOf(const ControlId& control) const {
    for (InputSource* source : sources_)
        if (source->Kind() == control.kind) return source;
    return nullptr;
}

void InputsDialog::StartLearning(int servo) {
    for (InputSource* source : sources_) source->StartLearn();
    if (learning_ >= 0) rows_[size_t(learning_)].learn->setText(QStringLiteral("Learn"));
    learning_ = servo;
    learnTicks_ = 0;
    rows_[size_t(servo)].learn->setText(QStringLiteral("Move it..."));
}

void InputsDialog::Refresh() {
    for (InputSource* source : sources_) source->Poll();
    if (learning_ >= 0) {
        std::optional<ControlId> picked;
        for (InputSource* source : sources_)
            if (!picked) picked = source->Learned();
        if (picked || ++learnTicks_ > kLearnTicks) {
            if (picked) FillChoices(learning_, *picked);
            rows_[size_t(learning_)].learn->setText(QStringLiteral("Learn"));
            learning_ = -1;
        }
    }
    const Mapping mapping = ChosenMapping();
    for (int s = 0; s < kServoCount; ++s) {
        const Binding& binding = mapping[size_t(s)];
        const InputSource* source = SourceOf(binding.control);
        const std::optional<double> value = source ? source->Value(binding.control) : std::nullopt;
        rows_[size_t(s)].value->setText(
            value ? QStringLiteral("%1 (%2)")
                        .arg(ServoPosition(*value, project_.Servos[size_t(s)], binding.invert))
                        .arg(*value, 0, 'f', 2)
                  : QString());
    }
}

Mapping InputsDialog::ChosenMapping() const {
    Mapping mapping;
    for (int s = 0; s < kServoCount; ++s) {
        mapping[size_t(s)] = ParseBinding(rows_[size_t(s)].source->currentData().toString().toStdString());
        mapping[size_t(s)].invert = rows_[size_t(s)].invert->isChecked();
    }
    return mapping;
}

CaptureSettings InputsDialog::ChosenSettings() const {
    CaptureSettings settings;
    settings.offsetMs = offset_->value();
    settings.leadIn = leadIn_->value();
    settings.tolerance = tolerance_->value();
    settings.deadZone = deadZone_->value();
    settings.oscPort = oscPort_->value();
    settings.oscAddress = oscAddress_->text().trimmed().toStdString();
    return settings;
}

}  // namespace kestrova
