// The servo settings table and its edit dialog: edits that stay in the table
// until OK, Cancel, rounding of positions, the refused entries, and the
// column widths.
#include "ui/edit_servo_settings_dialog.h"
#include "ui/servo_settings_dialog.h"
#include "ui/servo_settings_table.h"

#include "core/messages.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(ServoSettingsTable, ColumnWidthsShareTheRestInThirds) {
    const struct {
        int32_t grid;
        std::array<int32_t, 5> widths;
    } cases[] = {
        {5400, {255, 1500, 1215, 1215, 1200}},
        {5401, {255, 1500, 1215, 1215, 1200}},  // 1215.33 and 1200.33
        {5402, {255, 1500, 1216, 1216, 1201}},  // 1215.67 and 1200.67
        {1755, {255, 1500, 0, 0, -15}},
    };
    for (const auto& c : cases) EXPECT_EQ(ServoTableColumnWidths(c.grid), c.widths) << c.grid;
}

class ServoSettingsTest : public ::testing::Test {
protected:
    ServoSettingsTest() { SetNewProjectDefaults(project_); }

    void Open() {
        table_ = std::make_unique<frmServoSettings>(project_, [this] { ++updates_; }, nullptr, [this](const Message& m) {
            messages_.push_back(m);
            return MessageAnswer::Ok;
        });
        table_->show();
    }
    // Double-clicks a row of the table and returns the edit dialog it opened.
    frmEditServoSettings* Edit(int row) {
        table_->grid()->setCurrentCell(row, 1);
        table_->grdSS_DblClick();
        return table_->editDialog();
    }
    // Fills the edit dialog of `row` and presses its OK.
    frmEditServoSettings* EditAndApply(int row, const QString& name, const QString& home, const QString& min,
                                       const QString& max, bool enabled, const QString& speed = "0",
                                       const QString& accel = "0") {
        frmEditServoSettings* editor = Edit(row);
        if (!editor) return nullptr;
        for (auto [box, text] : {std::pair{editor->Text1(), name}, {editor->Text2(), home}, {editor->Text3(), min},
                                 {editor->Text4(), max}, {editor->Text5(), speed}, {editor->Text6(), accel}})
            box->setText(text);
        editor->chkEnabled()->setChecked(enabled);
        editor->findChild<QPushButton*>("Command1")->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return editor;
    }
    QStringList RowTexts(int row) {
        QStringList texts;
        for (int col = 0; col < frmServoSettings::kColumns; ++col) texts << table_->CellText(row, col);
        return texts;
    }
    void Click(const char* name) { table_->findChild<QPushButton*>(name)->click(); }

    Project project_;
    int updates_ = 0;
    std::vector<Message> messages_;
    std::unique_ptr<frmServoSettings> table_;
};

TEST_F(ServoSettingsTest, OKStoresRoundedPositionsAndAnyName) {
    const struct {
        int row;
        QString name, home, min, max;
        ServoRecord expected;
        QString speed = "0", accel = "0";
    } cases[] = {
        {1, "Jaw", "14.5", "13.5", "200", {"Jaw", 14, 14, 200, true, false}},
        {2, "", " -2.5 ", "-32768.5", "32767", {"", -2, -32768, 32767, false, false}},
        {16, "Eye\tleft \u00E9", "1e2", "0", "254.5", {"Eye\tleft \u00E9", 100, 0, 254, true, false}},
        // A pasted line break would split the name's line in the project file.
        {5, "Upper\r\nlip\n", "1", "0", "2", {"Upper lip ", 1, 0, 2, true, false}},
        {7, "Brow", "5", "0", "10", {"Brow", 5, 0, 10, true, false, 120, 400}, " 120", "400"},
    };
    Open();
    for (const auto& c : cases) {
        EditAndApply(c.row, c.name, c.home, c.min, c.max, c.expected.Enabled, c.speed, c.accel);
        // The table keeps the texts as typed (the name on one line).
        EXPECT_EQ(RowTexts(c.row).mid(1),
                  (QStringList{QString::fromStdString(c.expected.Name), c.home, c.min, c.max, c.speed, c.accel}));
    }
    EXPECT_TRUE(messages_.empty());
    EXPECT_EQ(table_->editDialog(), nullptr);
    // A disabled row greys its cells, but the number column still shows the
    // state the table opened with, and the servo waits for OK.
    const CellColors disabled = ServoRowColors(table_->grid()->palette(), false);
    EXPECT_FALSE(table_->RowEnabled(2));
    for (int col = 1; col <= 4; ++col) EXPECT_EQ(table_->CellBackground(2, col), disabled.background);
    EXPECT_EQ(table_->CellForeground(2, 0), ServoRowColors(table_->grid()->palette(), true).text);
    EXPECT_TRUE(project_.Servos[1].Enabled);
    EXPECT_EQ(updates_, 0);
    Click("Command1");
    EXPECT_EQ(updates_, 1);
    // A change of servo settings alone is nothing to save or build.
    EXPECT_FALSE(project_.bNeedToSave || project_.ModifiedSinceBuild);
    for (const auto& c : cases) {
        ServoRecord expected = c.expected;
        expected.Used = project_.Servos[c.row - 1].Used;
        EXPECT_EQ(project_.Servos[c.row - 1], expected) << c.row;
    }
    EXPECT_EQ(project_.Servos[2].Name, "Servo 3");
}

TEST_F(ServoSettingsTest, CancelLeavesEverythingAsItWas) {
    project_.Servos[5] = {"Neck", 90, 10, 180, false, true};
    const auto before = project_.Servos;
    Open();
    EditAndApply(1, "Changed", "2", "2", "3", false);
    EditAndApply(6, "Neck2", "100", "0", "200", true);
    EditAndApply(1, "Again", "6", "6", "7", true);
    Click("Command2");
    EXPECT_EQ(project_.Servos, before);
    EXPECT_EQ(updates_, 0);
    // The next opening starts from the servo records again.
    Open();
    EXPECT_EQ(RowTexts(6), (QStringList{"6", "Neck", "90", "10", "180", "0", "0"}));
    EXPECT_FALSE(table_->RowEnabled(6));
}

TEST_F(ServoSettingsTest, EditRefusesPositionsTheSlidersCannotTake) {
    const struct {
        QString home, min, max;
        std::string message;
        const char* box;
        QString speed = "0", accel = "0";
    } cases[] = {
        {"abc", "0", "254", "The Home position must be a whole number from -32768 to 32767.", "Text2"},
        {"32768", "x", "y", "The Home position must be a whole number from -32768 to 32767.", "Text2"},
        {"127", "-32769", "254", "The Min position must be a whole number from -32768 to 32767.", "Text3"},
        {"127", "12 5", "254", "The Min position must be a whole number from -32768 to 32767.", "Text3"},
        {"127", "0", "32767.5", "The Max position must be a whole number from -32768 to 32767.", "Text4"},
        {"127", "0", "254", "The maximum speed must be a whole number from 0 to 100000 (0 for no cap).", "Text5", "-1"},
        {"127", "0", "254", "The maximum acceleration must be a whole number from 0 to 100000 (0 for no cap).",
         "Text6", "10", "2.5"},
        // Limits no position satisfies, and a Home the servo may not take.
        {"150", "200", "100", "The Min position (200) must not be above the Max position (100).", "Text3"},
        {"127", "0", "100", "The Home position (127) must lie within Min (0) and Max (100).", "Text2"},
        {"-0.6", "0", "100", "The Home position (-1) must lie within Min (0) and Max (100).", "Text2"},
    };
    Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message + " " + c.home.toStdString() + "|" + c.min.toStdString() + "|" + c.max.toStdString());
        messages_.clear();
        frmEditServoSettings* editor = EditAndApply(3, "Renamed", c.home, c.min, c.max, false, c.speed, c.accel);
        ASSERT_NE(editor, nullptr);
        ASSERT_EQ(messages_.size(), 1u);
        EXPECT_EQ(messages_[0].text, c.message);
        EXPECT_TRUE(editor->isVisible());
        QLineEdit* box = editor->findChild<QLineEdit*>(c.box);
        EXPECT_EQ(editor->focusWidget(), box);
        EXPECT_EQ(box->selectedText(), box->text());
        EXPECT_TRUE(table_->RowEnabled(3));
        // Cancel discards the entries.
        editor->findChild<QPushButton*>("Command2")->click();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(table_->editDialog(), nullptr);
        EXPECT_EQ(RowTexts(3), (QStringList{"3", "Servo 3", "127", "0", "254", "0", "0"}));
    }
}

TEST_F(ServoSettingsTest, OnlyServoRowsOpenTheEditor) {
    Open();
    EXPECT_EQ(Edit(0), nullptr);
    EXPECT_EQ(table_->OpenEditor(17), nullptr);
    EXPECT_EQ(table_->OpenEditor(-1), nullptr);
    // A double-click on a row's number edits that row.
    table_->grid()->setCurrentCell(9, 0);
    emit table_->grid()->cellDoubleClicked(9, 0);
    ASSERT_NE(table_->editDialog(), nullptr);
    EXPECT_EQ(table_->editDialog()->Text1()->text(), "Servo 9");
    // Out-of-range cells are ignored, not written; the header row is never
    // coloured.
    table_->SetCell(17, 1, "x");
    table_->SetCell(1, 7, "x");
    table_->SetCell(-1, 0, "x");
    EXPECT_EQ(RowTexts(1), (QStringList{"1", "Servo 1", "127", "0", "254", "0", "0"}));
    table_->SetCell(0, 2, "Home");
    EXPECT_EQ(table_->CellBackground(0, 2), table_->CellBackground(0, 0));
}

}  // namespace
}  // namespace kestrova
