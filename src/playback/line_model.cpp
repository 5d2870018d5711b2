#include "line_model.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

int32_t BaudOfSetting(int32_t baudRate) { return baudRate == 1 ? 9600 : 2400; }

double LineLoadPercent(int servos, int fps, int32_t baud) {
    if (baud <= 0) return 0;
    return 100.0 * servos * kCommandBytes * fps / (baud / 10.0);
}

double LineLoadPercent(const std::array<bool, kLineServos>& sends, const LineCost& cost, int fps, int32_t baud) {
    if (baud <= 0) return 0;
    int bytes = 0;
    for (int s = 0; s < kLineServos; ++s) bytes += sends[s] ? cost.commandBytes[s] : 0;
    if (bytes > 0) bytes += cost.frameBytes;
    return 100.0 * bytes * fps / (baud / 10.0);
}

std::string LineLoadText(double percent, int32_t baud) {
    return "Line: " + std::to_string(std::lround(percent)) + "% of " + std::to_string(baud) + " baud";
}

std::string LineLoadText(double percent, int32_t baud, const std::string& protocol) {
    return LineLoadText(percent, baud) + " (" + protocol + ")";
}

LineModel::LineModel(const std::array<bool, kLineServos>& sends, double periodMs, int32_t baud, const LineCost& cost)
    : sends_(sends), cost_(cost), periodBytes_(periodMs * baud / 10.0 / 1000.0) {
    sent_.fill(-1);
    int whole = 0;
    for (int s = 0; s < kLineServos; ++s) whole += sends_[s] ? cost_.commandBytes[s] : 0;
    if (whole > 0) whole += cost_.frameBytes;
    // A whole frame that fills the period exactly still fits.
    fitsWhole_ = double(whole) <= periodBytes_ + 1e-9;
}

std::vector<int> LineModel::Choose(const std::array<int32_t, kLineServos>& positions, int64_t periods, bool last,
                                   const std::array<bool, kLineServos>& moving) {
    auto sendable = [&](int s) { return sends_[s] && positions[s] >= 0 && positions[s] <= 255; };
    std::vector<int> chosen;
    if (fitsWhole_) {
        for (int s = 0; s < kLineServos; ++s)
            if (sendable(s)) chosen.push_back(s);
        return chosen;
    }
    // What the line has carried away since the last frame, never more than
    // one period's worth, so nothing stale waits in the queue.
    credit_ = periods <= 0 ? periodBytes_ : std::min(periodBytes_, credit_ + double(periods) * periodBytes_);
    auto changed = [&](int s) { return sendable(s) && (positions[s] != sent_[s] || moving[s]); };
    if (last) {
        for (int s = 0; s < kLineServos; ++s)
            if (changed(s)) chosen.push_back(s);
    } else {
        // The frame's own bytes come out of the credit once, with its first servo.
        double budget = credit_ - cost_.frameBytes + 1e-9;
        for (int i = 0; i < kLineServos; ++i) {
            const int s = (next_ + i) % kLineServos;
            if (!changed(s) || cost_.commandBytes[s] > budget) continue;
            chosen.push_back(s);
            budget -= cost_.commandBytes[s];
        }
        if (!chosen.empty()) next_ = (chosen.back() + 1) % kLineServos;
    }
    for (int s : chosen) sent_[s] = positions[s];
    double spent = chosen.empty() ? 0 : cost_.frameBytes;
    for (int s : chosen) spent += cost_.commandBytes[s];
    credit_ = std::max(0.0, credit_ - spent);
    return chosen;
}

}  // namespace kestrova
