#include "export_command.h"

#include "cli.h"
#include "cli_support.h"
#include "export/arduino_sketch.h"

#include <charconv>
#include <filesystem>
#include <iostream>

namespace kestrova::cli {

namespace {

bool ReadNumber(const std::string& text, int& value) {
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && result.ec == std::errc() && result.ptr == text.data() + text.size();
}

}  // namespace

int Export(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file;
    std::string dir;
    ExportOptions options;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool takesValue = arg == "--arduino" || arg == "--mode" || arg == "--fps" || arg == "--trigger" ||
                                arg == "--channels" || arg == "--pulse";
        if (takesValue && i + 1 >= args.size()) return Usage(err, arg + " needs a value");
        std::string problem;
        if (arg == "--arduino") {
            dir = args[++i];
        } else if (arg == "--mode") {
            const std::string& mode = args[++i];
            if (mode == "ssc") options.mode = ExportMode::Ssc;
            else if (mode == "pca9685") options.mode = ExportMode::Pca9685;
            else return Usage(err, "--mode takes ssc or pca9685");
        } else if (arg == "--fps") {
            if (!ReadNumber(args[++i], options.fps) || options.fps < 1 || options.fps > 30)
                return Usage(err, "--fps takes 1 to 30");
        } else if (arg == "--trigger") {
            if (!ReadNumber(args[++i], options.triggerPin)) return Usage(err, "--trigger takes a pin number");
        } else if (arg == "--channels") {
            if (!ParseChannels(args[++i], options.channels, problem)) return Usage(err, problem);
        } else if (arg == "--pulse") {
            if (!ParsePulse(args[++i], options.minPulseUs, options.maxPulseUs, problem)) return Usage(err, problem);
        } else if (arg == "--loop") {
            options.loop = true;
        } else if (file.empty() && arg.rfind("-", 0) != 0) {
            file = arg;
        } else {
            return Usage(err, "unexpected argument '" + arg + "'");
        }
    }
    if (file.empty() || dir.empty()) return Usage(err, "export needs a project file and --arduino DIR");
    if (const std::string problem = CheckOptions(options); !problem.empty()) return Usage(err, problem);

    std::optional<LoadedProject> loaded = ReadProject(file, err);
    if (!loaded) return kExitFailure;
    const int built = BuildProject(*loaded, file, err);
    if (built != kExitOk) return built;

    const SketchReport report =
        ExportArduinoSketch(loaded->project, options, dir, std::filesystem::path(file).filename().string());
    if (!report.ok) {
        err << "Export Error: " << Printable(report.error) << '\n';
        return kExitFailure;
    }
    out << Printable(SketchSummary(report, dir), true);
    return kExitOk;
}

}  // namespace kestrova::cli
