#include "cli.h"

#include "cli_support.h"
#include "files/kva_writer.h"
#include "files/safe_file.h"
#include "export_command.h"
#include "play_commands.h"

#include <charconv>
#include <fstream>
#include <iostream>
#include <optional>

#ifndef KESTROVA_VERSION
#define KESTROVA_VERSION "0.0.0"
#endif

namespace kestrova::cli {

namespace {

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
        const auto frame = frames[f];
        for (int slot = 0; slot < kFrameSlots; ++slot) {
            buffer.push_back(',');
            put(frame[slot]);
        }
        buffer.push_back('\n');
        if (buffer.size() > (1 << 16) - 256) {
            out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
            buffer.clear();
        }
    }
    out.write(buffer.data(), static_cast<std::streamsize>(buffer.size()));
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

    if (*csv == "-") {
        WriteCsv(loaded->project.Frames, out);
        out.flush();
        return kExitOk;
    }
    std::ofstream stream(*csv, std::ios::binary | std::ios::trunc);
    if (stream) WriteCsv(loaded->project.Frames, stream);
    stream.close();
    if (!stream) {
        err << "kestrova-cli: could not write " << *csv << '\n';
        return kExitFailure;
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
    if (command == "export") return Export(args, out, err);
    if (command == "send") return Send(args, out, err);
    if (command == "ports" && args.size() == 1) return Ports(out);
    return Usage(err, "unknown command '" + command + "'");
}

}  // namespace kestrova::cli
