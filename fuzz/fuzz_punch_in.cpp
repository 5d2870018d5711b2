// Punches arbitrary takes into arbitrary programs: a program that builds and
// a take within the servo's limits and the frame limit must always go in,
// and what goes in has been checked frame by frame by PunchIn itself.
#include "core/compiler.h"
#include "core/punch_in.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

using namespace kestrova;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) return 0;
    // Bytes 0-1: first frame; byte 2: tolerance and easing; byte 3: table
    // length known or not; then take bytes up to a '|', then the program.
    const int32_t first = 2 + (data[0] | (data[1] << 8)) % 2000;
    const FitOptions options{data[2] % 11, (data[2] & 0x80) != 0};
    std::vector<int32_t> take;
    size_t at = 4;
    for (; at < size && data[at] != '|' && take.size() < 4000; ++at) take.push_back(10 + data[at]);
    if (take.empty()) return 0;
    const std::string program(reinterpret_cast<const char*>(data) + at, size - at);
    const ServoRecord servo{"S", 127, 10, 265, true, false};
    const auto last = static_cast<int32_t>(first + take.size() - 1);
    const int32_t table = data[3] % 2 ? last + data[3] / 2 : 0;

    const PunchInResult result = PunchIn(servo, program, first, last, take, options, table);
    if (!result.ok() && result.error.rfind("The servo's program has an error", 0) != 0 &&
        result.error != kTooLongMessage)
        std::abort();
    return 0;
}
