#include "take.h"


#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {
int32_t WithinLimits(int32_t position, const ServoRecord& servo) {
    return std::clamp(position, std::min(servo.Min, servo.Max), std::max(servo.Min, servo.Max));
}
}  // namespace

int32_t ShiftFrames(int32_t offsetMs, int framesPerSecond) {
    return int32_t(std::lround(std::max(0, offsetMs) * std::clamp(framesPerSecond, 1, 30) / 1000.0));
}

TakeRecording::TakeRecording(const TakePlan& plan) : plan_(plan) {
    const size_t size = size_t(std::max(0, plan.last - plan.first + 1 + plan.shift));
    for (int s = 0; s < kServoCount; ++s)
        if (plan_.armed[size_t(s)]) samples_[size_t(s)].reserve(size);
}

void TakeRecording::Record(int32_t frame, const std::array<int32_t, kServoCount>& positions) {
    // Frames come in order; one sample each, from the range's first frame on.
    if (frame != plan_.first + recorded_ || int64_t(frame) > int64_t(plan_.last) + plan_.shift) return;
    for (int s = 0; s < kServoCount; ++s)
        if (plan_.armed[size_t(s)]) samples_[size_t(s)].push_back(positions[size_t(s)]);
    ++recorded_;
}

int32_t TakeRecording::FramesCaptured() const { return std::min(recorded_, FramesInRange()); }

int32_t TakeRecording::CoveredLast(bool complete) const {
    if (recorded_ == 0) return plan_.first - 1;
    if (complete) return plan_.last;
    return std::min(plan_.last, plan_.first + recorded_ - 1 - plan_.shift);
}

std::vector<int32_t> TakeRecording::Trace(int servo, bool complete) const {
    const std::vector<int32_t>& samples = samples_[size_t(servo)];
    const int32_t frames = CoveredLast(complete) - plan_.first + 1;
    std::vector<int32_t> trace;
    if (frames <= 0 || samples.empty()) return trace;
    trace.reserve(size_t(frames));
    const int64_t lastSample = int64_t(samples.size()) - 1;
    for (int32_t k = 0; k < frames; ++k) trace.push_back(samples[size_t(std::min<int64_t>(k + plan_.shift, lastSample))]);
    return trace;
}

CaptureSession::CaptureSession(const Project& project, const Mapping& mapping, std::vector<InputSource*> sources,
                               std::function<int32_t(int servo)> slider, const TakePlan& plan,
                               std::function<void()> stop)
    : project_(project), mapping_(mapping), sources_(std::move(sources)), slider_(std::move(slider)),
      stop_(std::move(stop)), recording_(plan) {}

InputSource* CaptureSession::SourceOf(const ControlId& control) const {
    for (InputSource* source : sources_)
        if (source->Kind() == control.kind) return source;
    return nullptr;
}

void CaptureSession::Override(int32_t frame, std::array<int32_t, kLineServos>& positions, bool) {
    ++played_;
    for (InputSource* source : sources_) source->Poll();
    const auto& armed = recording_.Plan().armed;
    for (int s = 0; s < kServoCount; ++s) {
        if (!armed[size_t(s)]) continue;
        const Binding& binding = mapping_[size_t(s)];
        const ServoRecord& servo = project_.Servos[size_t(s)];
        std::optional<int32_t> position;
        if (binding.control.kind == SourceKind::Slider) {
            if (slider_) position = WithinLimits(slider_(s), servo);
        } else if (InputSource* source = SourceOf(binding.control); source && unplugged_.empty()) {
            if (!source->Connected(binding.control.device)) {
                unplugged_ = binding.control.device;
                if (stop_) stop_();
            } else if (const std::optional<double> value = source->Value(binding.control)) {
                position = ServoPosition(*value, servo, binding.invert);
            }
        }
        // A control not heard from yet (or gone) holds the servo where it was.
        if (position) {
            held_[size_t(s)] = *position;
            holding_[size_t(s)] = true;
        } else if (!holding_[size_t(s)]) {
            held_[size_t(s)] = WithinLimits(positions[size_t(s)], servo);
            holding_[size_t(s)] = true;
        }
        positions[size_t(s)] = held_[size_t(s)];
    }
    if (unplugged_.empty()) recording_.Record(frame, positions);
}

}  // namespace kestrova
