#pragma once
// Writing a project file (".kva").

#include "core/project.h"

#include <string>

namespace kestrova {

// The whole project file as UTF-8 text with CR LF line ends: the header
// "KVSL=1.0", the six settings, an empty line, the 16 servo blocks (each
// with its program between "Program=[" and a line "]") and one block per
// WAV cue. Line breaks inside a program are written as CR LF whatever they
// were; the line break before the closing "]" is added only when the
// program does not already end with one, so saving what was read gives the
// same bytes again.
std::string SaveText(const Project& project);

}  // namespace kestrova
