#include "jaw_command.h"

#include "audio/mouth_moves.h"
#include "cli.h"
#include "cli_support.h"
#include "core/numeric_text.h"

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <optional>

namespace kestrova::cli {

namespace {

std::optional<int32_t> WholeNumber(const std::vector<std::string>& args, size_t& i) {
    if (i + 1 >= args.size()) return std::nullopt;
    return ToInt32(args[++i]);
}

std::optional<double> RealNumber(const std::vector<std::string>& args, size_t& i) {
    if (i + 1 >= args.size()) return std::nullopt;
    const std::string& text = args[++i];
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

}  // namespace

int Jaw(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string sound;
    std::optional<int32_t> fps, closed, open, smooth, lead, start;
    std::optional<double> threshold;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::optional<int32_t>* whole = a == "--fps"      ? &fps
                                        : a == "--closed" ? &closed
                                        : a == "--open"   ? &open
                                        : a == "--smooth" ? &smooth
                                        : a == "--lead"   ? &lead
                                        : a == "--start"  ? &start
                                                          : nullptr;
        if (whole) {
            *whole = WholeNumber(args, i);
            if (!*whole) return Usage(err, a + " needs a whole number");
        } else if (a == "--threshold") {
            threshold = RealNumber(args, i);
            if (!threshold) return Usage(err, "--threshold needs a number (percent)");
        } else if (sound.empty() && a.rfind("-", 0) != 0) {
            sound = a;
        } else {
            return Usage(err, "unexpected argument '" + a + "'");
        }
    }
    if (sound.empty() || !fps || !closed || !open) return Usage(err, "jaw needs SOUND, --fps, --closed and --open");

    audio::MouthOptions options;
    options.framesPerSecond = *fps;
    options.closed = *closed;
    options.open = *open;
    options.thresholdPercent = threshold.value_or(options.thresholdPercent);
    options.smooth = smooth.value_or(options.smooth);
    options.lead = lead.value_or(options.lead);
    options.start = start.value_or(options.start);
    // The text begins a program: frame 1, the servo resting closed.
    options.from = options.closed;
    if (const std::string problem = audio::CheckMouthOptions(options); !problem.empty())
        return Usage(err, problem);

    std::string text, error;
    if (!audio::GenerateMouthMoves(sound, options, text, error)) {
        err << "Sound Error: " << Printable(sound) << " could not be read: " << Printable(error) << '\n';
        return kExitFailure;
    }
    out << text;
    out.flush();
    return kExitOk;
}

}  // namespace kestrova::cli
