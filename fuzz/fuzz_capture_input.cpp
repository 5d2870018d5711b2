// Datagrams and MIDI bytes as the network and a MIDI port may deliver them:
// the first byte chooses the reader; the sources must neither crash nor
// keep more than one value per control.
#include "capture/midi_source.h"
#include "capture/osc_source.h"

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    if (data[0] & 1) {
        kestrova::MidiSource midi("Port");
        midi.Feed("Port", data + 1, size - 1);
        if (midi.Controls().size() > 16 * 128) std::abort();
    } else {
        static kestrova::OscSource osc(0);  // one socket for the whole run
        osc.Dispatch(data + 1, size - 1);
        if (osc.Controls().size() > 16) std::abort();
    }
    return 0;
}
