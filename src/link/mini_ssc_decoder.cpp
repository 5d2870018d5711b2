#include "mini_ssc_decoder.h"

namespace kestrova {

namespace {

constexpr uint8_t kMiniSscSynch = 255;
constexpr int kServos = 16;

}  // namespace

void MiniSscDecoder::SetSynchByte(uint8_t synch) {
    synch_ = synch;
    state_ = State::Idle;
}

void MiniSscDecoder::Lose(Listener& listener, uint8_t first) {
    lost_ += 1;
    listener.NotUnderstood(&first, 1, read_ - 1);
}

void MiniSscDecoder::Lose(Listener& listener, uint8_t first, uint8_t second) {
    const uint8_t bytes[2] = {first, second};
    lost_ += 2;
    listener.NotUnderstood(bytes, 2, read_ - 1);
}

void MiniSscDecoder::Feed(const uint8_t* data, size_t size, Listener& listener) {
    for (size_t i = 0; i < size; ++i) Feed(data[i], listener);
}

void MiniSscDecoder::Feed(uint8_t byte, Listener& listener) {
    ++read_;
    const bool isSynch = byte == synch_;
    const bool alwaysSynch = isSynch && synch_ == kMiniSscSynch;
    switch (state_) {
    case State::Idle:
        if (isSynch) state_ = State::Synch;
        else Lose(listener, byte);
        return;
    case State::Synch:
        if (!alwaysSynch && byte < kServos) {
            servo_ = byte;
            state_ = State::Servo;
        } else if (isSynch) {
            Lose(listener, synch_);  // the earlier synch byte started nothing
        } else {
            Lose(listener, synch_, byte);
            state_ = State::Idle;
        }
        return;
    case State::Servo:
        if (alwaysSynch) {
            Lose(listener, synch_, static_cast<uint8_t>(servo_));  // cut short; this byte starts the next
            state_ = State::Synch;
            return;
        }
        listener.Command(DecodedCommand{servo_, byte, read_ - 1});
        state_ = State::Idle;
        return;
    }
}

}  // namespace kestrova
