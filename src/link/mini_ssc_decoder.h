#pragma once
// Reads a byte stream as a Mini-SSC servo controller does: a synch byte,
// a servo number, a position. Bytes that cannot start or continue a
// command are counted as not understood, and reading picks up again at the
// next synch byte.
//
// With the Mini-SSC's own synch byte, 255, a 255 is never a servo number or
// a position: it always starts a command, so a command cut short is dropped
// and the next one is read whole. With any other synch byte that value may
// also be a servo number or a position, so a command is always three bytes
// once its synch byte was seen.

#include <cstddef>
#include <cstdint>

namespace kestrova {

struct DecodedCommand {
    int servo = 0;         // 0 to 15
    int position = 0;      // 0 to 255
    uint64_t lastByte = 0; // index of the command's last byte in the stream
};

class MiniSscDecoder {
public:
    // What the decoder tells, byte by byte.
    class Listener {
    public:
        virtual ~Listener() = default;
        virtual void Command(const DecodedCommand& command) = 0;
        // count (1 or 2) bytes, the last of them at stream index lastByte,
        // could not be read as part of a command.
        virtual void NotUnderstood(const uint8_t* bytes, size_t count, uint64_t lastByte) = 0;
    };

    explicit MiniSscDecoder(uint8_t synchByte = 255) : synch_(synchByte) {}

    uint8_t SynchByte() const { return synch_; }
    // A new synch byte; a command under way is dropped.
    void SetSynchByte(uint8_t synch);

    void Feed(const uint8_t* data, size_t size, Listener& listener);
    void Feed(uint8_t byte, Listener& listener);

    // Bytes read so far and, of those, not understood (a command under way
    // is neither yet).
    uint64_t BytesRead() const { return read_; }
    uint64_t NotUnderstoodCount() const { return lost_; }

private:
    enum class State { Idle, Synch, Servo };
    void Lose(Listener& listener, uint8_t first);
    void Lose(Listener& listener, uint8_t first, uint8_t second);

    uint8_t synch_;
    State state_ = State::Idle;
    int servo_ = 0;
    uint64_t read_ = 0;
    uint64_t lost_ = 0;
};

}  // namespace kestrova
