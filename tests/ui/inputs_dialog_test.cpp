// Record > Inputs...: Learn picks the control moved on SDL's virtual pad,
// controls that are gone stay chosen but marked, and the dialog's answers.
#include "ui/inputs_dialog.h"

#include "capture/gamepad_source.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>

#include <SDL.h>
#include <gtest/gtest.h>

using namespace kestrova;

namespace {

TEST(InputsDialog, LearnPicksTheMovedAxisAndTheAnswersComeBack) {
    GamepadSource pads(0.05);
    const int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 6, 4, 0);
    ASSERT_GE(index, 0) << SDL_GetError();
    SDL_Joystick* pad = SDL_JoystickOpen(index);
    pads.Poll();
    const std::string name = pads.Devices().at(0);

    Project project;
    StartNewProject(project);
    project.Servos[2].Min = 10;
    project.Servos[2].Max = 210;
    Mapping mapping;
    mapping[5] = Binding{ControlId{SourceKind::Gamepad, "Old Pad", 1}, true};
    CaptureSettings settings;
    settings.offsetMs = 150;
    InputsDialog dialog(project, mapping, settings, {&pads}, QStringLiteral("Devices: ") + QString::fromStdString(name));

    EXPECT_EQ(dialog.Source(0)->currentText(), QStringLiteral("slider"));
    EXPECT_EQ(dialog.Source(5)->currentText(), QStringLiteral("Old Pad: axis 1 (not connected)"));
    EXPECT_TRUE(dialog.Invert(5)->isChecked());

    dialog.Learn(2)->click();
    EXPECT_EQ(dialog.Learn(2)->text(), QStringLiteral("Move it..."));
    SDL_JoystickSetVirtualAxis(pad, 4, 32767);
    dialog.Refresh();
    EXPECT_EQ(dialog.Learn(2)->text(), QStringLiteral("Learn"));
    dialog.Invert(2)->setChecked(true);
    dialog.Refresh();
    EXPECT_EQ(dialog.LiveValue(2)->text(), QStringLiteral("10 (1.00)")) << "inverted: the far end is Min";

    const Mapping chosen = dialog.ChosenMapping();
    EXPECT_EQ(chosen[2], (Binding{ControlId{SourceKind::Gamepad, name, 4}, true}));
    EXPECT_EQ(chosen[5], mapping[5]);
    EXPECT_EQ(chosen[0], Binding{});
    EXPECT_EQ(dialog.ChosenSettings(), settings);

    SDL_JoystickClose(pad);
    SDL_JoystickDetachVirtual(index);
}

}  // namespace
