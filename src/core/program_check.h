#pragma once
// Compiles one servo's program on its own, for the editor's diagnostics
// while the user types: the same compiler as the build, into a scratch
// table, so the project's frame table and flags stay as they are.

#include "compiler.h"
#include "project.h"

#include <cstdint>
#include <optional>
#include <string>

namespace kestrova {

struct ProgramCheck {
    // The first error, if any (its servo is the one checked).
    std::optional<CompileError> error;
    // The servo's last frame (frame 1 is its Home), as far as the program
    // compiled.
    int32_t frames = 1;
};

ProgramCheck CheckProgram(int servo, const ServoRecord& record, std::string program);

}  // namespace kestrova
