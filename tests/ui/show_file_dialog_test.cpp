// Make Show File: what the dialog saves is a show file the runner reads,
// with the projects relative to it; the test-run window shows the runner's
// log and state, and its end.
#include "ui/show_file_dialog.h"

#include "show/show_file.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace kestrova {
namespace {

TEST(ShowFileDialog, SavesAFileTheRunnerReads) {
    QTemporaryDir dir;
    const QString project = dir.filePath("props/robot.kva");
    const QString idle = dir.filePath("props/breathe.kva");
    ShowFileDialog dialog(project, nullptr, [&](QWidget*, const QString&, bool save) {
        return save ? dir.filePath("show.json") : idle;
    });
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
        if (b->text() == "Browse...") b->click();
    }
    for (QPushButton* b : dialog.findChildren<QPushButton*>()) {
        if (b->text() == "Save As...") b->click();
    }
    ASSERT_EQ(dialog.SavedPath(), dir.filePath("show.json"));
    const show::ShowFileRead read = show::ReadShowFile(dir.filePath("show.json").toStdString());
    ASSERT_TRUE(read.ok()) << read.problems[0].Line();
    EXPECT_EQ(read.file.shows[0].project, "props/robot.kva");
    EXPECT_EQ(read.file.idle, "props/breathe.kva");
    ASSERT_EQ(read.file.triggers.size(), 1u);
    EXPECT_EQ(read.file.triggers[0].kind, show::TriggerKind::Key);
    EXPECT_EQ(read.file.cooldownMs, 10000);
}

// A show file naming a project that is not there: the runner says so and
// ends, and the window shows both.
TEST(ShowRunWindow, ShowsTheRunnersWordsAndItsEnd) {
    QTemporaryDir dir;
    const QString path = dir.filePath("show.json");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"shows": ["missing.kva"]})");
    file.close();
    ShowRunWindow window(path, KESTROVA_CLI);
    QTRY_VERIFY_WITH_TIMEOUT(window.State().startsWith("Ended"), 10000);
    EXPECT_EQ(window.State(), "Ended (exit status 2)");
    EXPECT_TRUE(window.Log().contains("shows[0].project: the project")) << window.Log().toStdString();
}

}  // namespace
}  // namespace kestrova
