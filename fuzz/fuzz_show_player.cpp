// The board's player on arbitrary bytes: opening and playing must stay
// inside the block, whatever it holds.
#include "export/player_core.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<uint8_t> copy(data, data + size);  // exactly sized, so reads past it are caught
    kva::ShowPlayer player;
    if (!player.Open(copy.data(), static_cast<uint32_t>(copy.size()))) return 0;
    volatile unsigned sum = 0;
    for (uint32_t f = 1; f < 20000 && player.Advance(); ++f) {
        for (uint8_t t = 0; t < player.Tracks(); ++t) sum = sum + player.Servo(t) + player.Channel(t) + player.Position(t);
    }
    return 0;
}
