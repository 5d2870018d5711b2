#include "cli.h"

#include "core/compiler.h"
#include "core/messages.h"
#include "core/project.h"
#include "files/kva_reader.h"
#include "files/kva_writer.h"
#include "files/safe_file.h"
#include "files/text_encoding.h"

#include <charconv>
#include <fstream>
#include <iostream>
#include <optional>

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace kestrova::cli {

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  kestrova-cli build FILE [--csv OUT]   build all 16 servos; with --csv write the\n"
    "                                         frame table to OUT ('-' is standard output)\n"
    "  kestrova-cli rewrite FILE -o OUT      read FILE and write it again to OUT\n"
    "  kestrova-cli --help | --version\n"
    "\n"
    "Exit status: 0 success, 1 compile error, 2 unreadable file, severe load\n"
    "problem or bad usage. Messages go to standard error as 'TITLE: TEXT'.\n";

// A message box as one line of text: line breaks inside the text become one space.
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
    return (message.title.empty() ? std::string("Kestrova") : message.title) + ": " + text;
}

struct LoadedProject {
    Project project;
    LoadResult load;
};

// Reads FILE as the editor's Open does: the bytes, their encoding, then
// LoadFile with its repairs. Every message is printed to err.
std::optional<LoadedProject> ReadProject(const std::string& path, std::ostream& err) {
    ScopedMessageHandler printer([&err](const Message& message) {
        err << OneLine(message) << '\n';
        return message.buttons == MessageButtons::YesNo || message.buttons == MessageButtons::YesNoCancel
                   ? MessageAnswer::No
                   : MessageAnswer::Ok;
    });
    std::string bytes;
    std::string reason;
    if (!ReadFileBytes(path, bytes, reason)) {
        ShowMessage(Message{"The animation " + path + " could not be opened: " + reason, "Open Error",
                            MessageIcon::Critical, MessageButtons::Ok});
        return std::nullopt;
    }
    std::optional<LoadedProject> loaded(std::in_place);
    StartNewProject(loaded->project);
    loaded->load = LoadFile(DecodeProjectBytes(bytes), loaded->project);
    if (!loaded->load.ok) return std::nullopt;
    return loaded;
}

// Line and column (from 1) in the file of a character offset inside a
// servo's program text, whose first character stands at `source`.
std::pair<int32_t, int32_t> FileLocation(const std::string& program, ProgramSource source, int32_t offset) {
    int32_t line = source.line;
    int32_t column = source.column;
    int32_t position = 0;
    for (size_t i = 0; i < program.size() && position < offset; ++i) {
        const char c = program[i];
        if ((static_cast<unsigned char>(c) & 0xC0) == 0x80) continue;  // inside a character
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

void WriteCsv(const FrameTable& frames, std::ostream& out) {
    out << "frame";
    for (int s = 1; s <= kServoCount; ++s) out << ",servo" << s;
    out << ",wav\n";
    std::string buffer;
    buffer.reserve(1 << 16);
    char number[16];
    auto put = [&](int32_t value) {
        auto result = std::to_chars(number, number + sizeof number, value);
        buffer.append(number, result.ptr);
    };
    for (int32_t f = 1; f <= frames.UpperBound(); ++f) {
        put(f);
        for (int32_t value : frames[f]) {
            buffer.push_back(',');
            put(value);
        }
        buffer.push_back('\n');
        if (buffer.size() > (1 << 16) - 256) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
}

int Usage(std::ostream& err, const std::string& problem) {
    err << "kestrova-cli: " << problem << "\n\n" << kUsage;
    return kExitFailure;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file;
    std::optional<std::string> csv;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--csv") {
            if (i + 1 >= args.size()) return Usage(err, "--csv needs a file name");
            csv = args[++i];
        } else if (file.empty() && (args[i] == "-" || args[i].rfind("-", 0) != 0)) {
            file = args[i];
        } else {
            return Usage(err, "unexpected argument '" + args[i] + "'");
        }
    }
    if (file.empty()) return Usage(err, "build needs a project file");

    std::optional<LoadedProject> loaded = ReadProject(file, err);
    if (!loaded) return kExitFailure;
    Project& project = loaded->project;

    const BuildResult result = BuildAnimation(project);
    if (result.outcome == BuildOutcome::NothingToCompile) {
        err << file << ": " << result.error.title << ": " << result.error.message << '\n';
        return kExitCompileError;
    }
    if (result.outcome == BuildOutcome::Failed) {
        const CompileError& e = result.error;
        const auto [line, column] = FileLocation(project.Programs[e.servo], loaded->load.programSources[e.servo], e.Start);
        err << file << ':' << line << ':' << column << ": " << e.title << ": " << e.message << " (servo " << e.servo + 1
            << " \"" << project.Servos[e.servo].Name << "\")\n";
        return kExitCompileError;
    }

    if (csv) {
        if (*csv == "-") {
            WriteCsv(project.Frames, out);
            out.flush();
        } else {
            std::ofstream stream(*csv, std::ios::binary | std::ios::trunc);
            if (stream) WriteCsv(project.Frames, stream);
            stream.close();
            if (!stream) {
                err << "kestrova-cli: could not write " << *csv << '\n';
                return kExitFailure;
            }
        }
    }
    return kExitOk;
}

int Rewrite(const std::vector<std::string>& args, std::ostream& err) {
    std::string file;
    std::string output;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "-o") {
            if (i + 1 >= args.size()) return Usage(err, "-o needs a file name");
            output = args[++i];
        } else if (file.empty() && args[i].rfind("-", 0) != 0) {
            file = args[i];
        } else {
            return Usage(err, "unexpected argument '" + args[i] + "'");
        }
    }
    if (file.empty() || output.empty()) return Usage(err, "rewrite needs a project file and -o OUT");

    std::optional<LoadedProject> loaded = ReadProject(file, err);
    if (!loaded) return kExitFailure;
    std::string reason;
    if (!WriteFileSafely(output, SaveText(loaded->project), reason)) {
        err << "Save Error: The animation could not be saved to " << output << ": " << reason << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return Usage(err, "no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return kExitOk;
    }
    if (command == "--version") {
        out << "kestrova-cli " << KESTROVA_VERSION << '\n';
        return kExitOk;
    }
    if (command == "build") return Build(args, out, err);
    if (command == "rewrite") return Rewrite(args, err);
    return Usage(err, "unknown command '" + command + "'");
}

}  // namespace kestrova::cli
