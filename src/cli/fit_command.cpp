#include "fit_command.h"

#include "cli.h"
#include "cli_support.h"
#include "core/fitter.h"
#include "core/frame_table.h"
#include "core/numeric_text.h"
#include "core/project.h"

#include <fstream>
#include <iostream>
#include <optional>

namespace kestrova::cli {

namespace {

// A line of the frame table's layout holds 18 numbers; anything far longer
// is not a trace, and is not read into memory whole.
constexpr size_t kLongestLine = 4096;

struct TraceReader {
    std::istream& in;
    std::string name;
    std::optional<int> servo;  // from 1; nothing: one value per line
    std::ostream& err;

    int Fail(size_t line, const std::string& problem) const {
        err << Printable(name) << ':' << line << ": Trace Error: " << problem << '\n';
        return kExitFailure;
    }

    // Reads one line into `line` (without its CR LF or LF); false at the end,
    // or with `tooLong` set when the line has no end in sight.
    bool ReadLine(std::string& line, bool& tooLong) const {
        line.clear();
        tooLong = false;
        char c;
        bool any = false;
        while (in.get(c)) {
            any = true;
            if (c == '\n') break;
            if (line.size() == kLongestLine) return tooLong = true;
            line.push_back(c);
        }
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return any;
    }

    // The positions, the first being frame 1. Returns an exit code.
    int Read(std::vector<int32_t>& positions) const {
        std::string line;
        bool tooLong = false;
        for (size_t number = 1; ReadLine(line, tooLong); ++number) {
            if (tooLong) return Fail(number, "the line is longer than " + std::to_string(kLongestLine) + " characters.");
            std::vector<std::string_view> fields;
            for (size_t at = 0;;) {
                const size_t comma = line.find(',', at);
                std::string_view field = std::string_view(line).substr(at, comma - at);
                while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
                while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
                fields.push_back(field);
                if (comma == std::string::npos) break;
                at = comma + 1;
            }
            if (fields.size() == 1 && fields[0].empty()) continue;
            // A heading line of names comes first, if at all.
            if (positions.empty() && number == 1 && !IsNumeric(fields[0])) continue;
            const size_t column = servo ? static_cast<size_t>(*servo) : 0;
            if (!servo && fields.size() > 1) {
                return Fail(number, "the line holds " + std::to_string(fields.size()) +
                                        " values; name the servo whose column to read with --servo N.");
            }
            if (column >= fields.size()) {
                return Fail(number, "the line has no column for servo " + std::to_string(*servo) + ".");
            }
            const std::optional<int32_t> value = ToInt32(fields[column]);
            if (!value) return Fail(number, "\"" + Printable(fields[column]) + "\" is not a position.");
            if (positions.size() == static_cast<size_t>(kMaxFrames)) {
                return Fail(number, "the trace is longer than 1,000,000 frames.");
            }
            positions.push_back(*value);
        }
        if (in.bad()) {
            err << "Open Error: The trace " << Printable(name) << " could not be read.\n";
            return kExitFailure;
        }
        if (positions.empty()) return Fail(1, "the trace holds no position.");
        return kExitOk;
    }
};

}  // namespace

int Fit(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::string file;
    std::optional<int> servo;
    FitOptions options;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--tolerance" || a == "--servo") {
            // -1 stands for a missing or unreadable number: neither option takes it.
            const int32_t value = (i + 1 < args.size() ? ToInt32(args[++i]) : std::nullopt).value_or(-1);
            if (a == "--tolerance") {
                if (value < 0 || value > 10) return Usage(err, "--tolerance takes a whole number from 0 to 10");
                options.tolerance = value;
            } else {
                if (value < 1 || value > kServoCount) return Usage(err, "--servo takes a servo from 1 to 16");
                servo = value;
            }
        } else if (file.empty() && (a == "-" || a.rfind("-", 0) != 0)) {
            file = a;
        } else {
            return Usage(err, "unexpected argument '" + a + "'");
        }
    }
    if (file.empty()) return Usage(err, "fit needs a trace file ('-' is standard input)");

    std::ifstream stream;
    if (file != "-") {
        stream.open(file, std::ios::binary);
        if (!stream) {
            err << "Open Error: The trace " << Printable(file) << " could not be opened.\n";
            return kExitFailure;
        }
    }
    std::vector<int32_t> positions;
    const TraceReader reader{file == "-" ? std::cin : stream, file, servo, err};
    if (const int code = reader.Read(positions); code != kExitOk) return code;

    const std::span<const int32_t> trace(positions.data() + 1, positions.size() - 1);
    std::string text;
    for (const std::string& line : FitLines(trace, positions[0], options)) text += line + kLineBreak;
    out << text;
    out.flush();
    return out ? kExitOk : kExitFailure;
}

}  // namespace kestrova::cli
