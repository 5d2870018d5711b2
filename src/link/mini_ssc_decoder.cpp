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

void MiniSscDecoder::Lose(uint64_t count, Listener& listener) {
    lost_ += count;
    listener.NotUnderstood(count, read_ - 1);
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
        else Lose(1, listener);
        return;
    case State::Synch:
        if (!alwaysSynch && byte < kServos) {
            servo_ = byte;
            state_ = State::Servo;
        } else if (isSynch) {
            Lose(1, listener);  // the earlier synch byte started nothing
        } else {
            Lose(2, listener);
            state_ = State::Idle;
        }
        return;
    case State::Servo:
        if (alwaysSynch) {
            Lose(2, listener);  // a command cut short; this byte starts the next
            state_ = State::Synch;
            return;
        }
        listener.Command(DecodedCommand{servo_, byte, read_ - 1});
        state_ = State::Idle;
        return;
    }
}

}  // namespace kestrova
