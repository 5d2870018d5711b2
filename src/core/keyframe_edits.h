#pragma once
// The edits behind the keys on the graph: each key is the end of one command
// of a servo's program, and every change made there (moving a key, splitting
// a command, merging two, changing an easing or a command's kind) becomes a
// list of text edits that touch only the numbers and words it must, leaving
// spacing, comments and the other commands as they are.
//
// Numbers that change are written as plain integers; numbers that keep their
// value keep their form ("1.5E1" stays). Moves keep their frames where the
// compiler's arithmetic allows: a linear move's count is chosen so that it
// fills the frames asked for.

#include "command_map.h"
#include "text_edit.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct KeyEdit {
    std::vector<TextEdit> edits;
    std::string error;  // why the action cannot be done; no edits then
    bool ok() const { return error.empty(); }
};

// Frames a command fills from position `from`: a Wait or eased move its
// count, a linear move what the compiler makes of it.
int32_t CommandLength(CommandKind kind, int32_t from, int32_t to, int32_t count, Ease ease);

// The count that makes such a command fill `length` frames, or the nearest
// that can be had (at least 1).
int32_t CountForLength(CommandKind kind, int32_t from, int32_t to, int32_t length, Ease ease);

// The frames key `key` (the end of command key) may be dragged to: without
// shift the next command absorbs the change and must keep a frame; with it
// everything after moves along, within the longest show. A program with an
// error keeps its last key from passing the place of the error.
struct FrameRange {
    int32_t first = 0, last = 0;
};
FrameRange KeyFrameRange(const ServoMap& map, int key, bool shift);

// Moves key `key` to position `to` (a Wait keeps its position) and frame
// `end` (within KeyFrameRange). Without shift every later key stays on its
// frame; with it they all move by the same frames.
KeyEdit MoveKey(const ServoMap& map, int key, int32_t to, int32_t end, bool shift);

// Splits the command filling `frame` into two that build the same
// positions, the new key on that frame or, for a move whose positions only
// split exactly nearby, on the nearest frame that does. `frameOut` is where
// the new key went.
KeyEdit SplitAt(std::string_view program, const ServoMap& map, int32_t frame, int32_t& frameOut);

// Removes key `key` by merging its command with the next; the last key's
// command is removed. Later keys stay on their frames.
KeyEdit MergeKey(std::string_view program, const ServoMap& map, int key);

// Changes a move's easing, keeping its frames.
KeyEdit SetEasing(std::string_view program, const ServoMap& map, int key, Ease ease);

// A Wait becomes an eased move to the position it holds (which fills its
// frames the same), and a move that ends where it started becomes a Wait.
bool CanToggleWait(const ServoMap& map, int key);
KeyEdit ToggleWait(std::string_view program, const ServoMap& map, int key);

}  // namespace kestrova
