#pragma once
// What the commands of kestrova-cli share: reading a project as the editor's
// Open does, building it, and printing message boxes as lines.

#include "core/messages.h"
#include "core/project.h"
#include "files/kva_reader.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>

namespace kestrova::cli {

struct LoadedProject {
    Project project;
    LoadResult load;
};

// The one filter every command's messages pass through: the text without
// control characters (C0, DEL and C1, line feeds kept only when asked) and
// with every byte that is not part of a UTF-8 character shown as U+FFFD, so
// that a name or path from a file or the command line cannot drive the
// terminal it is printed on.
std::string Printable(std::string_view text, bool keepLineFeeds = false);

// "TITLE: TEXT" with the text's line breaks as single spaces and no other
// control characters.
std::string OneLine(const Message& message);

// Prints a message box to standard error and answers it (OK, or No).
MessageAnswer PrintMessage(const Message& message);

// Reads FILE: its bytes, their encoding, then LoadFile with its repairs.
// Every message is printed to err. Nothing when the file cannot be read or
// the load met a severe problem.
std::optional<LoadedProject> ReadProject(const std::string& path, std::ostream& err);

// Builds all 16 servos; prints a compile error located in FILE. Returns the
// exit code: kExitOk or kExitCompileError.
int BuildProject(LoadedProject& loaded, const std::string& file, std::ostream& err);

// The usage text of --help.
const char* UsageText();

// Prints the problem and the usage text; returns kExitFailure.
int Usage(std::ostream& err, const std::string& problem);

}  // namespace kestrova::cli
