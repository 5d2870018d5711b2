#pragma once
// The servo settings table "Servo Settings": the 16 servos' names, home and
// limit positions in a grid, each servo's enabled flag shown as the colours
// of its row. The grid is the working copy; only OK copies it into the
// servo records.

#include "core/messages.h"
#include "core/project.h"

#include <QColor>
#include <QDialog>
#include <QPointer>
#include <QString>

#include <array>
#include <functional>

class QPalette;
class QPushButton;
class QTableWidget;

namespace kestrova {

class frmEditServoSettings;
class ServoOutputTable;

// Background and text colour of a servo's cells.
struct CellColors {
    QColor background;
    QColor text;
};

// The colours of an enabled row (window background and window text) or a
// disabled one (3D light and button shadow) in `palette`. A disabled row's
// background always differs from the window background, since that colour
// is what marks a row as enabled.
CellColors ServoRowColors(const QPalette& palette, bool enabled);

class frmServoSettings : public QDialog {
    Q_OBJECT

public:
    // `updateServoSettings` refreshes the servo panel after OK. The edit
    // dialog's refusals go to `messages` (by default a message box).
    frmServoSettings(Project& project, std::function<void()> updateServoSettings, QWidget* parent = nullptr,
                     MessageHandler messages = {});
    ~frmServoSettings() override;

    static constexpr int kRows = kServoCount + 1;
    static constexpr int kColumns = 7;  // number, name, Home, Min, Max, speed cap, accel cap

    // Makes (row, col) the current cell, writes the text and, for rows 1 to
    // 16, colours the cell by that row's servo as the table opened.
    void SetCell(int32_t row, int32_t col, const QString& text);

    // Puts an edited row into the grid: the texts of columns 1 to 4 as typed,
    // all four cells in the enabled or disabled colours.
    void ApplyEdit(int row, const std::array<QString, 6>& texts, bool enabled);

    // A row counts as enabled when its column 4 has the window background.
    bool RowEnabled(int row) const;
    QString CellText(int row, int col) const;
    QColor CellBackground(int row, int col) const;
    QColor CellForeground(int row, int col) const;

    // Builds the edit dialog for a servo row (1 to 16), filled from the grid,
    // without showing it; nothing for other rows.
    frmEditServoSettings* OpenEditor(int row);
    // The edit dialog while it is open.
    frmEditServoSettings* editDialog() const;

    QTableWidget* grid() const { return grdSS_; }
    ServoOutputTable* output() const { return output_; }
    const MessageHandler& Messages() const { return messages_; }

public slots:
    void Command1_Click();  // OK
    void Command2_Click();  // Cancel
    // Opens the edit dialog on the current row.
    void grdSS_DblClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    void ApplyColumnWidths();
    int CapColumnWidth() const;

    Project& project_;
    std::function<void()> updateServoSettings_;
    MessageHandler messages_;
    QTableWidget* grdSS_ = nullptr;
    QPushButton* Command1_ = nullptr;
    QPushButton* Command2_ = nullptr;
    QPointer<frmEditServoSettings> editor_;
    ServoOutputTable* output_ = nullptr;
};

}  // namespace kestrova
