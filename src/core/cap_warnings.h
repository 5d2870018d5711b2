#pragma once
// The commands of a built project that ask more of a servo than its caps
// allow. The frame table keeps what was written (the output limits it); the
// user is warned at the command's word.
//
// The check assumes the fastest playback rate, kCapCheckFps frames per
// second: a program that passes it keeps within its caps at every rate.

#include "compiler.h"
#include "project.h"

#include <string>
#include <vector>

namespace kestrova {

inline constexpr int kCapCheckFps = 30;

struct CapWarning {
    int servo = 0;
    Token word;  // the command's word ("Mov")
    std::string message;
};

// At most one warning a command, in servo order, at most `limit` in all.
// Disabled servos and servos without caps give none.
std::vector<CapWarning> CapWarnings(const Project& built, size_t limit = 100);

}  // namespace kestrova
