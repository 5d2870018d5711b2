#pragma once
// Punching a take into a servo's program: the frames of the recorded range
// are rebuilt from the take, and nothing else changes. The frames outside
// the range build as before, value for value, and the text outside the
// commands that the range touches keeps its lines and comments.

#include "fitter.h"
#include "project.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kestrova {

struct PunchInResult {
    std::string program;
    std::string error;  // why the take was refused; the program is then empty
    bool ok() const { return error.empty(); }
};

// The servo's program with frames [first, last] of its built column replaced
// by `take` (take.size() == last - first + 1), within the options' tolerance,
// everything outside the range building as before.
// `tableFrames` is the built table's length when the caller knows it (0:
// unknown). A take that reaches the table's end then leaves the servo where
// the take ends; otherwise the position the servo held after the range is
// kept for the frames after it, which may take one more frame.
PunchInResult PunchIn(const ServoRecord& record, std::string_view program, int32_t first, int32_t last,
                      std::span<const int32_t> take, const FitOptions& options, int32_t tableFrames = 0);

}  // namespace kestrova
