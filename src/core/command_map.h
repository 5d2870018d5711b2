#pragma once
// Where each command of a servo's program stands in its text and which
// frames it builds: what the graph's handles, tool tips and "select the line"
// read, and what the editing features turn into text edits. Made by the
// compiler itself, in the same pass that builds the servo's frames.

#include "compiler.h"
#include "project.h"

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace kestrova {

enum class CommandKind { Mov, Wait };

struct CommandSpan {
    CommandKind kind = CommandKind::Wait;
    // The command's words; position and easing have End == 0 when absent
    // (a Wait has no position, a move without easing no easing word).
    Token word, position, frames, easing;
    // The frames the command fills: firstFrame to lastFrame, firstFrame > 1.
    // A move to the position already held fills none (lastFrame ==
    // firstFrame - 1).
    int32_t firstFrame = 2, lastFrame = 1;
    int32_t from = 0, to = 0;  // the servo's position before and after
    Ease ease = Ease::None;
};

struct ServoMap {
    std::vector<CommandSpan> commands;  // up to the first error
    std::optional<CompileError> error;  // its servo is -1: the caller knows which
    int32_t frames = 1;                 // last frame the program filled
};

// The map of one program, without building any frame.
ServoMap MapServo(const ServoRecord& record, std::string_view program);

// Compiles one servo into the project's frame table and returns its map:
// its column up to its last frame, its last position repeated to the end of
// the table, the table's length that of the longest servo, the other servos
// padded to it and the WAV cue slots marked, as a full build leaves them when
// every program compiles. On an error the column holds what compiled, held
// to the end. Flags (Built, Used, ModifiedSinceBuild) are the caller's.
ServoMap RebuildServo(Project& project, int servo);

// The command whose frames hold `frame` (the first of them when several end
// there), or -1 when frame is 1 or after the last command.
int CommandAtFrame(const ServoMap& map, int32_t frame);

}  // namespace kestrova
