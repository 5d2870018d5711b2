#pragma once
// A drag of keys on the graph, from press to release: it keeps the programs
// as they were when the drag began, and each step rewrites them from those
// (so a drag that comes back leaves the text as it was), puts them into the
// project and rebuilds only the servos it touched.

#include "core/command_map.h"
#include "core/project.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kestrova {

// A key: the end of command `command` of a servo's program.
struct KeyRef {
    int servo = 0;
    int command = 0;
    bool operator==(const KeyRef&) const = default;
};

class KeyframeDrag {
public:
    // keys[0] is the key under the pointer; one key per servo.
    KeyframeDrag(Project& project, std::vector<KeyRef> keys);

    // The pointer is `frames` frames and `positions` positions from where
    // it took the key. snap (when set) turns the taken key's wanted frame
    // into the frame it snaps to. Vertically each key moves by the same
    // amount within its servo's limits; horizontally all keys move by the
    // same frames, as far as every one of them can. Returns the servos whose
    // programs changed in this step.
    std::vector<int> Step(int32_t frames, int32_t positions, bool shift,
                          const std::function<int32_t(int32_t)>& snap = {});

    // The taken key's frame and position now.
    int32_t Frame() const { return frame_; }
    int32_t Position() const { return position_; }
    const std::vector<KeyRef>& Keys() const { return keys_; }
    // The map of a servo's program as the last step left it (nullptr for a
    // servo the drag has not changed).
    const ServoMap* MapNow(int servo) const;

private:
    struct Held {
        KeyRef key;
        std::string program;  // as the drag began
        ServoMap map;
        ServoMap now;
        bool changed = false;
        // Characters of `program` from which the steps so far changed it.
        int32_t touched = 0;
    };
    Project& project_;
    std::vector<KeyRef> keys_;
    std::vector<Held> held_;
    int32_t frame_ = 0, position_ = 0;
};

// Puts a program into the project and rebuilds that servo's column (see
// RebuildServo), keeping the Used flag as a build leaves it.
ServoMap ReplaceProgram(Project& project, int servo, std::string program);

}  // namespace kestrova
