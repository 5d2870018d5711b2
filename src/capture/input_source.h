#pragma once
// The controls a performer moves during a take, behind one interface: each
// source reports the controls it has seen with their value from 0 (one end
// of the travel) to 1 (the other). Sources are optional at run time: one
// that cannot start reports why as text and simply has no controls.
//
// Values are written from the device's own thread (MIDI, OSC) or while the
// owner polls (gamepads) and read once a frame: only the newest value of
// each control is kept, so a flood of messages costs time, never memory.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace kestrova {

enum class SourceKind { Slider, Gamepad, Midi, Osc };

// One control: a gamepad's axis (device = the pad's name, control = axis
// index), a MIDI controller (device = the port's name, control = channel *
// 128 + CC number), an OSC address (control = the servo number N of
// /kestrova/servo/N), or the servo panel's slider.
struct ControlId {
    SourceKind kind = SourceKind::Slider;
    std::string device;
    int32_t control = 0;
    auto operator<=>(const ControlId&) const = default;
};

// "Pad: axis 3", "MIDI Port: ch 1 CC 7", "/kestrova/servo/4", "slider".
std::string ControlText(const ControlId& id);

// The newest value of each control a source has seen, with the learn
// function: after StartLearn, the first control that moves a quarter of its
// travel is picked.
class ControlTable {
public:
    void Set(const ControlId& id, double value);
    std::optional<double> Value(const ControlId& id) const;
    std::vector<ControlId> Controls() const;
    // Forgets a device's controls (unplugged).
    void Remove(const std::string& device);
    void StartLearn();
    std::optional<ControlId> Learned() const;
    // Messages that changed a value (including repeats), for the counts.
    uint64_t Updates() const;

private:
    struct Entry {
        double value = 0;
        std::optional<double> baseline;  // the value when learning started
    };
    mutable std::mutex mutex_;
    std::map<ControlId, Entry> entries_;
    bool learning_ = false;
    std::optional<ControlId> learned_;
    uint64_t updates_ = 0;
};

class InputSource {
public:
    virtual ~InputSource() = default;
    virtual SourceKind Kind() const = 0;
    // Reads pending device events on the calling thread (hot-plug, axes).
    virtual void Poll() {}
    // Whether a device of this source is present now.
    virtual bool Connected(const std::string& device) const = 0;
    // Why the source is not running, empty when it is.
    virtual std::string Problem() const { return {}; }
    // The devices present, by name.
    virtual std::vector<std::string> Devices() const = 0;

    std::optional<double> Value(const ControlId& id) const { return table_.Value(id); }
    std::vector<ControlId> Controls() const { return table_.Controls(); }
    void StartLearn() { table_.StartLearn(); }
    std::optional<ControlId> Learned() const { return table_.Learned(); }
    uint64_t Updates() const { return table_.Updates(); }

protected:
    ControlTable table_;
};

}  // namespace kestrova
