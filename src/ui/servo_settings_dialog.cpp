#include "servo_settings_dialog.h"

#include "core/numeric_text.h"
#include "core/servo_caps.h"
#include "edit_servo_settings_dialog.h"
#include "message_box.h"
#include "servo_output_table.h"
#include "servo_settings_table.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

// Design width of the grid's inside, in pixels.
constexpr int kGridDesignWidth = 400;

// The background of the header row and the number column.
QColor FixedBackground(const QPalette& palette) { return palette.color(QPalette::Button); }

int TwipsToPixels(int32_t twips) { return std::max(0, static_cast<int>(std::lround(twips / double(kTwipsPerPixel)))); }

}  // namespace

CellColors ServoRowColors(const QPalette& palette, bool enabled) {
    if (enabled) return {palette.color(QPalette::Base), palette.color(QPalette::Text)};
    QColor background = palette.color(QPalette::Midlight);
    if (background == palette.color(QPalette::Base)) background = palette.color(QPalette::Button);
    if (background == palette.color(QPalette::Base)) background = background.darker(112);
    return {background, palette.color(QPalette::Dark)};
}

frmServoSettings::frmServoSettings(Project& project, std::function<void()> updateServoSettings, QWidget* parent,
                                   MessageHandler messages)
    : QDialog(parent),
      project_(project),
      updateServoSettings_(std::move(updateServoSettings)),
      messages_(messages ? std::move(messages) : MessageHandler(&AskMessageBox)) {
    setObjectName(QStringLiteral("frmServoSettings"));
    setWindowTitle(QStringLiteral("Servo Settings"));

    grdSS_ = new QTableWidget(kRows, kColumns, this);
    grdSS_->setObjectName(QStringLiteral("grdSS"));
    grdSS_->horizontalHeader()->hide();
    grdSS_->verticalHeader()->hide();
    grdSS_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The row colours are the enabled flags; a selection highlight would hide them.
    grdSS_->setSelectionMode(QAbstractItemView::NoSelection);
    grdSS_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grdSS_->setWordWrap(false);
    const int rowHeight = fontMetrics().height() + 6;
    grdSS_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdSS_->verticalHeader()->setDefaultSectionSize(rowHeight);
    grdSS_->horizontalHeader()->setMinimumSectionSize(0);
    const int frame = 2 * grdSS_->frameWidth();
    grdSS_->setMinimumSize(kGridDesignWidth + 2 * CapColumnWidth() + frame, kRows * rowHeight + frame);
    grdSS_->viewport()->installEventFilter(this);
    grdSS_->installEventFilter(this);

    Command1_ = new QPushButton(QStringLiteral("&OK"), this);
    Command1_->setObjectName(QStringLiteral("Command1"));
    Command1_->setDefault(true);
    Command2_ = new QPushButton(QStringLiteral("&Cancel"), this);
    Command2_->setObjectName(QStringLiteral("Command2"));

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(Command1_);
    buttons->addWidget(Command2_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(grdSS_, 1);
    output_ = new ServoOutputTable(project_, this);
    layout->addWidget(output_);
    layout->addLayout(buttons);

    connect(Command1_, &QPushButton::clicked, this, &frmServoSettings::Command1_Click);
    connect(Command2_, &QPushButton::clicked, this, &frmServoSettings::Command2_Click);
    connect(grdSS_, &QTableWidget::cellDoubleClicked, this, &frmServoSettings::grdSS_DblClick);

    Form_Load();
}

frmServoSettings::~frmServoSettings() = default;

void frmServoSettings::Form_Load() {
    // The header row and the number column keep the grid's fixed look.
    const QColor fixed = FixedBackground(grdSS_->palette());
    for (int row = 0; row < kRows; ++row) {
        for (int col = 0; col < kColumns; ++col) {
            auto* item = new QTableWidgetItem;
            if (row == 0 || col == 0) item->setBackground(fixed);
            grdSS_->setItem(row, col, item);
        }
    }
    ApplyColumnWidths();
    for (int n = 1; n <= kServoCount; ++n) SetCell(n, 0, QString::number(n));
    SetCell(0, 1, QStringLiteral("Name"));
    SetCell(0, 2, QStringLiteral("Home"));
    SetCell(0, 3, QStringLiteral("Min"));
    SetCell(0, 4, QStringLiteral("Max"));
    SetCell(0, 5, QStringLiteral("Speed"));
    SetCell(0, 6, QStringLiteral("Accel"));
    for (int n = 1; n <= kServoCount; ++n) {
        const ServoRecord& servo = project_.Servos[n - 1];
        SetCell(n, 1, QString::fromStdString(servo.Name));
        SetCell(n, 2, QString::number(servo.Home));
        SetCell(n, 3, QString::number(servo.Min));
        SetCell(n, 4, QString::number(servo.Max));
        SetCell(n, 5, QString::number(servo.MaxSpeed));
        SetCell(n, 6, QString::number(servo.MaxAccel));
    }
    grdSS_->setCurrentCell(0, 0);
}

int frmServoSettings::CapColumnWidth() const { return fontMetrics().horizontalAdvance(QStringLiteral("100000")) + 12; }

void frmServoSettings::ApplyColumnWidths() {
    // The two cap columns keep a fixed width; the other five share the rest as they always did.
    const int caps = 2 * CapColumnWidth();
    const int inside = (grdSS_->viewport()->width() > 0 ? grdSS_->viewport()->width() : kGridDesignWidth + caps) - caps;
    // The number column's 255 twips were meant for a small system font; with
    // a larger one it widens to fit "16" and the position columns give way.
    const int numberWidth = fontMetrics().horizontalAdvance(QStringLiteral("16")) + 10;
    const int extra = std::max(0, numberWidth - TwipsToPixels(ServoTableColumnWidths(0)[0]));
    const std::array<int32_t, 5> widths = ServoTableColumnWidths((inside - extra) * kTwipsPerPixel);
    for (int col = 0; col < 5; ++col) {
        grdSS_->setColumnWidth(col, TwipsToPixels(widths[col]) + (col == 0 ? extra : 0));
    }
    grdSS_->setColumnWidth(4, TwipsToPixels(widths[4] + 15));
    grdSS_->setColumnWidth(5, caps / 2);
    grdSS_->setColumnWidth(6, caps / 2 - TwipsToPixels(15));
}

bool frmServoSettings::eventFilter(QObject* watched, QEvent* event) {
    if (watched == grdSS_->viewport() && event->type() == QEvent::Resize) {
        ApplyColumnWidths();
    } else if (watched == grdSS_ && event->type() == QEvent::KeyPress) {
        // Enter or F2 on a row edits it, like a double-click.
        const int key = static_cast<QKeyEvent*>(event)->key();
        if ((key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_F2) && grdSS_->currentRow() > 0) {
            grdSS_DblClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void frmServoSettings::SetCell(int32_t row, int32_t col, const QString& text) {
    if (row < 0 || row >= kRows || col < 0 || col >= kColumns) return;
    grdSS_->setCurrentCell(row, col);
    QTableWidgetItem* cell = grdSS_->item(row, col);
    cell->setText(text);
    // Header row and number column centred; numbers to the right, names to the left.
    const bool numeric = IsNumeric(text.trimmed().toStdString());
    cell->setTextAlignment(Qt::AlignVCenter |
                           (row == 0 || col == 0 ? Qt::AlignHCenter : numeric ? Qt::AlignRight : Qt::AlignLeft));
    if (row <= 0) return;
    const CellColors colors = ServoRowColors(grdSS_->palette(), project_.Servos[row - 1].Enabled);
    if (col > 0) cell->setBackground(colors.background);
    cell->setForeground(colors.text);
}

void frmServoSettings::ApplyEdit(int row, const std::array<QString, 6>& texts, bool enabled) {
    if (row < 0 || row >= kRows) return;
    const CellColors colors = ServoRowColors(grdSS_->palette(), enabled);
    grdSS_->setUpdatesEnabled(false);
    for (int col = 1; col < kColumns; ++col) {
        grdSS_->setCurrentCell(row, col);
        QTableWidgetItem* cell = grdSS_->item(row, col);
        cell->setText(texts[col - 1]);
        const bool numeric = IsNumeric(texts[col - 1].trimmed().toStdString());
        cell->setTextAlignment(Qt::AlignVCenter | (col > 1 && numeric ? Qt::AlignRight : Qt::AlignLeft));
        cell->setBackground(colors.background);
        cell->setForeground(colors.text);
    }
    grdSS_->setCurrentCell(row, 0);
    grdSS_->setUpdatesEnabled(true);
}

QString frmServoSettings::CellText(int row, int col) const {
    const QTableWidgetItem* cell = grdSS_->item(row, col);
    return cell ? cell->text() : QString();
}

QColor frmServoSettings::CellBackground(int row, int col) const {
    const QTableWidgetItem* cell = grdSS_->item(row, col);
    return cell && cell->background().style() != Qt::NoBrush ? cell->background().color() : QColor();
}

QColor frmServoSettings::CellForeground(int row, int col) const {
    const QTableWidgetItem* cell = grdSS_->item(row, col);
    return cell && cell->foreground().style() != Qt::NoBrush ? cell->foreground().color() : QColor();
}

bool frmServoSettings::RowEnabled(int row) const {
    return CellBackground(row, 4) == ServoRowColors(grdSS_->palette(), true).background;
}

frmEditServoSettings* frmServoSettings::editDialog() const { return editor_.data(); }

frmEditServoSettings* frmServoSettings::OpenEditor(int row) {
    if (row < 1 || row > kServoCount) return nullptr;
    auto* editor = new frmEditServoSettings(*this);
    editor->setAttribute(Qt::WA_DeleteOnClose);
    grdSS_->setUpdatesEnabled(false);
    QLineEdit* boxes[6] = {editor->Text1(), editor->Text2(), editor->Text3(),
                           editor->Text4(), editor->Text5(), editor->Text6()};
    for (int col = 1; col < kColumns; ++col) {
        grdSS_->setCurrentCell(row, col);
        boxes[col - 1]->setText(CellText(row, col));
    }
    editor->chkEnabled()->setChecked(RowEnabled(row));
    grdSS_->setCurrentCell(row, 0);
    editor->setTag(QString::number(row));
    grdSS_->setUpdatesEnabled(true);
    editor_ = editor;
    return editor;
}

void frmServoSettings::grdSS_DblClick() {
    // The header row holds no servo: a double-click there edits nothing.
    frmEditServoSettings* editor = OpenEditor(grdSS_->currentRow());
    if (!editor) return;
    // Modal to the table without blocking here: nothing follows the opening.
    editor->open();
}

void frmServoSettings::Command1_Click() {
    if (const std::string problem = output_->Problem(); !problem.empty()) {
        Ask(messages_, Message{problem, "Servo Settings", MessageIcon::Exclamation, MessageButtons::Ok});
        return;
    }
    output_->Apply(project_);
    for (int n = 1; n <= kServoCount; ++n) {
        ServoRecord& servo = project_.Servos[n - 1];
        servo.Name = CellText(n, 1).toStdString();
        // The edit dialog lets only valid positions in; anything else keeps the servo's value.
        servo.Home = ServoPositionFromText(CellText(n, 2).toStdString()).value_or(servo.Home);
        servo.Min = ServoPositionFromText(CellText(n, 3).toStdString()).value_or(servo.Min);
        servo.Max = ServoPositionFromText(CellText(n, 4).toStdString()).value_or(servo.Max);
        servo.MaxSpeed = CapFromText(CellText(n, 5).toStdString()).value_or(servo.MaxSpeed);
        servo.MaxAccel = CapFromText(CellText(n, 6).toStdString()).value_or(servo.MaxAccel);
        servo.Enabled = RowEnabled(n);
    }
    if (updateServoSettings_) updateServoSettings_();
    accept();
}

void frmServoSettings::Command2_Click() { reject(); }

}  // namespace kestrova
