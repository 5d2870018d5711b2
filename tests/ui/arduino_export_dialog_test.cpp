#include "ui/arduino_export_dialog.h"

#include "core/compiler.h"
#include "core/messages.h"
#include "support/isolated_store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

#include <gtest/gtest.h>

#include <filesystem>

using namespace kestrova;

namespace {

class ArduinoExportTest : public kestrova::testing::StoreTest {
protected:
    void SetUp() override {
        StoreTest::SetUp();
        StartNewProject(project_);
        project_.sFilename = dir_ + "/my robot.kva";
        project_.Programs[0] = "Mov 200, 10";
    }
    // Runs the command; `fill` sets the dialog's fields and answers it.
    std::vector<Message> Export(const std::function<bool(ArduinoExportDialog&)>& fill) {
        std::vector<Message> shown;
        const MessageHandler record = [&](const Message& m) {
            shown.push_back(m);
            return MessageAnswer::Ok;
        };
        ExportForArduino(nullptr, project_, [this] {
            ++builds_;
            return BuildAnimation(project_).outcome == BuildOutcome::Success;
        }, record, store_, fill);
        return shown;
    }

    Project project_;
    int builds_ = 0;
};

TEST_F(ArduinoExportTest, ExportsAndRemembersTheChoices) {
    const std::string sketch = dir_ + "/robot";
    const auto shown = Export([&](ArduinoExportDialog& dialog) {
        EXPECT_EQ(dialog.folderEdit()->text().toStdString(), dir_ + "/my_robot") << "named after the project";
        dialog.folderEdit()->setText(QString::fromStdString(sketch));
        dialog.modeBox()->setCurrentIndex(1);
        dialog.channelsEdit()->setText(QStringLiteral("5"));
        dialog.triggerBox()->setChecked(true);
        dialog.pinBox()->setValue(7);
        return true;
    });
    EXPECT_EQ(builds_, 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].icon, MessageIcon::Information) << shown[0].text;
    EXPECT_TRUE(std::filesystem::exists(sketch + "/robot.ino"));

    // The next export starts from these choices, and needs no second build.
    Export([&](ArduinoExportDialog& dialog) {
        EXPECT_EQ(dialog.folderEdit()->text().toStdString(), sketch);
        EXPECT_EQ(dialog.modeBox()->currentIndex(), 1);
        EXPECT_EQ(dialog.channelsEdit()->text().left(4), QStringLiteral("5,1,"));
        EXPECT_TRUE(dialog.triggerBox()->isChecked());
        EXPECT_EQ(dialog.pinBox()->value(), 7);
        return false;
    });
    EXPECT_EQ(builds_, 1);
}

TEST_F(ArduinoExportTest, BadChoicesKeepTheDialogOpenAndFailedBuildsAskNothing) {
    Export([&](ArduinoExportDialog& dialog) {
        dialog.channelsEdit()->setText(QStringLiteral("1,99"));
        dialog.accept();
        EXPECT_EQ(dialog.result(), QDialog::Rejected);
        return false;
    });
    project_.Programs[0] = "Mov 300, 10";
    project_.ModifiedSinceBuild = true;
    bool asked = false;
    Export([&](ArduinoExportDialog&) { return asked = true; });
    EXPECT_FALSE(asked);
}

}  // namespace
