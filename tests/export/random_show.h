#pragma once
// Built shows for the export tests: from programs, or random ones in which
// each servo makes about one move a second.

#include "core/compiler.h"

#include <random>
#include <string>
#include <vector>

namespace kestrova::testing {

inline Project BuiltShow(const std::vector<std::string>& programs, int32_t synch = 255) {
    Project project;
    StartNewProject(project);
    project.Settings.BaudRate = 1;
    project.Settings.SynchByte = synch;
    for (size_t s = 0; s < programs.size(); ++s) project.Programs[s] = programs[s];
    BuildAnimation(project);
    return project;
}

// `seconds` of random motion of `servos` servos at `fps`.
inline Project RandomShow(unsigned seed, int servos, int seconds, int fps) {
    std::mt19937 random(seed);
    std::vector<std::string> programs(static_cast<size_t>(servos));
    for (auto& program : programs) {
        int frames = 0;
        while (frames < seconds * fps) {
            const int move = std::uniform_int_distribution<int>(fps / 3 + 1, fps)(random);
            const int hold = std::uniform_int_distribution<int>(0, fps / 2)(random);
            program += "Mov " + std::to_string(std::uniform_int_distribution<int>(0, 254)(random)) + ", " +
                       std::to_string(move) + "\r\n";
            if (hold) program += "Wait " + std::to_string(hold) + "\r\n";
            frames += move + hold;
        }
    }
    return BuiltShow(programs);
}

}  // namespace kestrova::testing
