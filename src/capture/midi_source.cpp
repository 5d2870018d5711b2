#include "midi_source.h"

#include <RtMidi.h>

#include <algorithm>

namespace kestrova {

MidiSource::MidiSource(std::string device) {
    devices_.push_back(std::move(device));
    states_.push_back(std::make_unique<PortState>());
    states_.back()->fine.fill(-1);
}

MidiSource::~MidiSource() {
    // The ports stop calling back before the states go.
    for (auto& port : ports_) port->cancelCallback();
    ports_.clear();
}

std::unique_ptr<MidiSource> MidiSource::OpenPorts() {
    auto source = std::make_unique<MidiSource>(std::string());
    source->devices_.clear();
    source->states_.clear();
    try {
        RtMidiIn probe(RtMidi::LINUX_ALSA, "Kestrova");
        const unsigned count = probe.getPortCount();
        if (count == 0) source->problem_ = "No MIDI input port was found.";
        // The states are all made before any port may call back.
        for (unsigned p = 0; p < count; ++p) {
            source->devices_.push_back(probe.getPortName(p));
            source->states_.push_back(std::make_unique<PortState>());
            source->states_.back()->fine.fill(-1);
        }
        for (unsigned p = 0; p < count; ++p) {
            auto port = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, "Kestrova");
            port->ignoreTypes(true, true, true);
            // The port's index into devices_ travels as the callback's data.
            port->setCallback(
                [](double, std::vector<unsigned char>* message, void* data) {
                    auto* entry = static_cast<Context*>(data);
                    if (message && !message->empty())
                        entry->source->Feed(entry->source->devices_[entry->port], message->data(), message->size());
                },
                source->contexts_.emplace_back(std::make_unique<Context>(Context{source.get(), p})).get());
            port->openPort(p, "Kestrova capture");
            source->ports_.push_back(std::move(port));
        }
    } catch (const RtMidiError& error) {
        source->problem_ = "MIDI is not available: " + error.getMessage();
    }
    return source;
}

bool MidiSource::Connected(const std::string& device) const {
    return std::find(devices_.begin(), devices_.end(), device) != devices_.end();
}

void MidiSource::Feed(const std::string& device, const uint8_t* bytes, size_t size) {
    const auto it = std::find(devices_.begin(), devices_.end(), device);
    if (it == devices_.end()) return;
    PortState& state = *states_[size_t(it - devices_.begin())];
    for (size_t i = 0; i < size; ++i) {
        const uint8_t byte = bytes[i];
        if (byte >= 0xF8) continue;  // real-time bytes may come between any two
        if (byte & 0x80) {
            state.status = byte >= 0xF0 ? 0 : byte;  // system messages cancel running status
            state.pending = -1;
            continue;
        }
        if ((state.status & 0xF0) != 0xB0) continue;
        if (state.pending < 0) {
            state.pending = byte;
        } else {
            ControlChange(device, state, state.status & 0x0F, state.pending, byte);
            state.pending = -1;
        }
    }
}

void MidiSource::ControlChange(const std::string& device, PortState& state, int channel, int cc, int value) {
    if (cc < 32) {
        const size_t k = size_t(channel * 32 + cc);
        state.coarse[k] = uint8_t(value);
        if (state.fine[k] >= 0) state.fine[k] = 0;
        table_.Set(ControlId{SourceKind::Midi, device, channel * 128 + cc},
                   state.fine[k] >= 0 ? value * 128 / 16383.0 : value / 127.0);
        return;
    }
    // A fine value is also a 7-bit controller of its own for devices that use it so.
    table_.Set(ControlId{SourceKind::Midi, device, channel * 128 + cc}, value / 127.0);
    if (cc < 64) {
        const size_t k = size_t(channel * 32 + cc - 32);
        state.fine[k] = int16_t(value);
        table_.Set(ControlId{SourceKind::Midi, device, channel * 128 + cc - 32}, (state.coarse[k] * 128 + value) / 16383.0);
    }
}

}  // namespace kestrova
