#pragma once
// MIDI control changes. Each controller of each channel is a control
// reading value / 127. Controllers 0 to 31 may be sent as 14-bit pairs (the
// coarse value on CC n, the fine one on CC n + 32): once a fine value has
// come for a controller it reads (coarse * 128 + fine) / 16383, a coarse
// value alone clearing the fine part as the MIDI rule has it.
//
// Messages come in as bytes through Feed, from RtMidi's thread on ALSA or
// from a test; running status is understood, anything but control changes
// is skipped. Only the newest value of each of the 2,048 controllers is
// kept, so a flood never grows memory.

#include "capture/input_source.h"

#include <array>
#include <memory>

class RtMidiIn;

namespace kestrova {

class MidiSource : public InputSource {
public:
    // A source fed by hand (tests), named `device`.
    explicit MidiSource(std::string device);
    ~MidiSource() override;

    // Opens every ALSA MIDI input port there is, each under its port name;
    // without a sequencer or a port the source stays empty with the reason
    // in Problem().
    static std::unique_ptr<MidiSource> OpenPorts();

    SourceKind Kind() const override { return SourceKind::Midi; }
    bool Connected(const std::string& device) const override;
    std::string Problem() const override { return problem_; }
    std::vector<std::string> Devices() const override { return devices_; }

    // One or more complete or partial MIDI messages from `device`.
    void Feed(const std::string& device, const uint8_t* bytes, size_t size);

private:
    struct PortState {
        uint8_t status = 0;       // running status
        int pending = -1;         // a controller number waiting for its value
        std::array<uint8_t, 16 * 32> coarse{};
        std::array<int16_t, 16 * 32> fine{};  // -1: no fine value seen
    };
    void ControlChange(const std::string& device, PortState& state, int channel, int cc, int value);

    std::vector<std::string> devices_;
    std::vector<std::unique_ptr<PortState>> states_;
    struct Context {
        MidiSource* source;
        size_t port;
    };
    std::vector<std::unique_ptr<Context>> contexts_;
    std::vector<std::unique_ptr<RtMidiIn>> ports_;
    std::string problem_;
};

}  // namespace kestrova
