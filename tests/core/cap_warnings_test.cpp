#include "core/cap_warnings.h"
#include "core/program_check.h"

#include <gtest/gtest.h>

namespace kestrova {
namespace {

// One servo's program and caps in, the words warned about out (as offsets).
TEST(CapWarnings, WarnAtTheMovesThatAskTooMuch) {
    const struct {
        const char* program;
        int32_t speed, accel;
        bool enabled;
        std::vector<int32_t> at;  // Start of each warned word
        const char* first = "";   // the first message starts so
    } cases[] = {
        {"Mov 200, 10\r\nMov 210, 10", 0, 0, true, {}},                  // no caps
        {"Mov 200, 10\r\nMov 210, 10", 100, 0, true, {0}, "this move asks for 240 positions"},
        {"Mov 200, 10\r\nMov 210, 10", 240, 0, true, {}},                // steps of 7 and 8 at 30: within
        {"Wait 3\r\nMov 130, 30", 0, 50, true, {7}, "this move asks for an acceleration of 900"},
        {"Mov 200, 10\r\nMov 210, 10", 100, 0, false, {}},               // disabled: nothing is sent
    };
    for (const auto& c : cases) {
        Project project;
        StartNewProject(project);
        project.Servos[0].MaxSpeed = c.speed;
        project.Servos[0].MaxAccel = c.accel;
        project.Servos[0].Enabled = c.enabled;
        project.Programs[0] = c.program;
        project.Programs[1] = "Wait 40";  // longer: servo 0 is padded in the build, not in the check
        ASSERT_EQ(BuildAnimation(project).outcome, BuildOutcome::Success) << c.program;
        const std::vector<CapWarning> warnings = CapWarnings(project);
        std::vector<int32_t> at;
        for (const CapWarning& w : warnings) at.push_back(w.word.Start);
        EXPECT_EQ(at, c.at) << c.program << " " << c.speed << " " << c.accel;
        // The editor checks the servo on its own and must warn at the same words.
        std::vector<int32_t> checked;
        for (const ProgramWarning& w : CheckProgram(0, project.Servos[0], c.program).warnings) checked.push_back(w.Start);
        EXPECT_EQ(checked, c.at) << c.program;
        if (!warnings.empty()) {
            EXPECT_EQ(warnings[0].message.rfind(c.first, 0), 0u) << warnings[0].message;
        }
    }
}

}  // namespace
}  // namespace kestrova
