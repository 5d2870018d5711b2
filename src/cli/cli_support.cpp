#include "cli_support.h"

#include "core/cap_warnings.h"

#include "cli.h"
#include "core/compiler.h"
#include "core/text.h"
#include "files/safe_file.h"
#include "files/text_encoding.h"

#include <iostream>

namespace kestrova::cli {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  kestrova-cli build FILE [--csv OUT]    build all 16 servos; with --csv write the\n"
    "                                         frame table to OUT ('-' is standard output)\n"
    "  kestrova-cli rewrite FILE -o OUT       read FILE and write it again to OUT\n"
    "  kestrova-cli play FILE [--port N | --device PATH] [--fps 1..30]\n"
    "                    [--from S] [--to E] [--loop] [--baud N] [--protocol P]\n"
    "                                         build FILE and play it on the serial port;\n"
    "                                         Ctrl+C stops; --baud: the line's real rate\n"
    "                                         (a device faster than the project's);\n"
    "                                         --protocol: the controller instead of the\n"
    "                                         project's (mini-ssc, pololu, pololu-chain,\n"
    "                                         ssc32)\n"
    "  kestrova-cli send SERVO POSITION [--port N | --device PATH] [--synch B]\n"
    "                    [--protocol P] [--project FILE [--from P] [--fps 1..30]]\n"
    "                                         send one servo command (SERVO 1 to 16);\n"
    "                                         with --project the servo's limits, caps and\n"
    "                                         the port settings are FILE's, and a capped\n"
    "                                         servo standing at --from is stepped to\n"
    "                                         POSITION within its caps (30 frames a\n"
    "                                         second unless --fps); Ctrl+C stops\n"
    "  kestrova-cli export FILE --arduino DIR [--mode ssc|pca9685] [--fps 1..30]\n"
    "                    [--loop] [--trigger PIN] [--channels C1,...,C16]\n"
    "                    [--pulse MIN_US,MAX_US]\n"
    "                                         build FILE and write it as an Arduino Uno\n"
    "                                         sketch folder DIR (make -C DIR builds it)\n"
    "  kestrova-cli ports                     the serial devices found, and the devices\n"
    "                                         that ports 1 to 16 map to\n"
    "  kestrova-cli monitor --device PATH [--baud N] [--synch B] [--live]\n"
    "                    [--protocol P]\n"
    "                                         read the device as a controller of the\n"
    "                                         protocol (Mini-SSC unless given) would and\n"
    "                                         print each command with its time (ms since\n"
    "                                         the first byte), or with --live a bar per\n"
    "                                         servo or channel redrawn; Ctrl+C stops\n"
    "  kestrova-cli jaw SOUND --fps N --closed P --open P [--threshold PERCENT]\n"
    "                    [--smooth FRAMES] [--lead FRAMES] [--start FRAME]\n"
    "                                         mouth moves from a sound's loudness, printed\n"
    "                                         as Mov and Wait lines\n"
    "  kestrova-cli fit TRACE [--tolerance 0..10] [--servo N]\n"
    "                                         the Mov and Wait lines that rebuild a trace\n"
    "                                         of positions (one per line, or with --servo\n"
    "                                         column N of a frame table CSV; '-' is\n"
    "                                         standard input) within the tolerance\n"
    "                                         (default 2); the first position is Home\n"
    "  kestrova-cli run SHOWFILE [--device PATH] [--check]\n"
    "                                         run a show file: the idle loops, triggers\n"
    "                                         start shows; SIGTERM or Ctrl+C ends it; with\n"
    "                                         --check only report the file's problems\n"
    "  kestrova-cli --help | --version\n"
    "\n"
    "Exit status: 0 success, 1 compile error, 2 unreadable file, severe load\n"
    "problem, port failure or bad usage. Messages go to standard error as\n"
    "'TITLE: TEXT'.\n";

// Line and column (from 1) in the file of a character offset inside a
// servo's program text, whose first character stands at `source`.
std::pair<int32_t, int32_t> FileLocation(const std::string& program, ProgramSource source, int32_t offset) {
    int32_t line = source.line;
    int32_t column = source.column;
    int32_t position = 0;
    for (size_t i = 0; i < program.size() && position < offset; ++i) {
        const char c = program[i];
        if (IsUtf8ContinuationByte(c)) continue;  // inside a character
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < program.size() && program[i + 1] == '\n') ++i;
            ++line;
            column = 1;
        } else {
            ++column;
        }
        ++position;
    }
    return {line, column};
}

}  // namespace

const char* UsageText() { return kUsage; }

std::string Printable(std::string_view text, bool keepLineFeeds) {
    std::string kept;
    kept.reserve(text.size());
    const auto* s = reinterpret_cast<const unsigned char*>(text.data());
    const size_t n = text.size();
    for (size_t i = 0; i < n;) {
        const unsigned char c = s[i];
        if (c < 0x80) {
            if ((c >= 0x20 && c != 0x7F) || (c == '\n' && keepLineFeeds)) kept.push_back(char(c));
            ++i;
            continue;
        }
        // A UTF-8 sequence is kept unless it is a C1 control (U+0080 to
        // U+009F); a byte that starts none (a lone 0x9B is a terminal's CSI)
        // is shown as U+FFFD.
        const size_t length = Utf8SequenceLength(text.substr(i));
        if (length == 0) {
            kept += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (!(c == 0xC2 && s[i + 1] <= 0x9F)) kept.append(text.substr(i, length));
        i += length;
    }
    return kept;
}

std::string OneLine(const Message& message) {
    std::string text;
    for (size_t i = 0; i < message.text.size(); ++i) {
        const char c = message.text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < message.text.size() && message.text[i + 1] == '\n') ++i;
            text.push_back(' ');
        } else {
            text.push_back(c);
        }
    }
    return Printable((message.title.empty() ? std::string("Kestrova") : message.title) + ": " + text);
}

MessageAnswer PrintMessage(const Message& message) {
    std::cerr << OneLine(message) << '\n';
    return message.buttons == MessageButtons::YesNo || message.buttons == MessageButtons::YesNoCancel
               ? MessageAnswer::No
               : MessageAnswer::Ok;
}

std::optional<LoadedProject> ReadProject(const std::string& path, std::ostream& err) {
    const auto print = [&err](const Message& message) { err << OneLine(message) << '\n'; };
    std::string bytes;
    std::string reason;
    if (!ReadFileBytes(path, bytes, reason)) {
        print(Message{"The animation " + path + " could not be opened: " + reason, "Open Error",
                      MessageIcon::Critical, MessageButtons::Ok});
        return std::nullopt;
    }
    std::optional<LoadedProject> loaded(std::in_place);
    StartNewProject(loaded->project);
    loaded->load = LoadProjectBytes(std::move(bytes), loaded->project);
    for (const Message& message : loaded->load.messages) print(message);
    if (loaded->load.notAnimation) print(NotAnimationMessage(path));
    if (!loaded->load.ok) return std::nullopt;
    return loaded;
}

int BuildProject(LoadedProject& loaded, const std::string& file, std::ostream& err) {
    Project& project = loaded.project;
    const BuildResult result = BuildAnimation(project);
    if (result.outcome == BuildOutcome::NothingToCompile) {
        err << Printable(file) << ": " << result.error.title << ": " << result.error.message << '\n';
        return kExitCompileError;
    }
    if (result.outcome == BuildOutcome::Failed) {
        const CompileError& e = result.error;
        const auto [line, column] = FileLocation(project.Programs[e.servo], loaded.load.programSources[e.servo], e.Start);
        err << Printable(file) << ':' << line << ':' << column << ": " << e.title << ": " << e.message << " (servo "
            << e.servo + 1 << " \"" << Printable(project.Servos[e.servo].Name) << "\")\n";
        return kExitCompileError;
    }
    // Moves beyond a servo's caps build as written and play limited: a warning, not an error.
    for (const CapWarning& w : CapWarnings(project)) {
        const auto [line, column] = FileLocation(project.Programs[w.servo], loaded.load.programSources[w.servo], w.word.Start);
        err << Printable(file) << ':' << line << ':' << column << ": Warning: " << w.message << " (servo "
            << w.servo + 1 << " \"" << Printable(project.Servos[w.servo].Name) << "\")\n";
    }
    return kExitOk;
}

int Usage(std::ostream& err, const std::string& problem) {
    err << "kestrova-cli: " << Printable(problem) << "\n\n" << kUsage;
    return kExitFailure;
}

}  // namespace kestrova::cli
