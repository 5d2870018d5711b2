#pragma once
// Writes a built show as an Arduino sketch folder for an Uno: DIR/NAME.ino
// (NAME being the folder's own name), the show as show_data.h, the player
// as kestrova_player.h, and a Makefile that builds and flashes it with the
// Debian packages of avr-gcc, the Arduino AVR core and avrdude.

#include "show_encoder.h"

#include <cstddef>
#include <string>
#include <vector>

namespace kestrova {

// What an Uno offers: 32 KB of flash less the 512-byte boot loader, 2 KB of RAM.
inline constexpr size_t kUnoFlashBytes = 32256;
inline constexpr size_t kUnoRamBytes = 2048;

struct SketchReport {
    bool ok = false;
    std::string error;                  // why nothing was written
    std::string sketchName;             // NAME
    size_t showBytes = 0;               // the encoded show
    size_t flashBytes = 0;              // estimated program size with the player
    size_t ramBytes = 0;                // estimated RAM in use
    std::vector<std::string> warnings;  // written, but worth knowing
};

// The flash and RAM the player itself needs in a mode, without the show.
size_t PlayerFlashBytes(ExportMode mode);
size_t PlayerRamBytes(ExportMode mode);

// Encodes and writes the sketch. Refuses a show that does not fit the board,
// a folder name that cannot be a sketch name, and a folder that holds other
// files than an earlier export of the same name.
SketchReport ExportArduinoSketch(const Project& built, const ExportOptions& options, const std::string& dir,
                                 const std::string& projectName);

// A few lines for the user: sizes, and how to build and flash.
std::string SketchSummary(const SketchReport& report, const std::string& dir);

// The player's source as the sketch gets it.
const char* PlayerCoreSource();

}  // namespace kestrova
