#include "ssc32_protocol.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <optional>

namespace kestrova {

namespace {

constexpr uint8_t kCr = 13;
constexpr int32_t kLongestTravelMs = 65535;

int Digits(int32_t value) { return value >= 10000 ? 5 : value >= 1000 ? 4 : value >= 100 ? 3 : value >= 10 ? 2 : 1; }

void Append(std::vector<uint8_t>& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

// A decimal number of at most five digits at text[i], moving i past it.
std::optional<int32_t> Number(const std::string& text, size_t& i) {
    const size_t start = i;
    int32_t value = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) && i - start < 5) {
        value = value * 10 + (text[i] - '0');
        ++i;
    }
    if (i == start || (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))) return std::nullopt;
    return value;
}

// The moves of a group move line (without its CR, blanks removed); nothing
// when the line is none.
std::optional<std::vector<ControllerEvent>> GroupMove(const std::string& text) {
    std::vector<ControllerEvent> moves;
    size_t i = 0;
    while (i < text.size() && text[i] == '#') {
        ++i;
        const auto channel = Number(text, i);
        if (!channel || *channel > kHighestChannel || i >= text.size() || std::toupper(text[i]) != 'P') return std::nullopt;
        ++i;
        const auto pulse = Number(text, i);
        if (!pulse) return std::nullopt;
        if (i < text.size() && std::toupper(text[i]) == 'S') {  // a speed of its own: accepted, not shown
            ++i;
            if (!Number(text, i)) return std::nullopt;
        }
        ControllerEvent move;
        move.kind = ControllerEvent::Kind::Pulse;
        move.channel = *channel;
        move.value = *pulse * 4;
        moves.push_back(move);
    }
    if (moves.empty()) return std::nullopt;
    if (i < text.size() && std::toupper(text[i]) == 'T') {
        ++i;
        const auto time = Number(text, i);
        if (!time) return std::nullopt;
        for (ControllerEvent& move : moves) move.travelMs = *time;
    }
    if (i != text.size()) return std::nullopt;
    return moves;
}

}  // namespace

Ssc32Encoder::Ssc32Encoder(const ControllerSetup& setup, double periodMs)
    : ProtocolEncoder(setup),
      travelMs_(static_cast<int32_t>(std::clamp(std::lround(periodMs), 1L, long(kLongestTravelMs)))) {
    sent_.fill(-1);
}

bool Ssc32Encoder::Frame(std::span<const ServoTarget> targets, std::vector<uint8_t>& out, std::string&) {
    std::string line;
    for (const ServoTarget& t : targets) {
        const int32_t pulse = PulseMicros(t.position, setup_.pulseMin[t.servo], setup_.pulseMax[t.servo]);
        if (pulse == sent_[t.servo]) continue;
        sent_[t.servo] = pulse;
        line += '#' + std::to_string(setup_.channel[t.servo]) + " P" + std::to_string(pulse) + ' ';
    }
    if (line.empty()) return true;  // nothing changed: no line at all
    line += 'T' + std::to_string(travelMs_) + '\r';
    Append(out, line);
    return true;
}

void Ssc32Encoder::PulsesOff(std::span<const int> servos, std::vector<uint8_t>& out) {
    if (servos.empty()) return;
    std::string line;
    for (int s : servos) {
        line += '#' + std::to_string(setup_.channel[s]) + " P0 ";
        sent_[s] = 0;
    }
    line.back() = '\r';
    Append(out, line);
}

int Ssc32Encoder::CommandBytes(int servo) const {
    // "#<channel> P<pulse> "
    return 4 + Digits(setup_.channel[servo]) + Digits(std::max(setup_.pulseMax[servo], setup_.pulseMin[servo]));
}

int Ssc32Encoder::FrameBytes() const { return 2 + Digits(travelMs_); }  // "T<ms>" CR

void Ssc32Decoder::Feed(uint8_t byte, Listener& listener) {
    ++read_;
    if (byte != kCr) {
        if (byte == ' ' || byte == '\t' || byte == '\n') return;
        if (line_.size() == kLongestLine) {
            // A line without end is no command: what was kept is lost, and
            // so is the rest up to the next CR.
            listener.NotUnderstood(reinterpret_cast<const uint8_t*>(line_.data()), line_.size(), read_ - 2);
            line_.clear();
            overlong_ = true;
        }
        line_ += static_cast<char>(byte);
        return;
    }
    std::optional<std::vector<ControllerEvent>> moves;
    if (!overlong_) moves = GroupMove(line_);
    if (!moves) {
        line_ += '\r';
        listener.NotUnderstood(reinterpret_cast<const uint8_t*>(line_.data()), line_.size(), read_ - 1);
    } else {
        for (ControllerEvent& move : *moves) {
            move.lastByte = read_ - 1;
            listener.Event(move);
        }
    }
    line_.clear();
    overlong_ = false;
}

}  // namespace kestrova
