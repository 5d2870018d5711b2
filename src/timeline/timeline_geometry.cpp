#include "timeline_geometry.h"

#include "core/numeric_text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace kestrova {

int32_t GraphPixelWidth(int32_t frames, int viewportWidth) {
    return frames >= viewportWidth ? frames : viewportWidth + 2;
}

int32_t ZoomedGraphWidth(int32_t frames, int viewportWidth, double zoom) {
    const double base = GraphPixelWidth(frames, viewportWidth);
    const double fit = double(viewportWidth) + 2.0;
    const double widest = std::max(fit, std::min<double>(kMaxGraphWidth, (double(frames) + 2.0) * kMaxFramePixels));
    return static_cast<int32_t>(std::clamp(std::round(base * zoom), fit, std::floor(widest)));
}

double MaxZoom(int32_t frames, int viewportWidth) {
    const double base = GraphPixelWidth(frames, viewportWidth);
    return std::max(1.0, std::min<double>(kMaxGraphWidth, (double(frames) + 2.0) * kMaxFramePixels) / base);
}

int64_t AnchoredScrollValue(const GraphMapping& mapping, double x, int anchor, int64_t maxValue) {
    const double column = (x - 1.0) * mapping.Width() / mapping.LogicalWidth();
    return std::clamp<int64_t>(std::llround(column) - anchor, 0, std::max<int64_t>(maxValue, 0));
}

std::vector<int32_t> VerticalGridXs(int32_t frames, double fromX, double toX, int32_t step) {
    std::vector<int32_t> xs;
    const double last = std::min(std::round(double(frames) + 2.0), toX);
    double x = std::max(0.0, std::ceil(fromX / step) * step);
    for (; x <= last; x += step) xs.push_back(static_cast<int32_t>(x));
    return xs;
}

int32_t GridStep(double framePixels) {
    int32_t step = 10;
    while (step < 100'000'000 && step * framePixels < 5.0) step *= 10;
    return step;
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

std::string DurationText(int32_t frames, int framesPerSecond) {
    const int64_t tenths = std::llround(double(frames) * 10.0 / std::max(framesPerSecond, 1));
    const int64_t hours = tenths / 36000, minutes = tenths / 600 % 60;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%lld.%lld", static_cast<long long>(tenths / 10 % 60),
                  static_cast<long long>(tenths % 10));
    if (tenths < 600) return std::string(seconds) + " seconds";
    std::string text = hours > 0 ? std::to_string(hours) + " h " : std::string();
    return text + std::to_string(minutes) + " min " + seconds + " s";
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
