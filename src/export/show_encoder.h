#pragma once
// Turns a built frame table into the compact show that the board's player
// decodes (the format is described in player_core.h). Every frame of every
// exported servo comes out of the player exactly as the table holds it.

#include "core/project.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

enum class ExportMode { Ssc, Pca9685 };

struct ExportOptions {
    ExportMode mode = ExportMode::Ssc;
    int fps = 15;          // 1 to 30
    bool loop = false;
    int triggerPin = -1;   // -1: none; else a digital pin 2 to 13 or A0 to A5 (14 to 19)
    // The PCA9685 channel of each servo (0 to 15).
    std::array<int, kServoCount> channels{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    // Pulse of position 0 and of 255 for servos without a pulse range of
    // their own; a servo with one (servo settings) spans it over 0 to 254.
    int minPulseUs = 1000;
    int maxPulseUs = 2000;
};

// The servo's pulse range differs from the 1000 to 2000 us default.
bool HasOwnPulseRange(const ServoRecord& servo);

// Reads "C1,C2,..." (up to 16 channels 0 to 15, for servos 1, 2, ...; the
// servos not named keep their own channel). False with a message on a bad
// list.
bool ParseChannels(const std::string& text, std::array<int, kServoCount>& channels, std::string& error);

// Reads "MIN_US,MAX_US". False with a message on bad values.
bool ParsePulse(const std::string& text, int& minUs, int& maxUs, std::string& error);

// The options as a user would type them for --channels: "0,1,...,15".
std::string ChannelsText(const std::array<int, kServoCount>& channels);

// A problem with the options themselves (fps, pin, pulse); empty when fine.
std::string CheckOptions(const ExportOptions& options);

// The servos a show drives, in order: those that are enabled and used,
// the same ones playback sends.
std::vector<int> ExportedServos(const Project& built);

// Encodes the show. False with a message when the show cannot be exported.
bool EncodeShow(const Project& built, const ExportOptions& options, std::vector<uint8_t>& show, std::string& error);

// The servo command stream the editor's playback sends for frames 1 to
// `lastFrame` (all frames when 0): synch byte, servo, position for each
// exported servo of each frame.
std::vector<uint8_t> CommandStream(const Project& built, int32_t lastFrame = 0);

}  // namespace kestrova
