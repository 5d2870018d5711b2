#pragma once
// The SSC-32's group move: a text line "#<channel> P<microseconds> ...
// T<milliseconds>" ended by CR. The board starts every move of the line
// when the CR arrives and glides each servo to its new pulse over the time.

#include "controller_protocol.h"

#include <array>
#include <string>

namespace kestrova {

class Ssc32Encoder : public ProtocolEncoder {
public:
    Ssc32Encoder(const ControllerSetup& setup, double periodMs);

    bool Frame(std::span<const ServoTarget> targets, std::vector<uint8_t>& out, std::string& reason) override;
    void PulsesOff(std::span<const int> servos, std::vector<uint8_t>& out) override;
    int CommandBytes(int servo) const override;
    int FrameBytes() const override;
    void Restart() override { sent_.fill(-1); }

private:
    int32_t travelMs_;
    std::array<int32_t, kServoCount> sent_{};  // the pulse last sent, -1 none
};

// Reads lines up to CR; spaces, tabs and line feeds between the parts are
// ignored and letters may be either case, as on the board. A line that is
// no group move (another command, or garbage) is not understood as a whole.
class Ssc32Decoder : public ProtocolDecoder {
public:
    void Feed(uint8_t byte, Listener& listener) override;

private:
    static constexpr size_t kLongestLine = 512;
    std::string line_;
    bool overlong_ = false;
};

}  // namespace kestrova
