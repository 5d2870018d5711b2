#include "show_encoder.h"

#include "core/controller_setup.h"
#include "core/servo_caps.h"

#include "player_core.h"

#include <algorithm>
#include <charconv>
#include <set>

namespace kestrova {

bool HasOwnPulseRange(const ServoRecord& servo) {
    return servo.PulseMin != kDefaultPulseMin || servo.PulseMax != kDefaultPulseMax;
}

namespace {

constexpr int32_t kLongestOp = 8192;
// The player addresses its show with 16 bits.
constexpr size_t kMaxShowBytes = 0xFFFF;
// Frames beyond the longest op found so far that the search still tries.
constexpr int32_t kSearchAhead = 48;

bool ReadInt(std::string_view text, int& value) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return false;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return result.ec == std::errc() && result.ptr == text.data() + text.size();
}

std::vector<std::string_view> SplitCommas(std::string_view text) {
    std::vector<std::string_view> parts;
    size_t begin = 0;
    for (;;) {
        const size_t comma = text.find(',', begin);
        parts.push_back(text.substr(begin, comma == std::string_view::npos ? std::string_view::npos : comma - begin));
        if (comma == std::string_view::npos) return parts;
        begin = comma + 1;
    }
}

int32_t FloorDiv(int32_t a, int32_t b) {
    int32_t q = a / b;
    if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
    return q;
}

// True when the op of k frames from `from` with change d gives values[p+1..p+k].
bool OpFits(const std::vector<uint8_t>& values, size_t p, int32_t k, int32_t d) {
    const int32_t from = values[p];
    for (int32_t i = 1; i <= k; ++i) {
        if (from + FloorDiv(d * i, k) != values[p + static_cast<size_t>(i)]) return false;
    }
    return true;
}

void PutOp(std::vector<uint8_t>& out, int32_t k, int32_t d) {
    const uint32_t span = static_cast<uint32_t>(k - 1);
    uint8_t op = 0;
    if (d == 0) op |= kva::kOpHold;
    if (d < 0) op |= kva::kOpNegative;
    if (span > 0x1F) {
        out.push_back(static_cast<uint8_t>(kva::kOpLong | op | (span >> 8)));
        out.push_back(static_cast<uint8_t>(span & 0xFF));
    } else {
        out.push_back(static_cast<uint8_t>(op | span));
    }
    if (d != 0) out.push_back(static_cast<uint8_t>(d < 0 ? -d : d));
}

// The ops of one servo's positions, frames 1 to N at values[1..N].
std::vector<uint8_t> EncodeTrack(const std::vector<uint8_t>& values) {
    std::vector<uint8_t> ops;
    const size_t last = values.size() - 1;
    size_t p = 1;
    while (p < last) {
        const int32_t room = static_cast<int32_t>(std::min<size_t>(last - p, kLongestOp));
        int32_t hold = 0;
        while (hold < room && values[p + static_cast<size_t>(hold) + 1] == values[p]) ++hold;
        int32_t best = hold;
        int32_t bestChange = 0;
        for (int32_t k = std::max(hold + 1, 1); k <= room && k <= best + kSearchAhead; ++k) {
            const int32_t d = values[p + static_cast<size_t>(k)] - values[p];
            if (OpFits(values, p, k, d)) {
                best = k;
                bestChange = d;
            }
        }
        PutOp(ops, best, bestChange);
        p += static_cast<size_t>(best);
    }
    return ops;
}

void PutWord(std::vector<uint8_t>& out, uint32_t value) {
    out.push_back(static_cast<uint8_t>(value & 0xFF));
    out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

}  // namespace

bool ParseChannels(const std::string& text, std::array<int, kServoCount>& channels, std::string& error) {
    const auto parts = SplitCommas(text);
    if (parts.size() > kServoCount) {
        error = "At most 16 channels can be given, one for each servo.";
        return false;
    }
    std::array<int, kServoCount> result = channels;
    for (size_t i = 0; i < parts.size(); ++i) {
        int channel = 0;
        if (!ReadInt(parts[i], channel) || channel < 0 || channel > 15) {
            error = "The channel of servo " + std::to_string(i + 1) + " must be a number from 0 to 15.";
            return false;
        }
        result[i] = channel;
    }
    channels = result;
    return true;
}

bool ParsePulse(const std::string& text, int& minUs, int& maxUs, std::string& error) {
    const auto parts = SplitCommas(text);
    int low = 0;
    int high = 0;
    if (parts.size() != 2 || !ReadInt(parts[0], low) || !ReadInt(parts[1], high)) {
        error = "The pulse range must be two numbers of microseconds, MIN,MAX (for example 1000,2000).";
        return false;
    }
    minUs = low;
    maxUs = high;
    return true;
}

std::string ChannelsText(const std::array<int, kServoCount>& channels) {
    std::string text;
    for (int s = 0; s < kServoCount; ++s) text += (s ? "," : "") + std::to_string(channels[s]);
    return text;
}

std::string CheckOptions(const ExportOptions& options) {
    if (options.fps < 1 || options.fps > 30) return "The frame rate must be 1 to 30 frames per second.";
    if (options.triggerPin != -1 && (options.triggerPin < 2 || options.triggerPin > 19))
        return "The trigger pin must be a digital pin from 2 to 19 (A0 to A5 are 14 to 19); "
               "0 and 1 carry the serial line.";
    if (options.mode == ExportMode::Pca9685 && options.triggerPin >= 18)
        return "Pins 18 and 19 (A4 and A5) carry the I2C bus to the PCA9685; choose another trigger pin.";
    for (int channel : options.channels)
        if (channel < 0 || channel > 15) return "Every channel must be a number from 0 to 15.";
    const auto inRange = [](int us) { return us >= 100 && us <= 4000; };
    if (!inRange(options.minPulseUs) || !inRange(options.maxPulseUs) || options.minPulseUs == options.maxPulseUs)
        return "The pulse range must be two different pulse widths from 100 to 4000 microseconds.";
    return {};
}

std::vector<int> ExportedServos(const Project& built) {
    std::vector<int> servos;
    for (int s = 0; s < kServoCount; ++s)
        if (built.Servos[s].Enabled && built.Servos[s].Used) servos.push_back(s);
    return servos;
}

bool EncodeShow(const Project& built, const ExportOptions& options, std::vector<uint8_t>& show, std::string& error) {
    error = CheckOptions(options);
    if (!error.empty()) return false;
    const FrameTable& table = built.Frames;
    const int32_t frames = table.UpperBound();
    if (!built.Built || frames < 1) {
        error = "The animation has not been built.";
        return false;
    }
    const std::vector<int> servos = ExportedServos(built);
    if (servos.empty()) {
        error = "No servo is both enabled and used, so the show would move nothing.";
        return false;
    }
    if (options.mode == ExportMode::Ssc && (built.Settings.SynchByte < 0 || built.Settings.SynchByte > 255)) {
        error = "The synch byte " + std::to_string(built.Settings.SynchByte) + " does not fit in one byte.";
        return false;
    }
    if (options.mode == ExportMode::Pca9685) {
        std::set<int> taken;
        for (int s : servos) {
            if (!taken.insert(options.channels[s]).second) {
                error = "Two servos are on PCA9685 channel " + std::to_string(options.channels[s]) + ".";
                return false;
            }
        }
    }

    std::vector<std::vector<uint8_t>> tracks;
    size_t encoded = 0;
    std::vector<uint8_t> firsts;
    std::vector<uint8_t> values(static_cast<size_t>(frames) + 1);
    for (int s : servos) {
        for (int32_t f = 1; f <= frames; ++f) {
            const int32_t position = table[f][s];
            if (position < 0 || position > 255) {
                error = "Servo " + std::to_string(s + 1) + " \"" + built.Servos[s].Name + "\" has position " +
                        std::to_string(position) + " at frame " + std::to_string(f) +
                        ", which does not fit in one byte (0 to 255).";
                return false;
            }
            values[static_cast<size_t>(f)] = static_cast<uint8_t>(position);
        }
        firsts.push_back(values[1]);
        tracks.push_back(EncodeTrack(values));
        encoded += tracks.back().size();
        if (encoded > kMaxShowBytes) {
            // No board of this kind holds it: stop here rather than encode the rest.
            error = "The show does not fit on an Arduino Uno: servos " + std::to_string(servos.front() + 1) + " to " +
                    std::to_string(s + 1) + " alone need " + std::to_string(encoded) +
                    " bytes, and the board has 32256 bytes of flash in all. Shorten the show, drive fewer servos, "
                    "or use fewer and longer moves.";
            return false;
        }
    }

    // A PCA9685 drives each servo over its own pulse range where one was
    // set; a show without any keeps the first version's single range.
    bool ownRanges = false;
    for (int s : servos) ownRanges = ownRanges || HasOwnPulseRange(built.Servos[s]);
    ownRanges = ownRanges && options.mode == ExportMode::Pca9685;
    show = {'K', 'S', uint8_t(ownRanges ? 2 : 1)};
    PutWord(show, static_cast<uint32_t>(frames) & 0xFFFF);
    PutWord(show, static_cast<uint32_t>(frames) >> 16);
    show.push_back(static_cast<uint8_t>(options.fps));
    // Bit 1: a block of caps follows the track headers, only when a servo has
    // any, so a show without caps is the same bytes as ever.
    bool capped = false;
    for (int s : servos) capped = capped || ServoCaps(built.Servos[s]).Any();
    show.push_back(static_cast<uint8_t>((options.loop ? 1 : 0) | (capped ? kva::kFlagCaps : 0)));
    show.push_back(static_cast<uint8_t>(options.mode == ExportMode::Ssc ? built.Settings.SynchByte : 0));
    PutWord(show, static_cast<uint32_t>(options.minPulseUs));
    PutWord(show, static_cast<uint32_t>(options.maxPulseUs));
    show.push_back(static_cast<uint8_t>(servos.size()));
    for (size_t t = 0; t < servos.size(); ++t) {
        show.push_back(static_cast<uint8_t>(servos[t]));
        show.push_back(static_cast<uint8_t>(options.channels[servos[t]]));
        show.push_back(firsts[t]);
        PutWord(show, static_cast<uint32_t>(tracks[t].size()));
    }
    for (size_t t = 0; ownRanges && t < servos.size(); ++t) {
        const ServoRecord& servo = built.Servos[servos[t]];
        const bool own = HasOwnPulseRange(servo);
        PutWord(show, static_cast<uint32_t>(own ? servo.PulseMin : options.minPulseUs));
        PutWord(show, static_cast<uint32_t>(own ? servo.PulseMax : options.maxPulseUs));
        show.push_back(own ? uint8_t(kPulseRangePositions) : uint8_t(255));
    }
    for (size_t t = 0; capped && t < servos.size(); ++t) {
        // Per frame at the show's rate, exactly the numbers the editor's output limits with.
        const kva::LimitCaps caps = FrameCaps(ServoCaps(built.Servos[servos[t]]), options.fps);
        for (const int32_t value : {caps.speed, caps.accel}) {
            PutWord(show, static_cast<uint32_t>(value) & 0xFFFF);
            PutWord(show, static_cast<uint32_t>(value) >> 16);
        }
    }
    for (const auto& track : tracks) show.insert(show.end(), track.begin(), track.end());

    if (show.size() > kMaxShowBytes) return true;  // too large for a board: the caller says so with the sizes

    // The board plays what the player decodes: prove it frame by frame.
    kva::ShowPlayer player;
    bool same = player.Open(show.data(), static_cast<uint32_t>(show.size())) && player.Frames() == uint32_t(frames);
    for (int32_t f = 1; same && f <= frames; ++f) {
        if (f > 1) same = player.Advance();
        for (size_t t = 0; same && t < servos.size(); ++t) same = player.Position(uint8_t(t)) == table[f][servos[t]];
    }
    if (!same) {
        error = "The show could not be encoded exactly (an internal fault); nothing was written.";
        return false;
    }
    return true;
}

std::vector<uint8_t> CommandStream(const Project& built, int32_t lastFrame) {
    const int32_t frames = lastFrame > 0 ? std::min(lastFrame, built.Frames.UpperBound()) : built.Frames.UpperBound();
    const std::vector<int> servos = ExportedServos(built);
    std::vector<uint8_t> stream;
    stream.reserve(static_cast<size_t>(frames) * servos.size() * 3);
    for (int32_t f = 1; f <= frames; ++f) {
        for (int s : servos) {
            stream.push_back(static_cast<uint8_t>(built.Settings.SynchByte));
            stream.push_back(static_cast<uint8_t>(s));
            stream.push_back(static_cast<uint8_t>(built.Frames[f][s]));
        }
    }
    return stream;
}

}  // namespace kestrova
