#include "input_source.h"

#include <algorithm>
#include <cmath>

namespace kestrova {

std::string ControlText(const ControlId& id) {
    switch (id.kind) {
    case SourceKind::Slider:
        return "slider";
    case SourceKind::Gamepad:
        return id.device + ": axis " + std::to_string(id.control);
    case SourceKind::Midi:
        return id.device + ": ch " + std::to_string(id.control / 128 + 1) + " CC " + std::to_string(id.control % 128);
    case SourceKind::Osc:
        return "/kestrova/servo/" + std::to_string(id.control);
    }
    return {};
}

void ControlTable::Set(const ControlId& id, double value) {
    if (!std::isfinite(value)) return;  // a NaN or infinity leaves the control where it was
    value = std::clamp(value, 0.0, 1.0);
    std::lock_guard lock(mutex_);
    ++updates_;
    auto [it, inserted] = entries_.try_emplace(id);
    Entry& entry = it->second;
    if (learning_ && !entry.baseline) entry.baseline = inserted ? value : entry.value;
    entry.value = value;
    if (learning_ && !learned_ && std::abs(value - *entry.baseline) >= 0.25) learned_ = id;
}

std::optional<double> ControlTable::Value(const ControlId& id) const {
    std::lock_guard lock(mutex_);
    const auto it = entries_.find(id);
    if (it == entries_.end()) return std::nullopt;
    return it->second.value;
}

std::vector<ControlId> ControlTable::Controls() const {
    std::lock_guard lock(mutex_);
    std::vector<ControlId> ids;
    for (const auto& [id, entry] : entries_) ids.push_back(id);
    return ids;
}

void ControlTable::Remove(const std::string& device) {
    std::lock_guard lock(mutex_);
    std::erase_if(entries_, [&](const auto& item) { return item.first.device == device; });
}

void ControlTable::StartLearn() {
    std::lock_guard lock(mutex_);
    learning_ = true;
    learned_.reset();
    for (auto& [id, entry] : entries_) entry.baseline = entry.value;
}

std::optional<ControlId> ControlTable::Learned() const {
    std::lock_guard lock(mutex_);
    return learned_;
}

uint64_t ControlTable::Updates() const {
    std::lock_guard lock(mutex_);
    return updates_;
}

}  // namespace kestrova
