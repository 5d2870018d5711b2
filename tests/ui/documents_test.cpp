// The document commands through the main window: dialogs, caption, the Save
// command, the recent-files menu and closing.
#include "ui/main_window.h"

#include "core/messages.h"
#include "playback/execution_window.h"
#include "support/isolated_store.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/recent_menu.h"

#include <QAction>
#include <QCloseEvent>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>

using namespace kestrova;

namespace {

class DocumentsWindowTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        window_ = std::make_unique<frmMain>();
        window_->SetFileDialog([this](QWidget*, bool save) {
            dialogs_.push_back(save ? "save" : "open");
            if (names_.empty()) return QString();
            const QString name = names_.front();
            names_.pop_front();
            return name;
        });
        window_->NewFile();
        window_->show();
    }
    void TearDown() override { window_.reset(); StoreTest::TearDown(); }
    QString File(const char* name) const { return QString::fromStdString(dir_ + "/" + name); }
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
    ScopedMessageHandler capture_{[this](const Message& m) {
        shown_.push_back(m);
        return m.buttons == MessageButtons::YesNoCancel ? answer_ : MessageAnswer::Ok;
    }};
    std::unique_ptr<frmMain> window_;
};

TEST_F(DocumentsWindowTest, SaveAsOpenAgainFromTheRecentMenu) {
    EXPECT_EQ(RecentCaptions(), (std::vector<QString>{"(No Recent Files)"}));
    EXPECT_FALSE(window_->RecentMenu()->Items().front()->isEnabled());
    Type("Wait 7");

    // The toolbar's save runs Save As while the name is no path.
    names_ = {File("first")};
    window_->tbrMain_ButtonClick("save");
    EXPECT_EQ(dialogs_, (std::vector<std::string>{"save"}));
    EXPECT_EQ(window_->windowTitle(), "Kestrova v2 - [" + File("first.kva") + "]");
    EXPECT_TRUE(window_->findChild<QAction*>("miSave")->isEnabled());
    EXPECT_EQ(RecentCaptions(), (std::vector<QString>{"&1 " + File("first.kva")}));

    // New, then the recent item brings the file back into the editors.
    window_->NewFile();
    EXPECT_EQ(window_->windowTitle(), "Kestrova v2 - [Untitled2]");
    EXPECT_FALSE(window_->findChild<QAction*>("miSave")->isEnabled());
    window_->RecentMenu()->Items().front()->trigger();
    EXPECT_EQ(window_->rtb(0)->Text(), "Wait 7\r\n");
    EXPECT_TRUE(shown_.empty());
}

TEST_F(DocumentsWindowTest, RecentItemOpensANameThatIsNotUtf8) {
    Type("Wait 3");
    names_ = {File("plain.kva")};
    window_->tbrMain_ButtonClick("save");
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
    EXPECT_EQ(shown_[0].text, "\"Untitled1\" has been modified.  Save the changes?");
    EXPECT_TRUE(window_->isVisible());

    // Yes, and the Save As dialog cancelled: still open, nothing lost.
    answer_ = MessageAnswer::Yes;
    EXPECT_FALSE(window_->close());
    EXPECT_EQ(window_->rtb(0)->Text(), "Mov 10, 2");

    // Yes with a name: saved, then closed.
    names_ = {File("kept.kva")};
    EXPECT_TRUE(window_->close());
    EXPECT_TRUE(std::filesystem::exists(dir_ + "/kept.kva"));
}

}  // namespace

namespace {

TEST_F(DocumentsWindowTest, NewAndOpenWithTheExecutionWindowOpenAskNoBuildAndRefreshIt) {
    Type("Wait 7");
    names_ = {File("built")};
    window_->tbrMain_ButtonClick("save");
    window_->BuildAnimation();
    window_->ShowExecutionWindow();
    ASSERT_NE(window_->ExecutionWindow(), nullptr);
    EXPECT_EQ(window_->ExecutionWindow()->lblFrames()->text(), "8");
    shown_.clear();
    const std::function<void()> commands[] = {
        [this] { window_->NewFile(); },
        [this] { window_->OpenFile(File("built.kva")); },
        [this] { window_->RecentMenu()->Items().front()->trigger(); },
    };
    for (const auto& command : commands) {
        command();
        EXPECT_TRUE(shown_.empty()) << (shown_.empty() ? "" : shown_[0].title);
        shown_.clear();
        // The window is closed or shows an empty graph: the new project is not built.
        if (frmExe* exe = window_->ExecutionWindow()) {
            EXPECT_EQ(exe->lblFrames()->text(), "0");
        }
    }
}

}  // namespace
