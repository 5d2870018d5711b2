#pragma once
// Which message of the programs' checks the status bar reports: an error
// before any warning (the selected servo's, else the first servo with one),
// and of the warnings the one under the caret, else the selected servo's
// first, else the first of the first servo with any.

#include "core/program_check.h"
#include "core/project.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

struct StatusMessage {
    int servo = -1;  // -1: nothing to report
    int32_t offset = 0;  // where in the servo's program
    std::string message;
    bool warning = false;
};

StatusMessage PickStatusMessage(const std::array<std::optional<ProgramCheck>, kServoCount>& results, int selected,
                                int32_t caret);

}  // namespace kestrova
