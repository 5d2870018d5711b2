#pragma once
// Compiles one servo's program on its own, for the editor's diagnostics
// while the user types: the same compiler as the build, into a scratch
// table, so the project's frame table and flags stay as they are.

#include "compiler.h"
#include "project.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

// A command that asks more of the servo than its caps allow (see
// cap_warnings.h): its word's offsets and the warning.
struct ProgramWarning {
    int32_t Start = 0;
    int32_t End = 0;
    std::string message;
};

struct ProgramCheck {
    // The first error, if any (its servo is the one checked).
    std::optional<CompileError> error;
    // The cap warnings of a program without errors, in text order.
    std::vector<ProgramWarning> warnings;
    // The servo's last frame (frame 1 is its Home), as far as the program
    // compiled.
    int32_t frames = 1;
};

// The warning whose word holds the character offset (its end included),
// if any.
const ProgramWarning* WarningAt(const ProgramCheck& check, int32_t offset);

ProgramCheck CheckProgram(int servo, const ServoRecord& record, std::string program);

}  // namespace kestrova
