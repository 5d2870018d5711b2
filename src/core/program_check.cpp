#include "program_check.h"

#include "cap_warnings.h"

#include <memory>
#include <utility>

namespace kestrova {

const ProgramWarning* WarningAt(const ProgramCheck& check, int32_t offset) {
    for (const ProgramWarning& w : check.warnings) {
        if (offset >= w.Start && offset <= w.End) return &w;
    }
    return nullptr;
}

ProgramCheck CheckProgram(int servo, const ServoRecord& record, std::string program) {
    // A project is large enough to keep off a worker thread's stack.
    auto scratch = std::make_unique<Project>();
    scratch->Servos[servo] = record;
    scratch->Programs[servo] = std::move(program);
    ServoCompiler compiler(*scratch);
    ProgramCheck check;
    if (!compiler.CompileServo(servo)) check.error = compiler.LastError();
    check.frames = scratch->ServoFrameCount[servo];
    // The build's own check on the servo alone: the table holds only its
    // frames, and past its end a servo holds its last position either way.
    if (!check.error) {
        for (const CapWarning& w : CapWarnings(*scratch))
            check.warnings.push_back(ProgramWarning{w.word.Start, w.word.End, w.message});
    }
    return check;
}

}  // namespace kestrova
