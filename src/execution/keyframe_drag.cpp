#include "keyframe_drag.h"

#include "core/keyframe_edits.h"
#include "core/text_edit.h"

#include <algorithm>
#include <limits>

namespace kestrova {

ServoMap ReplaceProgram(Project& project, int servo, std::string program) {
    project.Programs[servo] = std::move(program);
    ServoMap map = RebuildServo(project, servo);
    project.Servos[servo].Used = map.frames >= 2;
    return map;
}

KeyframeDrag::KeyframeDrag(Project& project, std::vector<KeyRef> keys) : project_(project), keys_(std::move(keys)) {
    // The maps point into the programs held: the vector never moves them.
    held_.reserve(keys_.size());
    for (const KeyRef& key : keys_) {
        held_.push_back(Held{key, project_.Programs[key.servo], {}, {}, false, 0});
        Held& held = held_.back();
        held.map = MapServo(project_.Servos[key.servo], held.program);
        if (key.command < 0 || key.command >= static_cast<int>(held.map.commands.size())) held_.pop_back();
    }
    if (!held_.empty()) {
        const CommandSpan& c = held_[0].map.commands[held_[0].key.command];
        frame_ = c.lastFrame;
        position_ = c.to;
    }
}

std::vector<int> KeyframeDrag::Step(int32_t frames, int32_t positions, bool shift,
                                    const std::function<int32_t(int32_t)>& snap) {
    std::vector<int> changed;
    if (held_.empty()) return changed;
    // The frames every key can move by.
    const CommandSpan& taken = held_[0].map.commands[held_[0].key.command];
    int32_t wanted = taken.lastFrame + frames;
    if (snap) wanted = snap(wanted);
    int32_t low = std::numeric_limits<int32_t>::min(), high = std::numeric_limits<int32_t>::max();
    for (const Held& held : held_) {
        const CommandSpan& c = held.map.commands[held.key.command];
        const FrameRange range = KeyFrameRange(held.map, held.key.command, shift);
        low = std::max(low, range.first - c.lastFrame);
        high = std::min(high, std::max(range.first, range.last) - c.lastFrame);
    }
    const int32_t moved = std::clamp(wanted - taken.lastFrame, std::min(low, 0), std::max(high, 0));

    for (size_t i = 0; i < held_.size(); ++i) {
        const Held& held = held_[i];
        const CommandSpan& c = held.map.commands[held.key.command];
        const ServoRecord& record = project_.Servos[held.key.servo];
        int32_t to = c.to;
        if (c.kind == CommandKind::Mov) {
            to = static_cast<int32_t>(std::clamp<int64_t>(int64_t(c.to) + positions, record.Min, std::max(record.Min, record.Max)));
        }
        const KeyEdit edit = MoveKey(held.map, held.key.command, to, c.lastFrame + moved, shift);
        std::string program = ApplyEdits(held.program, edit.edits);
        if (i == 0) {
            frame_ = c.lastFrame + moved;
            position_ = to;
        }
        if (program == project_.Programs[held.key.servo]) continue;
        Held& changing = held_[i];
        int32_t edited = std::numeric_limits<int32_t>::max();
        for (const TextEdit& e : edit.edits) edited = std::min(edited, e.start);
        if (!changing.changed) {
            // The first step compiles the whole servo: the column may not
            // have been built from the program as it stands.
            changing.touched = edited;
            changing.now = ReplaceProgram(project_, held.key.servo, std::move(program));
        } else {
            changing.touched = std::min(changing.touched, edited);
            project_.Programs[held.key.servo] = std::move(program);
            changing.now = RebuildServo(project_, held.key.servo, changing.program, changing.map, changing.touched);
            project_.Servos[held.key.servo].Used = changing.now.frames >= 2;
        }
        changing.changed = true;
        const ServoMap& map = changing.now;
        if (i == 0 && held.key.command < static_cast<int>(map.commands.size())) frame_ = map.commands[held.key.command].lastFrame;
        changed.push_back(held.key.servo);
    }
    return changed;
}

const ServoMap* KeyframeDrag::MapNow(int servo) const {
    for (const Held& held : held_) {
        if (held.key.servo == servo && held.changed) return &held.now;
    }
    return nullptr;
}

}  // namespace kestrova
