// The settings dialog on a store of the test's own.
#include "core/messages.h"
#include "files/registry.h"
#include "ui/settings_dialog.h"
#include "files/settings_store.h"
#include "files/stop_setting.h"
#include "link/serial_link.h"
#include "support/isolated_store.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>

#include <gtest/gtest.h>

using namespace kestrova;

namespace {

class SettingsDialogTest : public kestrova::testing::StoreTest {
protected:
    int applied_ = 0;
    std::vector<kestrova::Message> shown_;
    const MessageHandler record_ = [this](const kestrova::Message& m) {
        shown_.push_back(m);
        return MessageAnswer::Ok;
    };
};

TEST_F(SettingsDialogTest, OkStoresAllSixAndKeepsValuesItCannotShow) {
    ProjectSettings settings{5, 1, 255, 1, 2, 1};
    frmSettings dialog(settings, [this] { ++applied_; }, nullptr, record_, store_);
    // The untouched boxes store what they showed.
    dialog.cboCOMPort->setCurrentIndex(2);
    dialog.cboPriority->setCurrentIndex(0);
    dialog.chkAutoDisable->setChecked(false);
    dialog.OK();
    EXPECT_EQ(applied_, 1);
    EXPECT_EQ(settings, (ProjectSettings{3, 1, 255, 1, 0, 0}));
    ProjectSettings stored;
    LoadSettings(store_, stored);
    EXPECT_EQ(stored, settings);
    EXPECT_TRUE(shown_.empty());

    // Values outside the lists stay as they are.
    ProjectSettings odd{17, 3, 0, 0, 7, 0};
    frmSettings oddDialog(odd, [] {});
    oddDialog.OK();
    EXPECT_EQ(odd, (ProjectSettings{17, 3, 0, 0, 7, 0}));
}

TEST_F(SettingsDialogTest, CancelWritesNothingAndTheDeviceGoesIntoThePortTable) {
    ProjectSettings settings;
    {
        frmSettings dialog(settings, [this] { ++applied_; }, nullptr, record_, store_);
        dialog.cboSynchByte->setCurrentIndex(9);
        dialog.reject();
    }
    EXPECT_EQ(settings.SynchByte, 0);
    EXPECT_FALSE(QFile::exists(QString::fromStdString(programFile_)));
    EXPECT_EQ(applied_, 0);

    frmSettings dialog(settings, [this] { ++applied_; }, nullptr, record_, store_);
    dialog.cboCOMPort->setCurrentIndex(6);
    dialog.cboDevice->setCurrentText("/dev/ttyKESTROVA7");
    dialog.OK();
    EXPECT_EQ(StoredPortEntry(store_, 7), "/dev/ttyKESTROVA7");
    EXPECT_NE(StoredPortEntry(store_, 6), "/dev/ttyKESTROVA7");

    frmSettings virtualChoice(settings, [this] { ++applied_; }, nullptr, record_, store_);
    virtualChoice.cboDevice->setCurrentIndex(virtualChoice.cboDevice->findText(kVirtualControllerDevice));
    virtualChoice.OK();
    EXPECT_EQ(StoredPortEntry(store_, 7), kVirtualControllerDevice);
    EXPECT_EQ(settings.COMPort, 7) << "the port number, and so the project files, stay as they were";
}

TEST_F(SettingsDialogTest, AfterStopShowsAndStoresTheUsersChoice) {
    // note: "cannot switch its pulses off"; ok: OK, else Cancel.
    const struct { AfterStop stored; int chosen; Protocol protocol; bool note, ok; } cases[] = {
        {AfterStop::Hold, 2, Protocol::MiniSsc, true, true},
        {AfterStop::PulsesOff, 1, Protocol::Ssc32, false, true},
        {AfterStop::Home, 2, Protocol::Pololu, false, true},
        {AfterStop::PulsesOff, 0, Protocol::MiniSsc, false, false},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(SaveAfterStop(store_, c.stored));
        ProjectSettings settings;
        settings.Protocol = int32_t(c.protocol);
        frmSettings dialog(settings, [] {}, nullptr, record_, store_);
        EXPECT_EQ(dialog.cboAfterStop->currentIndex(), int(c.stored));
        dialog.cboAfterStop->setCurrentIndex(c.chosen);
        EXPECT_EQ(!dialog.lblAfterStopNote->isHidden(), c.note) << c.chosen << " " << int(c.protocol);
        c.ok ? dialog.OK() : dialog.reject();
        EXPECT_EQ(LoadAfterStop(store_), c.ok ? AfterStop(c.chosen) : c.stored);
    }
}

TEST_F(SettingsDialogTest, AStoreThatCannotBeWrittenIsReportedOnce) {
    // A folder where the settings file should be.
    std::filesystem::create_directories(programFile_);
    ProjectSettings settings;
    frmSettings dialog(settings, [this] { ++applied_; }, nullptr, record_, store_);
    dialog.cboBaudRate->setCurrentIndex(1);
    dialog.OK();
    ASSERT_EQ(shown_.size(), 1u);
    EXPECT_EQ(shown_[0].text, "Error 26001: Failed to set registry value Key: '-2147483647',Section: '" +
                                  std::string(kProgramKey) + "',Key: 'AutoDisable' to value: '0'");
    EXPECT_EQ(settings.BaudRate, 1) << "the choice stays in force";
    EXPECT_EQ(applied_, 1);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

}  // namespace
