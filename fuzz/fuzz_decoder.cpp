// The Mini-SSC decoder on any bytes with any synch byte: every byte is read
// once, as part of a command, as not understood, or still pending; commands
// name servos 0 to 15.
#include "link/mini_ssc_decoder.h"

#include <cstdlib>

namespace {

struct Count : kestrova::MiniSscDecoder::Listener {
    uint64_t commands = 0, lost = 0;
    void Command(const kestrova::DecodedCommand& c) override {
        if (c.servo < 0 || c.servo > 15 || c.position < 0 || c.position > 255) std::abort();
        ++commands;
    }
    void NotUnderstood(const uint8_t*, size_t count, uint64_t) override {
        if (count < 1 || count > 2) std::abort();
        lost += count;
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    kestrova::MiniSscDecoder decoder(data[0]);
    Count count;
    decoder.Feed(data + 1, size - 1, count);
    const uint64_t accounted = count.commands * 3 + count.lost;
    if (accounted > size - 1 || size - 1 - accounted > 2 || decoder.NotUnderstoodCount() != count.lost) std::abort();
    return 0;
}
