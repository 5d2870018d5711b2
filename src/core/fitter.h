#pragma once
// Turns a recorded trace (one position per frame) into the Mov and Wait
// lines a person would write for it: far fewer lines than frames, each line
// checked against the compiler's own arithmetic so that the built frames
// stay within a tolerance of the trace.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kestrova {

struct FitOptions {
    int32_t tolerance = 2;  // positions either side of the trace, 0 to 10
    bool easing = true;     // eased moves where they save lines
};

// Mov/Wait lines (no line breaks) that, compiled after a servo standing at
// `start`, rebuild trace[0..n-1] as frames 2..n+1 (frame 1 being `start`)
// within tolerance. Move targets stay between the lowest and the highest of
// `start` and the trace, so the lines pass whatever limits the trace passed.
// Beyond the 24 bits a float holds exactly, a frame that no plain move can
// land on is met by an eased single frame, even without easing.
std::vector<std::string> FitLines(std::span<const int32_t> trace, int32_t start, const FitOptions& options);

// The general form behind FitLines: frame i (from 0) must build between
// low[i] and high[i]; move targets stay within [minTarget, maxTarget]; with
// `endAt`, the lines must leave the servo's position (the start of whatever
// follows) there. Nothing when no such lines were found.
std::optional<std::vector<std::string>> FitBetween(std::span<const int32_t> low, std::span<const int32_t> high,
                                                   int32_t start, std::optional<int32_t> endAt, int32_t minTarget,
                                                   int32_t maxTarget, bool easing);

}  // namespace kestrova
