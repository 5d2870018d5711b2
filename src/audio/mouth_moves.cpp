#include "audio/mouth_moves.h"

#include "audio/sound_file.h"

#include <algorithm>
#include <cmath>

namespace kestrova::audio {

bool FrameLoudness(const std::string& path, int framesPerSecond, std::vector<double>& loudness,
                   std::string& error) {
    loudness.clear();
    if (framesPerSecond < 1) {
        error = "the frame rate must be at least 1";
        return false;
    }
    SoundFile file;
    if (!file.Open(path)) {
        error = file.ErrorString();
        return false;
    }
    const int channels = file.Info().channels;
    const int64_t rate = file.Info().sampleRate;
    // Frame k ends at sound frame (k + 1) * rate / fps.
    auto frameEnd = [&](int64_t k) { return (k + 1) * rate / framesPerSecond; };
    // The chunk holds a fixed number of samples however many channels there
    // are, so a file of a thousand channels takes no more memory than one.
    const int64_t kChunk = std::max<int64_t>(1, 65536 / channels);
    std::vector<float> chunk(size_t(kChunk) * size_t(channels));
    int64_t position = 0;  // sound frames read
    int64_t k = 0;
    double sum = 0.0;
    int64_t count = 0;    // finite samples of frame k so far
    int64_t pending = 0;  // sound frames of frame k so far
    int64_t finite = 0;   // finite samples in all
    for (;;) {
        const int64_t got = file.Read(chunk.data(), kChunk);
        if (got < 0) {
            if (position > 0) break;
            error = file.ErrorString();
            return false;
        }
        if (got == 0) break;
        for (int64_t i = 0; i < got;) {
            const int64_t end = std::min(got, i + (frameEnd(k) - (position + i)));
            const float* p = chunk.data() + size_t(i) * size_t(channels);
            const float* q = chunk.data() + size_t(end) * size_t(channels);
            // A sample that is not a number (or infinite) says nothing about
            // loudness and is left out.
            double s = 0.0;
            int64_t n = 0;
            for (; p < q; ++p) {
                if (!std::isfinite(*p)) continue;
                s += double(*p) * double(*p);
                ++n;
            }
            sum += s;
            count += n;
            finite += n;
            pending += end - i;
            i = end;
            if (position + i == frameEnd(k)) {
                loudness.push_back(count > 0 ? std::sqrt(sum / double(count)) : 0.0);
                sum = 0.0;
                count = 0;
                pending = 0;
                ++k;
            }
        }
        position += got;
    }
    // The last, partial frame counts over the samples it has.
    if (pending > 0) loudness.push_back(count > 0 ? std::sqrt(sum / double(count)) : 0.0);
    if (finite == 0) {
        loudness.clear();
        error = "the file holds no sound (no sample is a finite number)";
        return false;
    }
    return true;
}

std::vector<int32_t> MouthPositions(const std::vector<double>& loudness, const MouthOptions& options) {
    const size_t n = loudness.size();
    const double loudest = n > 0 ? *std::max_element(loudness.begin(), loudness.end()) : 0.0;
    const double threshold = loudest * std::clamp(options.thresholdPercent, 0.0, 100.0) / 100.0;
    const double closed = options.closed, open = options.open;
    const double lowest = std::min(closed, open), highest = std::max(closed, open);
    std::vector<double> mapped(n, closed);
    if (loudest > threshold) {
        for (size_t k = 0; k < n; ++k) {
            if (loudness[k] <= threshold) continue;
            mapped[k] = closed + (open - closed) * (loudness[k] - threshold) / (loudest - threshold);
        }
    }
    // A centred moving average, by running sums.
    const int64_t width = std::max(options.smooth, 1);
    const int64_t before = (width - 1) / 2, after = width / 2;
    std::vector<double> sums(n + 1, 0.0);
    for (size_t k = 0; k < n; ++k) sums[k + 1] = sums[k] + mapped[k];
    std::vector<int32_t> positions(n);
    for (int64_t k = 0; k < int64_t(n); ++k) {
        const int64_t from = std::max<int64_t>(0, k - before), to = std::min<int64_t>(int64_t(n), k + after + 1);
        const double value = (sums[size_t(to)] - sums[size_t(from)]) / double(to - from);
        // Never outside closed..open, whatever the loudness held.
        positions[size_t(k)] = std::isfinite(value) ? static_cast<int32_t>(std::lround(std::clamp(value, lowest, highest)))
                                                    : options.closed;
    }
    return positions;
}

std::string MouthProgram(const std::vector<int32_t>& positions, const MouthOptions& options,
                         const std::string& newline) {
    std::string text;
    int32_t current = options.from;
    int64_t held = 0;
    auto flushWait = [&] {
        if (held > 0) text += "Wait " + std::to_string(held) + newline;
        held = 0;
    };
    auto put = [&](int32_t value) {
        if (value == current) {
            ++held;
            return;
        }
        flushWait();
        text += "Mov " + std::to_string(value) + ", 1" + newline;
        current = value;
    };
    // Animation frame of sound frame 0.
    const int64_t first = int64_t(options.start) - options.lead;
    const int64_t at = options.at;
    for (int64_t frame = at + 1; frame < first; ++frame) ++held;
    for (size_t k = 0; k < positions.size(); ++k) {
        if (first + int64_t(k) <= at) continue;
        put(positions[k]);
    }
    if (first + int64_t(positions.size()) > at) put(options.closed);
    // A hold at the end adds nothing: the build repeats the last position.
    return text;
}

std::string CheckMouthOptions(const MouthOptions& o) {
    if (o.framesPerSecond < 1 || o.framesPerSecond > 30) return "The frame rate must be from 1 to 30.";
    if (o.thresholdPercent < 0 || o.thresholdPercent > 100) return "The threshold must be from 0 to 100 percent.";
    if (o.smooth < 1) return "The smoothing must be at least 1 frame.";
    if (o.lead < 0) return "The lead must not be negative.";
    if (o.closed < 0 || o.closed > 254 || o.open < 0 || o.open > 254)
        return "The closed and open positions must be from 0 to 254.";
    // The longest animation a build makes is 1,000,000 frames.
    if (o.start < 1 || o.start > 1'000'000) return "The start frame must be from 1 to 1,000,000.";
    if (o.lead > 1'000'000) return "The lead must be at most 1,000,000 frames.";
    return {};
}

bool GenerateMouthMoves(const std::string& path, const MouthOptions& options, std::string& text,
                        std::string& error, const std::string& newline) {
    error = CheckMouthOptions(options);
    if (!error.empty()) return false;
    std::vector<double> loudness;
    if (!FrameLoudness(path, options.framesPerSecond, loudness, error)) return false;
    text = MouthProgram(MouthPositions(loudness, options), options, newline);
    return true;
}

}  // namespace kestrova::audio
