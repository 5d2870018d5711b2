#include "edit_servo_settings_dialog.h"

#include "core/messages.h"
#include "core/servo_caps.h"
#include "servo_settings_dialog.h"
#include "servo_settings_table.h"
#include "core/text.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <array>
#include <string>

namespace kestrova {

namespace {

QLineEdit* MakeBox(const QString& name, int width, QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(name);
    box->setFixedWidth(width);
    return box;
}

}  // namespace

frmEditServoSettings::frmEditServoSettings(frmServoSettings& table) : QDialog(&table), table_(table) {
    setObjectName(QStringLiteral("frmEditServoSettings"));
    setWindowTitle(QStringLiteral("Edit Servo"));

    lblTitle_ = new QLabel(this);
    lblTitle_->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = lblTitle_->font();
    titleFont.setBold(true);
    lblTitle_->setFont(titleFont);

    const int digits = fontMetrics().horizontalAdvance(QStringLiteral("-000000")) + 12;
    Text1_ = MakeBox(QStringLiteral("Text1"), fontMetrics().averageCharWidth() * 26, this);
    Text2_ = MakeBox(QStringLiteral("Text2"), digits, this);
    Text3_ = MakeBox(QStringLiteral("Text3"), digits, this);
    Text4_ = MakeBox(QStringLiteral("Text4"), digits, this);
    Text5_ = MakeBox(QStringLiteral("Text5"), digits, this);
    Text6_ = MakeBox(QStringLiteral("Text6"), digits, this);
    Text5_->setToolTip(QStringLiteral("Positions per second; 0 for no cap"));
    Text6_->setToolTip(QStringLiteral("Positions per second squared; 0 for no cap"));
    chkEnabled_ = new QCheckBox(QStringLiteral("Servo Enabled"), this);
    chkEnabled_->setObjectName(QStringLiteral("chkEnabled"));
    Command1_ = new QPushButton(QStringLiteral("&OK"), this);
    Command1_->setObjectName(QStringLiteral("Command1"));
    Command1_->setDefault(true);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("Command2"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* form = new QFormLayout;
    form->setLabelAlignment(Qt::AlignRight | Qt::AlignVCenter);
    const std::array<std::pair<const char*, QLineEdit*>, 6> rows{{{"Name:", Text1_},
                                                                  {"Home:", Text2_},
                                                                  {"Min:", Text3_},
                                                                  {"Max:", Text4_},
                                                                  {"Max speed (positions/s):", Text5_},
                                                                  {"Max accel (positions/s\u00B2):", Text6_}}};
    for (const auto& [caption, box] : rows) {
        auto* label = new QLabel(QString::fromUtf8(caption), this);
        label->setObjectName(QStringLiteral("lbl") + box->objectName());
        label->setBuddy(box);
        form->addRow(label, box);
    }
    form->addRow(QString(), chkEnabled_);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1_);
    buttons->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblTitle_);
    layout->addSpacing(4);
    layout->addLayout(form);
    layout->addSpacing(4);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    connect(Command1_, &QPushButton::clicked, this, &frmEditServoSettings::Command1_Click);
}

frmEditServoSettings::~frmEditServoSettings() = default;

void frmEditServoSettings::showEvent(QShowEvent* event) {
    Form_Activate();
    QDialog::showEvent(event);
}

void frmEditServoSettings::Form_Activate() {
    lblTitle_->setText(QStringLiteral("Servo ") + tag_ + QStringLiteral(" Settings"));
}

bool frmEditServoSettings::LimitsAccepted() {
    // Min above Max leaves no position to send; a Home outside the limits
    // is one the servo may not take.
    const int32_t home = *ServoPositionFromText(Text2_->text().toStdString());
    const int32_t min = *ServoPositionFromText(Text3_->text().toStdString());
    const int32_t max = *ServoPositionFromText(Text4_->text().toStdString());
    QLineEdit* box = nullptr;
    std::string problem;
    if (min > max) {
        box = Text3_;
        problem = "The Min position (" + std::to_string(min) + ") must not be above the Max position (" +
                  std::to_string(max) + ").";
    } else if (home < min || home > max) {
        box = Text2_;
        problem = "The Home position (" + std::to_string(home) + ") must lie within Min (" + std::to_string(min) +
                  ") and Max (" + std::to_string(max) + ").";
    }
    if (!box) return true;
    Ask(table_.Messages(), Message{problem, "Invalid Entry", MessageIcon::Critical, MessageButtons::Ok});
    box->selectAll();
    box->setFocus();
    return false;
}

void frmEditServoSettings::Command1_Click() {
    // A position the servo's sliders cannot take is refused before it reaches the table.
    const std::array<std::pair<const char*, QLineEdit*>, 3> positions{
        {{"Home", Text2_}, {"Min", Text3_}, {"Max", Text4_}}};
    for (const auto& [field, box] : positions) {
        if (ServoPositionFromText(box->text().toStdString())) continue;
        Ask(table_.Messages(), Message{std::string("The ") + field + " position must be a whole number from " +
                                           std::to_string(kLowestServoPosition) + " to " +
                                           std::to_string(kHighestServoPosition) + ".",
                                       "Invalid Entry", MessageIcon::Critical, MessageButtons::Ok});
        box->selectAll();
        box->setFocus();
        return;
    }
    const std::array<std::pair<const char*, QLineEdit*>, 2> caps{{{"speed", Text5_}, {"acceleration", Text6_}}};
    for (const auto& [field, box] : caps) {
        if (CapFromText(box->text().toStdString())) continue;
        Ask(table_.Messages(), Message{std::string("The maximum ") + field + " must be a whole number from 0 to " +
                                           std::to_string(kMostCap) + " (0 for no cap).",
                                       "Invalid Entry", MessageIcon::Critical, MessageButtons::Ok});
        box->selectAll();
        box->setFocus();
        return;
    }
    if (!LimitsAccepted()) return;
    // A name is one line of the project file.
    const QString name = QString::fromStdString(SingleLine(Text1_->text().toStdString()));
    table_.ApplyEdit(tag_.toInt(),
                     {name, Text2_->text(), Text3_->text(), Text4_->text(), Text5_->text(), Text6_->text()},
                     chkEnabled_->isChecked());
    accept();
}

}  // namespace kestrova
