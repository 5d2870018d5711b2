// Kestrova show player: decodes an exported show and keeps its frames on an
// absolute schedule. The same file builds into the Arduino sketch and into
// the host programs that check it, so it uses plain C++11 and <stdint.h>
// only: no floating point, no allocation, no standard library.
//
// The show is one block of bytes (all numbers little-endian):
//   0  'K' 'S' 1 or 2       magic and version
//   3  frames (4 bytes)     the last frame number, at least 1
//   7  fps (1 byte)         frames per second, 1 to 30
//   8  flags (1 byte)       bit 0: loop; bit 1: caps
//   9  synch byte (1 byte)
//  10  minimum pulse, maximum pulse (2 bytes each, microseconds)
//  14  track count T (1 byte), then T track headers of 5 bytes:
//        servo (0 to 15), channel (0 to 15), first position,
//        length of the track's ops (2 bytes)
//      (version 2 only) T pulse ranges of 5 bytes: the pulse of position 0
//        and of position `top` (2 bytes each, microseconds), top (1 byte);
//        a version 1 show maps 0 to 255 onto the header's range for all
//      with caps, then T pairs of 4-byte caps (speed, acceleration per
//      frame in limit_step.h's fixed point, 0 for none),
//      then the T tracks' ops, back to back.
// What goes out is each track's position through limit_step.h's limiter:
// exactly what the editor's output sends for the same show and caps.
// A track starts at its first position (frame 1) and goes on with ops, each
// covering k frames from position a with a change d:
//   frame i of the op (1 to k) holds a + floor(d * i / k).
// An op is one byte [L S Z kkkkk]: Z set means d = 0 (a hold); otherwise a
// byte of |d| follows and S gives its sign. L clear: k = kkkkk + 1 (1 to 32);
// L set: k = (kkkkk << 8 | next byte) + 1 (1 to 8192), the extra byte coming
// before the |d| byte.
#ifndef KESTROVA_PLAYER_CORE_H
#define KESTROVA_PLAYER_CORE_H

#include <stdint.h>

#include "core/limit_step.h"

#ifndef KVA_READ_BYTE
#define KVA_READ_BYTE(address) (*(address))
#endif

namespace kva {

static const uint8_t kMaxTracks = 16;
static const uint8_t kHeaderBytes = 15;
static const uint8_t kTrackHeaderBytes = 5;
static const uint8_t kPulseRangeBytes = 5;
static const uint8_t kOpLong = 0x80;
static const uint8_t kOpNegative = 0x40;
static const uint8_t kOpHold = 0x20;
static const uint8_t kFlagCaps = 0x02;
static const uint8_t kCapsBytes = 8;

class ShowPlayer {
public:
    ShowPlayer() : data_(0), frames_(0), frame_(0), count_(0), ranges_(0), known_(false) {}

    // Reads the header of a show of `size` bytes. False when it is not a show
    // of this version or its tracks do not lie inside it.
    bool Open(const uint8_t* data, uint32_t size) {
        data_ = data;
        count_ = 0;
        if (size < kHeaderBytes || size > 0xFFFF || Byte(0) != 'K' || Byte(1) != 'S' || (Byte(2) != 1 && Byte(2) != 2))
            return false;
        frames_ = Word(3) | (static_cast<uint32_t>(Word(5)) << 16);
        const uint8_t tracks = Byte(14);
        if (frames_ == 0 || tracks > kMaxTracks || Byte(7) == 0) return false;
        uint32_t offset = kHeaderBytes + static_cast<uint32_t>(tracks) * kTrackHeaderBytes;
        ranges_ = 0;
        if (Byte(2) == 2) {
            ranges_ = static_cast<uint16_t>(offset);
            offset += static_cast<uint32_t>(tracks) * kPulseRangeBytes;
        }
        const bool capped = (Byte(8) & kFlagCaps) != 0;
        const uint32_t caps = offset;
        if (capped) offset += static_cast<uint32_t>(tracks) * kCapsBytes;
        if (offset > size) return false;
        for (uint8_t t = 0; t < tracks; ++t) {
            caps_[t].speed = capped ? Long(caps + t * kCapsBytes) : 0;
            caps_[t].accel = capped ? Long(caps + t * kCapsBytes + 4) : 0;
        }
        known_ = false;
        for (uint8_t t = 0; t < tracks; ++t) {
            const uint16_t header = kHeaderBytes + t * kTrackHeaderBytes;
            start_[t] = static_cast<uint16_t>(offset);
            offset += Word(header + 3);
            if (offset > size) return false;
        }
        end_ = static_cast<uint16_t>(offset);
        count_ = tracks;
        Rewind();
        return true;
    }

    uint32_t Frames() const { return frames_; }
    uint8_t Fps() const { return Byte(7); }
    bool Loop() const { return (Byte(8) & 1) != 0; }
    uint8_t Synch() const { return Byte(9); }
    uint16_t MinPulse() const { return Word(10); }
    uint16_t MaxPulse() const { return Word(12); }
    // A track's pulse range: the pulse of position 0, that of PulseTop(t).
    uint16_t MinPulse(uint8_t t) const { return ranges_ ? Word(ranges_ + t * kPulseRangeBytes) : MinPulse(); }
    uint16_t MaxPulse(uint8_t t) const { return ranges_ ? Word(ranges_ + t * kPulseRangeBytes + 2) : MaxPulse(); }
    uint8_t PulseTop(uint8_t t) const { return ranges_ ? Byte(ranges_ + t * kPulseRangeBytes + 4) : 255; }
    uint8_t Tracks() const { return count_; }
    uint8_t Servo(uint8_t t) const { return Byte(kHeaderBytes + t * kTrackHeaderBytes); }
    uint8_t Channel(uint8_t t) const { return Byte(kHeaderBytes + t * kTrackHeaderBytes + 1); }

    // The frame now held (1 to Frames()) and each track's position in it.
    uint32_t Frame() const { return frame_; }
    uint8_t Position(uint8_t t) const { return track_[t].position; }

    // What goes out for each track: its position through the limiter
    // (the position itself until Limit() ran).
    uint8_t Output(uint8_t t) const { return known_ ? out_[t] : track_[t].position; }
    // Steps every track's output one frame toward its position (the first
    // time, puts it there). True when every track rests on its position.
    bool Limit() {
        bool settled = true;
        for (uint8_t t = 0; t < count_; ++t) {
            const int32_t position = track_[t].position;
            LimitMotion& motion = motion_[t];
            if (!known_) {
                motion.position = position * kLimitOne;
                motion.velocity = 0;
                out_[t] = static_cast<uint8_t>(position);
                continue;
            }
            out_[t] = static_cast<uint8_t>(LimitStep(motion, position, caps_[t]));
            const int32_t speed = motion.velocity < 0 ? -motion.velocity : motion.velocity;
            if (motion.position != position * kLimitOne || (caps_[t].accel != 0 && speed > caps_[t].accel)) settled = false;
        }
        known_ = true;
        return settled;
    }

    // Back to frame 1.
    void Rewind() {
        frame_ = 1;
        for (uint8_t t = 0; t < count_; ++t) {
            Track& track = track_[t];
            track.next = start_[t];
            track.end = t + 1 < count_ ? start_[t + 1] : end_;
            track.position = Byte(kHeaderBytes + t * kTrackHeaderBytes + 2);
            track.left = 0;
        }
    }

    // On to the next frame; false (and nothing changes) after the last one.
    bool Advance() {
        if (frame_ >= frames_) return false;
        ++frame_;
        for (uint8_t t = 0; t < count_; ++t) Step(track_[t]);
        return true;
    }

private:
    struct Track {
        uint16_t next;      // offset of the next op
        uint16_t end;       // offset behind the track's last op
        uint16_t left;      // frames left in the current op
        uint16_t span;      // k of the current op
        uint16_t rest;      // remainder of d * i / k, 0 to k - 1
        int16_t whole;      // floor(d / k)
        uint16_t fraction;  // d - whole * k
        uint8_t position;
    };

    uint8_t Byte(uint32_t offset) const { return KVA_READ_BYTE(data_ + offset); }
    uint16_t Word(uint32_t offset) const {
        return static_cast<uint16_t>(Byte(offset) | (static_cast<uint16_t>(Byte(offset + 1)) << 8));
    }
    int32_t Long(uint32_t offset) const {
        return static_cast<int32_t>(Word(offset) | (static_cast<uint32_t>(Word(offset + 2)) << 16));
    }

    // a + floor(d * i / k) step by step: each frame adds floor(d / k) and
    // carries one more whenever the remainder reaches k.
    void Step(Track& track) {
        if (track.left == 0) {
            if (track.next >= track.end) return;  // holds its last position
            const uint8_t op = Byte(track.next);
            const uint16_t size = static_cast<uint16_t>(1 + ((op & kOpLong) ? 1 : 0) + ((op & kOpHold) ? 0 : 1));
            if (track.end - track.next < size) {  // a cut-off op: hold
                track.next = track.end;
                return;
            }
            ++track.next;
            uint16_t span = op & 0x1F;
            if (op & kOpLong) span = static_cast<uint16_t>(span << 8 | Byte(track.next++));
            ++span;
            int16_t change = 0;
            if (!(op & kOpHold)) {
                change = Byte(track.next++);
                if (op & kOpNegative) change = static_cast<int16_t>(-change);
            }
            int16_t whole = static_cast<int16_t>(change / static_cast<int16_t>(span));
            int16_t fraction = static_cast<int16_t>(change - whole * static_cast<int16_t>(span));
            if (fraction < 0) {
                --whole;
                fraction = static_cast<int16_t>(fraction + span);
            }
            track.span = span;
            track.left = span;
            track.whole = whole;
            track.fraction = static_cast<uint16_t>(fraction);
            track.rest = 0;
        }
        --track.left;
        int16_t position = static_cast<int16_t>(track.position + track.whole);
        track.rest = static_cast<uint16_t>(track.rest + track.fraction);
        if (track.rest >= track.span) {
            track.rest = static_cast<uint16_t>(track.rest - track.span);
            ++position;
        }
        track.position = static_cast<uint8_t>(position);
    }

    const uint8_t* data_;
    uint32_t frames_;
    uint32_t frame_;
    uint8_t count_;
    uint16_t ranges_;  // offset of the version 2 pulse ranges; 0 for none
    uint16_t end_;
    uint16_t start_[kMaxTracks];
    Track track_[kMaxTracks];
    LimitCaps caps_[kMaxTracks];
    LimitMotion motion_[kMaxTracks];
    uint8_t out_[kMaxTracks];
    bool known_;
};

// Due times of frames on an absolute schedule in microseconds: frame n of a
// run is due n - 1 periods after the run began, the period being exactly
// 1000000 / fps (the fraction carried), so no error piles up however long
// the show runs. Times wrap around like the board's micros().
class FrameSchedule {
public:
    FrameSchedule() : due_(0), carry_(0), period_(0), remainder_(0), fps_(1) {}

    void Start(uint32_t now, uint8_t fps) {
        fps_ = fps ? fps : 1;
        period_ = 1000000UL / fps_;
        remainder_ = static_cast<uint8_t>(1000000UL % fps_);
        due_ = now;
        carry_ = 0;
    }
    uint32_t Due() const { return due_; }
    bool Reached(uint32_t now) const { return static_cast<int32_t>(now - due_) >= 0; }
    void Next() {
        due_ += period_;
        carry_ = static_cast<uint8_t>(carry_ + remainder_);
        if (carry_ >= fps_) {
            carry_ = static_cast<uint8_t>(carry_ - fps_);
            ++due_;
        }
    }

private:
    uint32_t due_;
    uint8_t carry_;
    uint32_t period_;
    uint8_t remainder_;
    uint8_t fps_;
};

// Plays a show on a board. The board gives the clock, the trigger and the
// outputs:
//   uint32_t Micros();            a free-running microsecond clock
//   bool Triggered();             the trigger input is active (never called
//                                 without a trigger)
//   void Show(const ShowPlayer&, bool runStart);   put out the current frame
// Without a trigger the show starts at once and plays once, or for ever with
// loop. With a trigger the first frame is put out and held until the trigger,
// then the show runs; after each run the first frame is held again until the
// next trigger.
template <class Board>
class ShowRunner {
public:
    ShowRunner(Board& board, ShowPlayer& player, bool trigger)
        : board_(board), player_(player), trigger_(trigger), state_(kDone), more_(false), leading_(false),
          settled_(true) {}

    void Begin() {
        player_.Rewind();
        if (trigger_) {
            settled_ = player_.Limit();
            board_.Show(player_, true);
            schedule_.Start(board_.Micros(), player_.Fps());
            schedule_.Next();
            state_ = kArmed;
        } else {
            StartRun();
        }
    }

    // Called as often as possible; puts out every frame when it falls due.
    // The next frame is decoded as soon as one is out, so that at its time
    // only the output remains to be done. A servo not yet where a run
    // starts travels there at its caps first, the run's first frame repeated
    // until every servo rests on it; after the last frame the servos still
    // on their way go on until they arrive.
    void Poll() {
        if (state_ == kArmed) {
            if (board_.Triggered()) {
                StartRun();
            } else if (!settled_ && schedule_.Reached(board_.Micros())) {
                settled_ = player_.Limit();
                board_.Show(player_, false);
                schedule_.Next();
            }
            return;
        }
        if (state_ != kPlaying || !schedule_.Reached(board_.Micros())) return;
        if (leading_) {
            settled_ = player_.Limit();
            board_.Show(player_, false);
            schedule_.Next();
            if (settled_) {
                leading_ = false;
                more_ = player_.Advance();
            }
            return;
        }
        if (more_) {
            settled_ = player_.Limit();
            board_.Show(player_, false);
        } else if (trigger_) {
            player_.Rewind();
            settled_ = player_.Limit();
            board_.Show(player_, true);
            schedule_.Next();
            state_ = kArmed;
            return;
        } else if (player_.Loop()) {
            player_.Rewind();
            settled_ = player_.Limit();
            board_.Show(player_, true);
            schedule_.Next();
            if (!settled_) {
                leading_ = true;
                return;
            }
            more_ = player_.Advance();
            return;
        } else if (!settled_) {
            settled_ = player_.Limit();
            board_.Show(player_, false);
            schedule_.Next();
            return;
        } else {
            state_ = kDone;
            return;
        }
        schedule_.Next();
        more_ = player_.Advance();
    }

    bool Done() const { return state_ == kDone; }

private:
    enum State { kArmed, kPlaying, kDone };

    void StartRun() {
        schedule_.Start(board_.Micros(), player_.Fps());
        settled_ = player_.Limit();
        board_.Show(player_, true);
        schedule_.Next();
        state_ = kPlaying;
        leading_ = !settled_;
        if (!leading_) more_ = player_.Advance();
    }

    Board& board_;
    ShowPlayer& player_;
    bool trigger_;
    State state_;
    bool more_;     // the player holds the next frame, decoded ahead
    bool leading_;  // repeating the run's first frame until every servo rests on it
    bool settled_;  // every servo rested on its position after the last output
    FrameSchedule schedule_;
};

// PCA9685 16-channel PWM board at 50 Hz. The bus writes bytes to the board
// in one transmission: void Write(const uint8_t* bytes, uint8_t count).
static const uint8_t kPcaMode1 = 0x00;
static const uint8_t kPcaLed0 = 0x06;
static const uint8_t kPcaPrescale = 0xFE;
// 25 MHz / (4096 * 50 Hz) - 1, rounded.
static const uint8_t kPcaPrescale50Hz = 121;

// The 12-bit off count of a pulse for position 0 to top mapped linearly onto
// minUs to maxUs, rounded, on a 20 ms period; positions beyond top stay at
// maxUs.
inline uint16_t PcaCount(uint8_t position, uint16_t minUs, uint16_t maxUs, uint8_t top = 255) {
    if (top == 0) top = 255;
    if (position > top) position = top;
    const int32_t span = static_cast<int32_t>(maxUs) - static_cast<int32_t>(minUs);
    const int32_t scaled = static_cast<int32_t>(minUs) * top + span * position;  // pulse * top
    const uint32_t count = (static_cast<uint32_t>(scaled) * 4096UL + top * 10000UL) / (top * 20000UL);
    return static_cast<uint16_t>(count > 4095 ? 4095 : count);
}

template <class Bus>
void PcaBegin(Bus& bus) {
    const uint8_t sleep[] = {kPcaMode1, 0x10};
    const uint8_t prescale[] = {kPcaPrescale, kPcaPrescale50Hz};
    const uint8_t wake[] = {kPcaMode1, 0x20};  // auto-increment, oscillator on
    bus.Write(sleep, 2);
    bus.Write(prescale, 2);
    bus.Write(wake, 2);
}

template <class Bus>
void PcaSet(Bus& bus, uint8_t channel, uint16_t count) {
    const uint8_t bytes[] = {static_cast<uint8_t>(kPcaLed0 + 4 * channel), 0, 0, static_cast<uint8_t>(count & 0xFF),
                             static_cast<uint8_t>(count >> 8)};
    bus.Write(bytes, 5);
}

// Puts out the frame on the PCA9685: every channel at a run's start, then
// only those whose position changed.
class PcaOutput {
public:
    PcaOutput() { for (uint8_t t = 0; t < kMaxTracks; ++t) last_[t] = 0; }

    template <class Bus>
    void Show(Bus& bus, const ShowPlayer& player, bool all) {
        for (uint8_t t = 0; t < player.Tracks(); ++t) {
            const uint8_t position = player.Output(t);
            if (!all && position == last_[t]) continue;
            last_[t] = position;
            PcaSet(bus, player.Channel(t), PcaCount(position, player.MinPulse(t), player.MaxPulse(t), player.PulseTop(t)));
        }
    }

private:
    uint8_t last_[kMaxTracks];
};

}  // namespace kva

#endif
