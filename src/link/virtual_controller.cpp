#include "virtual_controller.h"

#include <algorithm>
#include <chrono>
#include <limits>

namespace kestrova {

namespace {

constexpr size_t kMaxPending = 1 << 16;

double SteadySeconds() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

class VirtualController::Receiver : public ProtocolDecoder::Listener {
public:
    explicit Receiver(VirtualController& owner) : owner_(owner) {}
    void Event(const ControllerEvent& event) override {
        const ControllerSetup& setup = owner_.setup_;
        const bool chained = setup.protocol == int32_t(Protocol::PololuChain);
        const int servo = event.channel >= 0 && event.channel <= kHighestChannel ? owner_.servoOfChannel_[event.channel] : -1;
        // A command for another board on the line, or for a channel no
        // servo is on, moves nothing here.
        if (servo < 0 || (chained && event.device >= 0 && event.device != setup.deviceNumber)) {
            ++owner_.state_.notUnderstood;
            return;
        }
        const auto s = static_cast<size_t>(servo);
        if (event.kind == ControllerEvent::Kind::Position) {
            owner_.state_.position[s] = event.value;
            owner_.state_.pulse[s] = PulseQuarterMicros(event.value, setup.pulseMin[s], setup.pulseMax[s]);
        } else if (event.kind == ControllerEvent::Kind::Pulse) {
            owner_.state_.pulse[s] = event.value;
            if (event.value > 0) owner_.state_.position[s] = PositionOfPulse(event.value, setup.pulseMin[s], setup.pulseMax[s]);
        }
        ++owner_.state_.commands;
    }
    void NotUnderstood(const uint8_t*, size_t count, uint64_t) override { owner_.state_.notUnderstood += count; }

private:
    VirtualController& owner_;
};

VirtualController::VirtualController() : VirtualController(&SteadySeconds) {}

VirtualController::VirtualController(Clock clock) : clock_(std::move(clock)) {
    setup_.synchByte = state_.synchByte;
    NewDecoder();
}

void VirtualController::NewDecoder() {
    const int32_t protocol = KnownProtocol(setup_.protocol) ? setup_.protocol : 0;
    decoder_ = MakeDecoder(protocol, state_.synchByte);
    state_.protocol = protocol;
    servoOfChannel_.fill(-1);
    for (int s = kServoCount - 1; s >= 0; --s) {
        const int32_t channel = setup_.channel[static_cast<size_t>(s)];
        if (channel >= 0 && channel <= kHighestChannel) servoOfChannel_[static_cast<size_t>(channel)] = s;
    }
}

void VirtualController::SetSetup(const ControllerSetup& setup) {
    std::lock_guard lock(mutex_);
    setup_ = setup;
    if (setup.synchByte >= 0 && setup.synchByte <= 255) state_.synchByte = static_cast<uint8_t>(setup.synchByte);
    NewDecoder();
}

void VirtualController::SetClock(Clock clock) {
    std::lock_guard lock(mutex_);
    clock_ = std::move(clock);
}

void VirtualController::SetLine(int32_t bitsPerSecond, int bitsPerByte) {
    if (bitsPerSecond <= 0 || bitsPerByte <= 0) return;
    std::lock_guard lock(mutex_);
    byteSeconds_ = static_cast<double>(bitsPerByte) / bitsPerSecond;
}

void VirtualController::SetSynchByte(uint8_t synch) {
    std::lock_guard lock(mutex_);
    state_.synchByte = synch;
    setup_.synchByte = synch;
    NewDecoder();
}

void VirtualController::ArriveUntil(double now) {
    bool arrived = false;
    Receiver receiver(*this);
    while (!pending_.empty() && pending_.front().arrival <= now) {
        decoder_->Feed(pending_.front().byte, receiver);
        pending_.pop_front();
        arrived = true;
    }
    if (arrived) ++state_.generation;
}

void VirtualController::Write(const uint8_t* data, size_t size) {
    std::lock_guard lock(mutex_);
    const double now = clock_();
    ArriveUntil(now);
    double at = std::max(now, lineFreeAt_);
    for (size_t i = 0; i < size; ++i) {
        at += byteSeconds_;
        pending_.push_back(Pending{at, data[i]});
    }
    lineFreeAt_ = at;
    // A sender far faster than this line's model (a real port on a fast
    // adapter) must not pile bytes up without end.
    if (pending_.size() > kMaxPending) ArriveUntil(pending_[pending_.size() - kMaxPending].arrival);
}

double VirtualController::WaitBeforeWrite(size_t size) {
    std::lock_guard lock(mutex_);
    const double now = clock_();
    ArriveUntil(now);
    if (pending_.size() + size <= kLineBufferBytes) return 0.0;
    const size_t mustArrive = std::min(pending_.size(), pending_.size() + size - kLineBufferBytes);
    return std::max(0.0, pending_[mustArrive - 1].arrival - now);
}

double VirtualController::Backlog() {
    std::lock_guard lock(mutex_);
    return std::max(0.0, lineFreeAt_ - clock_());
}

ControllerState VirtualController::State() {
    std::lock_guard lock(mutex_);
    ArriveUntil(clock_());
    return state_;
}

ControllerState VirtualController::Settle() {
    std::lock_guard lock(mutex_);
    ArriveUntil(std::numeric_limits<double>::infinity());
    lineFreeAt_ = std::min(lineFreeAt_, clock_());
    return state_;
}

}  // namespace kestrova
