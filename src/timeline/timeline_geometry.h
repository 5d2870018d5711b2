#pragma once
// The coordinates of the timeline graph and its marker strip, and the small
// rules of the timeline that need no widget: sizes, grid places, read-out,
// click frame, marker drag steps, the duration caption and keeping the play
// marker in view.
//
// The graph is W pixels wide: N when the animation has at least as many
// frames as the viewport has pixel columns (V), otherwise V + 2, so short
// animations fill the viewport. Horizontally it runs from logical 1 at its
// left edge to N + 3 at its right edge (frame f lies at x = f);
// vertically from 0 at the top to 255 at the bottom, position p at y = 254 - p.

#include "core/project.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

// Logical heights of the graph and the strip.
constexpr double kGraphLogicalHeight = 255.0;
// Design sizes in pixels (15 twips to the pixel).
constexpr int kViewportOuterWidth = 481;  // 7215 twips
constexpr int kStripHeight = 17;          // 255 twips
constexpr int kGraphTop = 16;             // 240 twips
constexpr int kGraphHeight = 249;         // 3735 twips
constexpr int kGuideLineWidth = 2;        // 25 twips
// The graph's horizontal bar pages by the visible width and steps by a
// tenth of it, in pixels.
constexpr int32_t GraphPageStep(int viewportWidth) { return viewportWidth > 1 ? viewportWidth : 1; }
constexpr int32_t GraphLineStep(int viewportWidth) { return viewportWidth >= 20 ? viewportWidth / 10 : 1; }

// The graph's pixel width for N frames in a viewport V pixels wide.
int32_t GraphPixelWidth(int32_t frames, int viewportWidth);

// Zoom: the graph's width is GraphPixelWidth times the zoom, no narrower
// than the viewport (V + 2: the whole animation in view), no wider than
// kMaxFramePixels a frame or kMaxGraphWidth in all.
constexpr double kMaxFramePixels = 64.0;
constexpr int64_t kMaxGraphWidth = 16'000'000;
// One step of the zoom buttons and keys; a wheel notch is half of it.
constexpr double kZoomStep = 2.0;
int32_t ZoomedGraphWidth(int32_t frames, int viewportWidth, double zoom);
// The widest zoom that still changes the picture.
double MaxZoom(int32_t frames, int viewportWidth);

class GraphMapping {
public:
    GraphMapping() = default;
    GraphMapping(int32_t frames, int32_t pixelWidth, int pixelHeight)
        : frames_(frames), width_(pixelWidth), height_(pixelHeight) {}

    int32_t Frames() const { return frames_; }
    int32_t Width() const { return width_; }
    int Height() const { return height_; }
    // Logical width: N + 2.
    double LogicalWidth() const { return double(frames_) + 2.0; }
    // Pixels per frame: W / (N + 2).
    double FramePixels() const { return width_ / LogicalWidth(); }

    // Pixel column of logical x: (x - 1) * W / (N + 2), rounded down.
    int64_t Column(double x) const {
        return static_cast<int64_t>(std::floor((x - 1.0) * width_ / LogicalWidth()));
    }
    // Logical x of a pixel offset from the left edge: 1 + c * (N + 2) / W.
    double X(double column) const { return 1.0 + column * LogicalWidth() / width_; }
    // Pixel row of logical y: y * H / 255, rounded down. Far-off positions
    // are kept in a range a painter can take; the visible part of a line is
    // the same.
    int64_t Row(double y) const {
        const double row = std::floor(y * height_ / kGraphLogicalHeight);
        return static_cast<int64_t>(std::clamp(row, -1.0e6, 1.0e6));
    }
    double Y(double row) const { return row * kGraphLogicalHeight / height_; }
    // Row of a servo position.
    int64_t PositionRow(int32_t position) const { return Row(254.0 - double(position)); }

private:
    int32_t frames_ = 1;
    int32_t width_ = 1;
    int height_ = 1;
};

// The scroll value that keeps logical x at pixel `anchor` of the viewport
// on a graph of `mapping`, within 0 to the last value `maxValue`.
int64_t AnchoredScrollValue(const GraphMapping& mapping, double x, int anchor, int64_t maxValue);

// Logical x of the vertical grid lines (0, 10, 20, ... up to N + 2 rounded),
// limited to [fromX, toX]. Zoomed far out, `step` (a power of ten times 10)
// keeps them apart.
std::vector<int32_t> VerticalGridXs(int32_t frames, double fromX, double toX, int32_t step = 10);
// The grid step for a scale: 10 frames, or 100, 1000, ... when lines 10
// frames apart would stand closer than a few pixels.
int32_t GridStep(double framePixels);
// Logical y of the horizontal grid lines: 254, 239, ..., 14.
std::vector<int32_t> HorizontalGridYs();

// The frame under a press at logical x: rounded to the nearest whole
// number, halves to even.
int32_t ClickFrame(double x);

// The read-out for a pointer at logical x, y: "  Frame: " floor(x)
// " - Pos: " 254 - floor(y).
std::string ReadOutText(double x, double y);

// A marker's frame after a drag step. `pointer` is the pointer's offset in
// pixels from the marker's left edge, `grab` the offset at which the marker
// was taken (whole frames within it), `framePixels` the width of one frame.
// The marker moves by the whole frames between them and stays within 1 to N.
int32_t DragFrame(int32_t frame, double pointer, double grab, double framePixels, int32_t frames);

// The duration caption of N frames at fps, to a tenth of a second:
// "0.5 seconds", "20.0 seconds"; from a minute on "55 min 34.9 s", from an
// hour on "9 h 15 min 33.3 s".
std::string DurationText(int32_t frames, int framesPerSecond);

// The scroll value that keeps the play marker, at pixel column `marker` of
// the graph, in a viewport `viewport` pixels wide scrolled to `value`; none
// when it is in view. Past the right edge the view pages on by its own width
// so the marker carries on from the left edge (straight to the marker when
// it lies further than one page on); left of the view it goes to the marker.
std::optional<int64_t> KeepInViewValue(int64_t value, int viewport, int64_t marker);

}  // namespace kestrova
