// Mouth moves from the editor: where they go, the dialog's defaults, and
// the lines that land in the selected servo's program.
#include "core/compiler.h"
#include "support/isolated_store.h"
#include "support/test_files.h"
#include "ui/kvx_edit_ctrl.h"
#include "ui/main_window.h"
#include "ui/mouth_moves_dialog.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QSpinBox>
#include <QTimer>

#include <gtest/gtest.h>

#include <fstream>

using namespace kestrova;

namespace {

TEST(MouthMovesPlace, ProgramBeforeTheCaretGivesFrameAndPosition) {
    Project project;
    StartNewProject(project);
    struct Case {
        std::string prefix;
        bool builds;
        int32_t frame, position;
    };
    const Case cases[] = {
        {"", true, 1, project.Servos[2].Home},
        {"Mov 100, 5\r\n", true, 6, 100},
        {"Mov 100, 5\r\nWait 3\r\n", true, 9, 100},
        {"Mov 100, 5\r\nWait x\r\n", false, 0, 0},
    };
    for (const Case& c : cases) {
        int32_t frame = 0, position = 0;
        std::string error;
        EXPECT_EQ(ProgramReachAt(project, 2, c.prefix, frame, position, error), c.builds) << c.prefix;
        if (!c.builds) {
            EXPECT_FALSE(error.empty());
            continue;
        }
        EXPECT_EQ(frame, c.frame) << c.prefix;
        EXPECT_EQ(position, c.position) << c.prefix;
    }
}

TEST(MouthMovesDialog, OffersTheCuedSoundsAndTheServosRange) {
    Project project;
    StartNewProject(project);
    project.Servos[4].Min = 20, project.Servos[4].Max = 200;
    project.WavCues = {WavCue{}, WavCue{30, -1, "talk.wav"}, WavCue{40, 45, ""}, WavCue{77, -1, "/abs/song.wav"}};
    frmMouthMoves dialog(project, 4, 24, "/shows", {});
    ASSERT_EQ(dialog.cboSound()->count(), 2);  // the stop-only cue has no sound
    EXPECT_EQ(dialog.spnStart()->value(), 30);
    EXPECT_EQ(dialog.SoundPath(), "/shows/talk.wav");
    dialog.cboSound()->setCurrentIndex(1);
    EXPECT_EQ(dialog.spnStart()->value(), 77);
    EXPECT_EQ(dialog.SoundPath(), "/abs/song.wav");
    const audio::MouthOptions o = dialog.Options();
    EXPECT_EQ(o.closed, 20);
    EXPECT_EQ(o.open, 200);
    EXPECT_EQ(o.framesPerSecond, 24);
}

class MouthMovesWindowTest : public kestrova::testing::StoreTest {};

TEST_F(MouthMovesWindowTest, GeneratedLinesFollowTheCaretAndBuild) {
    std::vector<int16_t> samples(8000, 0);  // one second of silence, one of a tone
    const auto tone = kestrova::testing::Square(8000, 26000, 4);
    samples.insert(samples.end(), tone.begin(), tone.end());
    const std::string sound = dir_ + "/talk.wav";
    std::ofstream(sound, std::ios::binary) << kestrova::testing::WavBytes(samples, 8000);

    frmMain window;
    window.NewFile();
    Project& project = window.project();
    project.Servos[0].Min = 10, project.Servos[0].Max = 90;
    KvxEditCtrl& editor = *window.rtb(0);
    editor.SetText("Mov 50, 4\r\n");
    editor.SetSel(editor.Length(), editor.Length());
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<frmMouthMoves*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->cboSound()->setEditText(QString::fromStdString(sound));
        dialog->spnFPS()->setValue(10);
        dialog->spnStart()->setValue(3);
        dialog->accept();
    });
    window.findChild<QAction*>(QStringLiteral("miMouthMoves"))->trigger();

    ASSERT_EQ(editor.Text().rfind("Mov 50, 4\r\nMov 10, 1\r\n", 0), 0u) << editor.Text();
    ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success);
    // The program stood on frame 5; the sound started on frame 3, so the
    // mouth closes on frame 6, opens with the tone ten frames after the
    // sound's start and closes when it ends.
    for (auto [frame, position] : {std::pair{5, 50}, {6, 10}, {12, 10}, {13, 90}, {22, 90}, {23, 10}})
        EXPECT_EQ(project.Frames[frame][0], position) << frame;
}

}  // namespace
