// The document commands through the main window: dialogs, caption, the Save
// command, the recent-files menu and closing.
#include "ui/main_window.h"

#include "core/messages.h"
#include "support/isolated_store.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/recent_menu.h"
#include "ui/servo_settings_dialog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <filesystem>

using namespace kestrova;

namespace {

class DocumentsWindowTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        frmMain::Dependencies fakes;
        fakes.messages = [this](const Message& m) {
            shown_.push_back(m);
            return m.buttons == MessageButtons::YesNoCancel ? answer_ : MessageAnswer::Ok;
        };
        fakes.fileDialog = [this](QWidget*, bool save) {
            dialogs_.push_back(save ? "save" : "open");
            if (names_.empty()) return QString();
            const QString name = names_.front();
            names_.pop_front();
            return name;
        };
        fakes.store = store_;
        window_ = std::make_unique<frmMain>(nullptr, fakes);
        window_->NewFile();
        window_->show();
    }
    void TearDown() override { window_.reset(); StoreTest::TearDown(); }
    QString File(const char* name) const { return QString::fromStdString(dir_ + "/" + name); }
    // The caption as the desktop shows it.
    QString Caption() const { return window_->windowHandle()->title(); }
    void Type(const char* text) { QTest::keyClicks(window_->rtb(window_->project().lServo), text); }
    std::vector<QString> RecentCaptions() const {
        std::vector<QString> captions;
        for (QAction* item : window_->RecentMenu()->Items()) captions.push_back(item->text());
        return captions;
    }

    std::deque<QString> names_;
    std::vector<std::string> dialogs_;
    MessageAnswer answer_ = MessageAnswer::Cancel;
    std::vector<Message> shown_;
    std::unique_ptr<frmMain> window_;
};

TEST_F(DocumentsWindowTest, EveryKindOfChangeIsUnsavedWorkAndMarksTheCaption) {
    // Runs the servo settings table and answers it with `edit` (row, name,
    // home), or OK without edits when the row is 0.
    auto servoSettings = [this](int row, const char* name, const char* home) {
        QTimer::singleShot(0, [=] {
            auto* table = qobject_cast<frmServoSettings*>(QApplication::activeModalWidget());
            ASSERT_NE(table, nullptr);
            if (row > 0) table->ApplyEdit(row, {name, home, "0", "254"}, true);
            table->Command1_Click();
        });
        window_->miServoSettings_Click();
    };
    const struct {
        const char* what;
        std::function<void()> change;
        bool unsaved, stale;
    } cases[] = {
        {"typing", [&] { Type("Wait 2"); }, true, true},
        {"a recorded Mov", [&] { window_->InsertMov(3, 140, 5); }, true, true},
        {"undo of typing", [&] { Type("x"); window_->rtb(0)->undo(); }, true, true},
        {"a servo's name", [&] { servoSettings(2, "Jaw", "127"); }, true, false},
        {"the settings table without a change", [&] { servoSettings(0, "", ""); }, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        names_ = {File("marks")};
        ASSERT_TRUE(window_->Documents().SaveAs().done);
        window_->project().ModifiedSinceBuild = false;
        ASSERT_FALSE(window_->isWindowModified());
        EXPECT_EQ(Caption(), "Kestrova v2 - [" + File("marks.kva") + "]");
        c.change();
        EXPECT_EQ(window_->project().bNeedToSave, c.unsaved);
        EXPECT_EQ(window_->isWindowModified(), c.unsaved);
        EXPECT_EQ(Caption(), "Kestrova v2 - [" + File("marks.kva") + "]" + (c.unsaved ? "*" : ""));
        EXPECT_EQ(window_->project().ModifiedSinceBuild, c.stale);
    }
    // Qt's own mark in a name is shown as it is, and the real mark still works.
    for (const std::string name : {"/tmp/[*]", "*"}) {
        window_->Documents().SetFileName(name);
        Type(" ");
        EXPECT_EQ(Caption().toStdString(), "Kestrova v2 - [" + name + "]*");
    }
}

// The toolbar's save runs Save As while the name is no path; the recent
// menu opens a file again, even one whose name is not UTF-8.
TEST_F(DocumentsWindowTest, SaveAsThenOpenAgainFromTheRecentMenu) {
    Type("Wait 3");
    names_ = {File("plain")};
    window_->tbrMain_ButtonClick("save");
    EXPECT_EQ(dialogs_, (std::vector<std::string>{"save"}));
    EXPECT_EQ(RecentCaptions(), (std::vector<QString>{"&1 " + File("plain.kva")}));
    const std::string raw = dir_ + "/caf\xe9.kva";
    std::filesystem::copy_file(dir_ + "/plain.kva", raw);
    window_->RecentMenu()->AddMenuItem(raw);
    window_->RecentMenu()->RefreshMenuItems();
    window_->NewFile();
    window_->RecentMenu()->Items().front()->trigger();
    EXPECT_EQ(window_->rtb(0)->Text(), "Wait 3\r\n");
    EXPECT_TRUE(shown_.empty());
}

TEST_F(DocumentsWindowTest, ClosingAsksAndCancelKeepsTheWindowAndTheWork) {
    Type("Mov 10, 2");
    answer_ = MessageAnswer::Cancel;
    EXPECT_FALSE(window_->close());
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_TRUE(window_->isVisible());
    EXPECT_EQ(window_->rtb(0)->Text(), "Mov 10, 2");
}

}  // namespace
