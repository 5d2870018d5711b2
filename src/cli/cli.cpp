#include "cli.h"

#include "cli_support.h"
#include "files/kva_writer.h"
#include "files/safe_file.h"
#include "export_command.h"
#include "fit_command.h"
#include "jaw_command.h"
#include "monitor_command.h"
#include "play_commands.h"
#include "run_command.h"

#include <charconv>
#include <iostream>
#include <optional>

#include <sys/stat.h>

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace kestrova::cli {

namespace {

// The frame table as comma-separated values, one line per frame.
std::string CsvText(const FrameTable& frames) {
    std::string text = "frame";
    for (int s = 1; s <= kServoCount; ++s) text += ",servo" + std::to_string(s);
    text += ",wav\n";
    text.reserve(text.size() + static_cast<size_t>(frames.UpperBound()) * (4 * (kFrameSlots + 1) + 8));
    char number[16];
    auto put = [&](int32_t value) {
        auto result = std::to_chars(number, number + sizeof number, value);
        text.append(number, result.ptr);
    };
    for (int32_t f = 1; f <= frames.UpperBound(); ++f) {
        put(f);
        const auto frame = frames[f];
        for (int slot = 0; slot < kFrameSlots; ++slot) {
            text.push_back(',');
            put(frame[slot]);
        }
        text.push_back('\n');
    }
    return text;
}

// Both paths name the same existing file (through links too).
bool SameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

int Build(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file;
    std::optional<std::string> csv;
    for (size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--csv") {
            if (i + 1 >= args.size()) return Usage(err, "--csv needs a file name");
            csv = args[++i];
        } else if (file.empty() && args[i].rfind("-", 0) != 0) {
            file = args[i];
        } else {
            return Usage(err, "unexpected argument '" + args[i] + "'");
        }
    }
    if (file.empty()) return Usage(err, "build needs a project file");

    std::optional<LoadedProject> loaded = ReadProject(file, err);
    if (!loaded) return kExitFailure;
    const int built = BuildProject(*loaded, file, err);
    if (built != kExitOk || !csv) return built;

    const std::string text = CsvText(loaded->project.Frames);
    if (*csv == "-") {
        out.write(text.data(), static_cast<std::streamsize>(text.size()));
        out.flush();
        return out ? kExitOk : kExitFailure;
    }
    std::string reason;
    if (SameFile(file, *csv)) {
        reason = "It is the project file itself";
    } else if (WriteFileSafely(*csv, text, reason)) {
        return kExitOk;
    }
    err << "Save Error: The frame table could not be written to " << Printable(*csv) << ": " << reason << '\n';
    return kExitFailure;
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
    std::string text;
    std::string reason;
    if (!ComposeProjectFile(loaded->project, text, reason) || !WriteFileSafely(output, text, reason)) {
        err << "Save Error: The animation could not be saved to " << Printable(output) << ": " << reason << '\n';
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace

int Run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) return Usage(err, "no command given");
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << UsageText();
        return kExitOk;
    }
    if (command == "--version") {
        out << "kestrova-cli " << KESTROVA_VERSION << '\n';
        return kExitOk;
    }
    if (command == "build") return Build(args, out, err);
    if (command == "rewrite") return Rewrite(args, err);
    if (command == "play") return Play(args, out, err);
    if (command == "run") return RunShow(args, out, err);
    if (command == "export") return Export(args, out, err);
    if (command == "send") return Send(args, out, err);
    if (command == "ports" && args.size() == 1) return Ports(out);
    if (command == "jaw") return Jaw(args, out, err);
    if (command == "fit") return Fit(args, out, err);
    if (command == "monitor") return Monitor(args, out, err);
    return Usage(err, "unknown command '" + command + "'");
}

}  // namespace kestrova::cli
