#pragma once
// Writing a project file (".kva").

#include "core/project.h"
#include "safe_file.h"

#include <string>

namespace kestrova {

// The whole project file as UTF-8 text with CR LF line ends: the header
// "KVSL=1.0", the settings (the controller's only where they differ from
// the defaults), an empty line, the 16 servo blocks (each
// with its program between "Program=[" and a line "]") and one block per
// WAV cue. Line breaks inside a program are written as CR LF whatever they
// were; the line break before the closing "]" is added only when the
// program does not already end with one, so saving what was read gives the
// same bytes again. A program's first line shares the line of "Program=[";
// when it ends with "]" a one-line program is written whole there
// ("Program=[Wait 5 ']]"), and a longer one gets a space after that line.
std::string SaveText(const Project& project);

// Why the project cannot be written so that it reads back the same, as a
// sentence for the "Save Error" message; empty when it can. A program line
// after the first that is just "]" would close the program early; a line
// break inside a servo name or a sound path would start a line of its own.
std::string UnsavableContent(const Project& project);

// The text SaveText makes, unless UnsavableContent objects or the file
// would be larger than the reader accepts (limit, in bytes); then false
// with the reason.
bool ComposeProjectFile(const Project& project, std::string& text, std::string& problem,
                        size_t limit = kMaxProjectFileBytes);

}  // namespace kestrova
