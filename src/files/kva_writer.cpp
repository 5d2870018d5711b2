#include "kva_writer.h"

#include "controller_keys.h"
#include "line_breaks.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

namespace kestrova {

namespace {

constexpr std::string_view kCrLf = "\r\n";

void AppendNumber(std::string& out, int32_t value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

// prefix number key, as in "Servo" 3 ".Home=" or "WAV" 1 ".Path=".
void AppendKey(std::string& out, std::string_view prefix, int32_t number, std::string_view key) {
    out += prefix;
    AppendNumber(out, number);
    out += key;
}

void AppendLine(std::string& out, std::string_view value) {
    out += value;
    out += kCrLf;
}

void AppendLine(std::string& out, int32_t value) {
    AppendNumber(out, value);
    out += kCrLf;
}

// The program text with every line break (CR LF, lone CR, lone LF) written
// as CR LF, then a line break unless the text already ends with one.
void AppendProgram(std::string& out, std::string_view program) {
    const char* data = program.data();
    const size_t size = program.size();
    LineBreakScanner lines(program);
    size_t start = 0;
    while (start < size) {
        const LineBreakScanner::Line line = lines.Scan(start);
        out.append(data + start, line.end - start);
        if (line.last) break;
        out += kCrLf;
        start = line.next;
    }
    const bool endsWithBreak = size != 0 && (program.back() == '\r' || program.back() == '\n');
    if (!endsWithBreak) out += kCrLf;
}

// The program after its opening "ServoN.Program=[", which carries its first
// line. A first line ending with "]" would read back as the whole program:
// when it is the only line it is written so, whole on the opening line,
// which reads back exactly; before other lines it gets a space after it.
void AppendProgramBlock(std::string& out, std::string_view program) {
    const size_t firstEnd = std::min(program.find_first_of("\r\n"), program.size());
    if (firstEnd == 0 || program[firstEnd - 1] != ']') return AppendProgram(out, program);
    const std::string_view rest = program.substr(firstEnd);
    out.append(program.substr(0, firstEnd));
    if (rest.empty() || rest == "\r\n" || rest == "\r" || rest == "\n") return;
    out += ' ';
    AppendProgram(out, rest);
}

}  // namespace

std::string SaveText(const Project& project) {
    size_t size = 512;
    for (int i = 0; i < kServoCount; ++i) {
        // Room for lone line ends that grow to CR LF in typical texts.
        size += 128 + project.Servos[i].Name.size() + project.Programs[i].size() + project.Programs[i].size() / 32;
    }
    for (const WavCue& cue : project.WavCues) size += 64 + cue.Path.size();
    std::string out;
    out.reserve(size);

    const ProjectSettings& settings = project.Settings;
    out += "KVSL=1.0\r\n";
    out += "Settings.AutoDisable=";
    AppendLine(out, settings.AutoDisable);
    out += "Settings.BaudRate=";
    AppendLine(out, settings.BaudRate);
    out += "Settings.COMPort=";
    AppendLine(out, settings.COMPort);
    AppendControllerSettings(out, settings);
    out += "Settings.SSCMode=";
    AppendLine(out, settings.SSCMode);
    out += "Settings.SynchByte=";
    AppendLine(out, settings.SynchByte);
    out += "Settings.SystemPriority=";
    AppendLine(out, settings.SystemPriority);
    out += kCrLf;

    for (int32_t n = 1; n <= kServoCount; ++n) {
        const ServoRecord& servo = project.Servos[n - 1];
        AppendKey(out, "Servo", n, ".Name=");
        AppendLine(out, servo.Name);
        AppendKey(out, "Servo", n, ".Home=");
        AppendLine(out, servo.Home);
        AppendKey(out, "Servo", n, ".Min=");
        AppendLine(out, servo.Min);
        AppendKey(out, "Servo", n, ".Max=");
        AppendLine(out, servo.Max);
        AppendKey(out, "Servo", n, ".Enabled=");
        AppendLine(out, servo.Enabled ? "True" : "False");
        // Only set caps are written, so a project without any saves as it always did.
        if (servo.MaxSpeed != 0) {
            AppendKey(out, "Servo", n, ".MaxSpeed=");
            AppendLine(out, servo.MaxSpeed);
        }
        if (servo.MaxAccel != 0) {
            AppendKey(out, "Servo", n, ".MaxAccel=");
            AppendLine(out, servo.MaxAccel);
        }
        AppendControllerServoKeys(out, n, servo);
        AppendKey(out, "Servo", n, ".Program=[");
        AppendProgramBlock(out, project.Programs[n - 1]);
        out += "]\r\n\r\n";
    }

    for (int32_t k = 1; k <= UpperBound(project.WavCues); ++k) {
        const WavCue& cue = project.WavCues[static_cast<size_t>(k)];
        AppendKey(out, "WAV", k, ".Start=");
        AppendLine(out, cue.Start);
        AppendKey(out, "WAV", k, ".End=");
        AppendLine(out, cue.End);
        AppendKey(out, "WAV", k, ".Path=");
        AppendLine(out, cue.Path);
        out += kCrLf;
    }
    return out;
}

namespace {

std::string Quoted(const std::string& name) { return name.empty() ? std::string() : " (\"" + name + "\")"; }

bool HasLineBreak(std::string_view text) { return text.find_first_of("\r\n") != std::string_view::npos; }

// The first program line the reader would not give back: 0 when none, else
// the number of a line after the first that is "]".
size_t UnsavableLine(std::string_view program) {
    const size_t firstEnd = std::min(program.find_first_of("\r\n"), program.size());
    // Only a "]" can make a line unsavable, so the bytes between brackets
    // are skipped; lines are counted as the writer breaks them.
    size_t line = 1;
    size_t counted = 0;  // line breaks before `counted` are in `line`
    for (size_t at = program.find(']', firstEnd); at != std::string_view::npos; at = program.find(']', at + 1)) {
        const bool alone = at > 0 && (program[at - 1] == '\r' || program[at - 1] == '\n') &&
                           (at + 1 == program.size() || program[at + 1] == '\r' || program[at + 1] == '\n');
        if (!alone) continue;
        for (; counted < at; ++counted) {
            const char c = program[counted];
            if (c == '\n' || (c == '\r' && !(counted + 1 < program.size() && program[counted + 1] == '\n'))) ++line;
        }
        return line;
    }
    return 0;
}

}  // namespace

std::string UnsavableContent(const Project& project) {
    for (int i = 0; i < kServoCount; ++i) {
        const std::string servo = "servo " + std::to_string(i + 1) + Quoted(project.Servos[i].Name);
        const size_t line = UnsavableLine(project.Programs[i]);
        if (line > 1) {
            return "Line " + std::to_string(line) + " of the program of " + servo +
                   " is just \"]\", which would end the program there when the file is opened again. "
                   "Change or remove that line.";
        }
        if (HasLineBreak(project.Servos[i].Name)) {
            return "The name of servo " + std::to_string(i + 1) + " holds a line break, which a project file cannot.";
        }
    }
    for (int32_t k = 1; k <= UpperBound(project.WavCues); ++k) {
        if (HasLineBreak(project.WavCues[static_cast<size_t>(k)].Path)) {
            return "The path of sound cue " + std::to_string(k) + " holds a line break, which a project file cannot.";
        }
    }
    return {};
}

bool ComposeProjectFile(const Project& project, std::string& text, std::string& problem, size_t limit) {
    problem = UnsavableContent(project);
    if (!problem.empty()) return false;
    const auto tooLarge = [&](size_t bytes) {
        problem = "The file would take " + std::to_string((bytes + (1u << 20) - 1) >> 20) + " MB, more than the " +
                  std::to_string(limit >> 20) + " MB a project file may hold.";
        return false;
    };
    // The texts alone can show that the file is too large, before any of it
    // is put together.
    size_t least = 0;
    for (int i = 0; i < kServoCount; ++i) least += project.Servos[i].Name.size() + project.Programs[i].size();
    for (const WavCue& cue : project.WavCues) least += cue.Path.size();
    if (least > limit) return tooLarge(least);
    std::string composed = SaveText(project);
    if (composed.size() > limit) return tooLarge(composed.size());
    text = std::move(composed);
    return true;
}

}  // namespace kestrova
