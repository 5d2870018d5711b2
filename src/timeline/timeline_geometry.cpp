#include "timeline_geometry.h"

#include "core/numeric_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrova {

int32_t GraphPixelWidth(int32_t frames, int viewportWidth) {
    return frames >= viewportWidth ? frames : viewportWidth + 2;
}

int64_t GraphMapping::Column(double x) const {
    return static_cast<int64_t>(std::floor((x - 1.0) * width_ / LogicalWidth()));
}

int64_t GraphMapping::Row(double y) const {
    // Far-off positions are kept in a range a painter can take; the
    // visible part of the line is the same.
    const double row = std::floor(y * height_ / kGraphLogicalHeight);
    return static_cast<int64_t>(std::clamp(row, -1.0e6, 1.0e6));
}

std::vector<int32_t> VerticalGridXs(int32_t frames, double fromX, double toX) {
    std::vector<int32_t> xs;
    const double last = std::min(std::round(double(frames) + 2.0), toX);
    double x = std::max(0.0, std::ceil(fromX / 10.0) * 10.0);
    for (; x <= last; x += 10.0) xs.push_back(static_cast<int32_t>(x));
    return xs;
}

std::vector<int32_t> HorizontalGridYs() {
    std::vector<int32_t> ys;
    for (int y = 254; y >= 0; y -= 15) ys.push_back(y);
    return ys;
}

int32_t ClickFrame(double x) {
    return RoundToInt32(x).value_or(x < 0 ? INT32_MIN : INT32_MAX);
}

std::string ReadOutText(double x, double y) {
    const auto frame = static_cast<int64_t>(std::floor(x));
    const auto pos = 254 - static_cast<int64_t>(std::floor(y));
    return "  Frame: " + std::to_string(frame) + " - Pos: " + std::to_string(pos);
}

int32_t DragFrame(int32_t frame, double pointer, double grab, double framePixels, int32_t frames) {
    const double d = framePixels > 0 ? std::floor((pointer - grab) / framePixels) : 0.0;
    const double moved = double(frame) + d;
    const double upper = std::max<double>(frames, 1);
    return static_cast<int32_t>(std::clamp(moved, 1.0, upper));
}

std::string FormatTenths(double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, "%.1f", seconds);
    std::string s = text;
    if (s.rfind("0.", 0) == 0) s.erase(0, 1);
    else if (s.rfind("-0.", 0) == 0) s.erase(1, 1);
    return s;
}

std::string DurationText(int32_t frames, int framesPerSecond) {
    return FormatTenths(double(frames) / std::max(framesPerSecond, 1)) + " seconds";
}

std::optional<int64_t> KeepInViewValue(int64_t value, int viewport, int64_t marker) {
    if (marker >= value + viewport) {
        if (marker < value + 2 * int64_t(viewport)) return value + viewport;
        return marker;
    }
    if (marker < value) return marker;
    return std::nullopt;
}

}  // namespace kestrova
