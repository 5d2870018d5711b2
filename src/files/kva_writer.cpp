#include "kva_writer.h"

#include "line_breaks.h"

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
        AppendKey(out, "Servo", n, ".Program=[");
        AppendProgram(out, project.Programs[n - 1]);
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

}  // namespace kestrova
