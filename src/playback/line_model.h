#pragma once
// The serial line as playback sees it: each byte takes 10 bits at the line's
// rate, and each servo's command the bytes its controller's protocol needs
// (a frame may add some of its own, as the SSC-32's line end). While every servo of a frame fits before the next frame is due, the
// frame goes out whole. When it does not, no more is queued than the line
// carries in a period: only servos whose position changed since they were
// last sent, each with its newest position, taking turns so none starves.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

constexpr int kLineServos = 16;
constexpr int kCommandBytes = 3;

// The line rate of a BaudRate setting (0: 2400, 1: 9600).
int32_t BaudOfSetting(int32_t baudRate);

// What a frame costs on the line: the most bytes each servo's command
// takes and the bytes the frame adds once, whatever it holds.
struct LineCost {
    std::array<int, kLineServos> commandBytes;
    int frameBytes = 0;
    LineCost() { commandBytes.fill(kCommandBytes); }
};

// Percent of the line's capacity that a frame of the servos in `sends`
// needs at `fps`.
double LineLoadPercent(const std::array<bool, kLineServos>& sends, const LineCost& cost, int fps, int32_t baud);
// "Line: 150% of 9600 baud (SSC-32)".
std::string LineLoadText(double percent, int32_t baud, const std::string& protocol);

// Percent of the line's capacity that `servos` commands a frame at `fps` need.
double LineLoadPercent(int servos, int fps, int32_t baud);

// "Line: 150% of 9600 baud".
std::string LineLoadText(double percent, int32_t baud);

class LineModel {
public:
    // `sends`: the servos that take part. `periodMs`: the frame period.
    LineModel(const std::array<bool, kLineServos>& sends, double periodMs, int32_t baud, const LineCost& cost = {});

    // True when a whole frame fits a period: the line never throttles.
    bool FitsWhole() const { return fitsWhole_; }

    // The servos to write for a frame with these positions, `periods` frame
    // periods after the last frame written (0 or less: a fresh start, the
    // line is empty). `last`: the final frame, whose positions all go out.
    // Positions outside 0 to 255 are never chosen. `moving`: servos that
    // take their turn even when their position is the one last sent (a
    // limited servo whose step is too small to show).
    std::vector<int> Choose(const std::array<int32_t, kLineServos>& positions, int64_t periods, bool last,
                            const std::array<bool, kLineServos>& moving = {});

private:
    std::array<bool, kLineServos> sends_;
    std::array<int32_t, kLineServos> sent_;  // -1: not sent yet
    LineCost cost_;
    double periodBytes_;
    double credit_ = 0;
    int next_ = 0;  // whose turn comes first
    bool fitsWhole_;
};

}  // namespace kestrova
