#include "program_check.h"

#include <memory>
#include <utility>

namespace kestrova {

ProgramCheck CheckProgram(int servo, const ServoRecord& record, std::string program) {
    // A project is large enough to keep off a worker thread's stack.
    auto scratch = std::make_unique<Project>();
    scratch->Servos[servo] = record;
    scratch->Programs[servo] = std::move(program);
    ServoCompiler compiler(*scratch);
    ProgramCheck check;
    if (!compiler.CompileServo(servo)) check.error = compiler.LastError();
    check.frames = scratch->ServoFrameCount[servo];
    return check;
}

}  // namespace kestrova
