#pragma once
// Reading a project file (".kva") into the project.

#include "core/messages.h"
#include "core/project.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

// Where in the file the kept program text of a servo begins: 1-based line
// and column (in characters) of the first character after "Program=[";
// 0, 0 when the file had no program for the servo.
struct ProgramSource {
    int32_t line = 0;
    int32_t column = 0;

    bool operator==(const ProgramSource&) const = default;
};

struct LoadResult {
    bool ok = false;  // the project was replaced
    // Refused: the text held neither a version line nor any of the format's
    // keys, so it is no project file; nothing was changed.
    bool notAnimation = false;
    std::array<ProgramSource, kServoCount> programSources{};
    // What the load has to tell, in file order: the repairs, the version
    // conflict and, last, a severe problem. The caller shows them.
    std::vector<Message> messages;
};

// Parses the whole text of a project file (already decoded to UTF-8) into
// fresh working copies (a new project's servos, empty programs, no cues)
// and, when no severe problem stops it, replaces the
// project's servos, programs and WAV cues by them (Used becomes false).
// Settings lines go straight into project.Settings as they are read, so they
// stay applied even when the load fails. Invalid servo values are repaired
// with an information message each; a program block without its closing
// "]" fails the load with a critical message and leaves servos, programs and
// cues as they were. The messages come back in the result, none is shown. The document flags are the caller's business.
//
// Lines may end in CR LF, LF or CR. Lines whose servo number is not 1 to 16,
// whose WAV number is not a whole number from 1 to 10,000, whose settings or
// WAV Start/End value is not numeric, and WAV lines without "=" are ignored.
LoadResult LoadFile(std::string_view text, Project& project);

// What a refused file (notAnimation) is reported with, under "Open Error".
Message NotAnimationMessage(const std::string& name);

// The bytes of a project file, as they were read: decoded as
// DecodeProjectBytes does, then LoadFile.
LoadResult LoadProjectBytes(std::string_view bytes, Project& project);
// The same, giving up the bytes as soon as they are decoded, so that a
// large Windows-1252 file is not held twice while it is read.
LoadResult LoadProjectBytes(std::string&& bytes, Project& project);

}  // namespace kestrova
