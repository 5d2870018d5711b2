#include "kva_reader.h"

#include "controller_keys.h"
#include "core/messages.h"
#include "core/numeric_text.h"
#include "core/servo_caps.h"
#include "core/text.h"
#include "line_breaks.h"
#include "text_encoding.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>

namespace kestrova {

namespace {

// The highest WAV cue number a file may use; keeps a corrupt file from
// growing the cue list without bound.
constexpr int32_t kMaxWavCueNumber = 10'000;

// Bit 7 set in every byte of v that equals c, nothing else.
uint64_t BytesEqual(uint64_t v, unsigned char c) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Full;
    const uint64_t x = v ^ (0x0101010101010101ull * c);
    // A byte of x is zero exactly when adding 0x7F to its low seven bits
    // leaves bit 7 clear and its own bit 7 is clear; no carry crosses bytes.
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Counts the lines of a text fed to it in pieces, as long as every line
// ends with CR LF: every CR is followed by LF, every LF follows a CR.
// Eight bytes at a time.
class CrLfLineCounter {
public:
    // False as soon as a line end other than CR LF is seen.
    bool Feed(std::string_view piece) {
        const auto* s = reinterpret_cast<const unsigned char*>(piece.data());
        const size_t n = piece.size();
        size_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            uint64_t carry = afterCr_ ? 0x80 : 0;  // bit 7: the byte before this word is CR
            for (; i + 8 <= n; i += 8) {
                uint64_t v;
                std::memcpy(&v, s + i, 8);
                const uint64_t cr = BytesEqual(v, '\r');
                const uint64_t lf = BytesEqual(v, '\n');
                if (lf != ((cr << 8) | carry)) return false;
                carry = cr >> 56;
                // One bit per LF byte, summed over the eight bytes.
                lines_ += static_cast<int64_t>(((lf >> 7) * 0x0101010101010101ull) >> 56);
            }
            afterCr_ = carry != 0;
        }
        for (; i < n; ++i) {
            const bool isLf = s[i] == '\n';
            if (isLf != afterCr_) return false;
            afterCr_ = s[i] == '\r';
            lines_ += isLf;
        }
        return true;
    }

    // The text fed so far does not end inside a CR LF.
    bool Complete() const { return !afterCr_; }
    int64_t Lines() const { return lines_; }

private:
    bool afterCr_ = false;
    int64_t lines_ = 0;
};

// Walks the lines of a text in order. A line ends at CR LF, a lone LF or a
// lone CR. A text that ends with a line end has one last, empty line after
// it; an empty text has no lines at all.
class LineCursor {
public:
    explicit LineCursor(std::string_view text) : text_(text), done_(text.empty()), scanner_(text) {}

    // True while another line follows the current one.
    bool HasNext() const { return !done_; }

    // The next line; only while HasNext().
    std::string_view Next() {
        if (number_ < INT32_MAX) ++number_;
        const size_t start = pos_;
        const LineBreakScanner::Line line = scanner_.Scan(start);
        endedWithCrLf_ = line.crLf;
        pos_ = line.next;
        done_ = line.last;
        return text_.substr(start, line.end - start);
    }

    // The line Next() returned last ended with CR LF (not a lone CR or LF,
    // nor the end of the text).
    bool EndedWithCrLf() const { return endedWithCrLf_; }

    // Finds the lines up to the next line that is exactly "]" and checks
    // that every one of them ends with CR LF; those lines and the "]" line
    // are then consumed and `end` is the offset just behind the last of
    // them. Otherwise nothing is consumed and the result is false. A long
    // program block is so read in two fast passes rather than line by line.
    bool TakeCrLfBlock(size_t& end) {
        if (done_) return false;
        const char* data = text_.data();
        const size_t size = text_.size();
        size_t closing = pos_;
        for (;;) {
            const void* bracket = std::memchr(data + closing, ']', size - closing);
            if (!bracket) return false;
            closing = static_cast<size_t>(static_cast<const char*>(bracket) - data);
            const bool atLineStart = closing == pos_ || data[closing - 1] == '\n' || data[closing - 1] == '\r';
            const bool atLineEnd = closing + 1 == size || data[closing + 1] == '\r' || data[closing + 1] == '\n';
            if (atLineStart && atLineEnd) break;
            ++closing;
        }
        CrLfLineCounter counter;
        if (!counter.Feed(text_.substr(pos_, closing - pos_)) || !counter.Complete()) return false;
        number_ = static_cast<int32_t>(std::min<int64_t>(number_ + counter.Lines(), INT32_MAX));
        end = closing;
        pos_ = closing;
        Next();  // the "]" line
        return true;
    }

    // 1-based number of the line Next() returned last.
    int32_t Number() const { return number_; }

    std::string_view Text() const { return text_; }

private:
    std::string_view text_;
    size_t pos_ = 0;
    bool done_;
    int32_t number_ = 0;
    LineBreakScanner scanner_;
    bool endedWithCrLf_ = false;
};

// The byte index `characters` characters after byte index `from` (UTF-8);
// the end of the line when it has fewer. Positions within a line count
// characters, not bytes, so a name holding "é" is never cut inside it.
size_t CharactersAfter(std::string_view line, size_t from, size_t characters) {
    size_t i = from;
    while (characters > 0 && i < line.size()) {
        ++i;
        while (i < line.size() && IsUtf8ContinuationByte(line[i])) ++i;
        --characters;
    }
    return i;
}

// The text from `characters` characters after byte index `from` to the end.
std::string_view From(std::string_view line, size_t from, size_t characters) {
    return line.substr(CharactersAfter(line, from, characters));
}

bool StartsWith(std::string_view line, std::string_view prefix) {
    return line.substr(0, prefix.size()) == prefix;
}

// The line matches "Servo*" key "*" (for example "Servo*.Home=*"). The
// writer puts a program's first line on its opening line, so a line that
// opens a program ("ServoN.Program=[") is a program's whatever its rest
// holds: a comment there may well mention ".Max=".
bool MatchesServoKey(std::string_view line, std::string_view key) {
    constexpr std::string_view kOpensProgram = ".Program=[";
    const size_t dot = line.find('.');
    if (key != kOpensProgram && dot != std::string_view::npos && line.substr(dot, kOpensProgram.size()) == kOpensProgram)
        return false;
    return line.find(key, 5) != std::string_view::npos;
}

// The messages one load keeps; the rest are counted and summed up at its
// end, so a file with a million bad values asks for a few answers, not a
// million.
constexpr size_t kShownLoadMessages = 5;

class LoadMessages {
public:
    void Add(Message message) {
        if (kept_.size() < kShownLoadMessages) {
            kept_.push_back(std::move(message));
        } else {
            ++more_;
        }
    }

    // The messages kept, then one for everything not kept.
    std::vector<Message> Take() {
        if (more_ > 0) {
            std::string count = std::to_string(more_);
            for (size_t at = count.size(); at > 3;) count.insert(at -= 3, ",");
            kept_.push_back(Message{"\u2026 and " + count + " more problems of the file were repaired in the same way.",
                                    "Load Repairs", MessageIcon::Information, MessageButtons::Ok});
            more_ = 0;
        }
        return std::move(kept_);
    }

private:
    std::vector<Message> kept_;
    int64_t more_ = 0;
};

Message RepairMessage(int32_t servoNumber, const char* key, const char* value) {
    return Message{"Servo #" + std::to_string(servoNumber) + " had an invalid \"" + key +
                            "\" value.  It will be set to " + value + ".",
                        std::string("Invalid ") + key + " Value", MessageIcon::Information, MessageButtons::Ok};
}

// Home, Min and Max: a numeric text without a decimal point.
std::optional<int32_t> PositionValue(std::string_view value) {
    if (value.find('.') != std::string_view::npos) return std::nullopt;
    return ToInt32(value);
}

// The servo number of a servo line: numeric, rounding to 1 to 16.
std::optional<int32_t> ServoNumber(std::string_view text) {
    const std::optional<int32_t> n = ToInt32(text);
    if (!n || *n < 1 || *n > kServoCount) return std::nullopt;
    return n;
}

// The cue number of a WAV line: a whole number from 1 to kMaxWavCueNumber.
std::optional<int32_t> WavCueNumber(std::string_view text) {
    const std::optional<double> k = ParseNumber(text);
    if (!k || *k != std::floor(*k) || *k < 1 || *k > kMaxWavCueNumber) return std::nullopt;
    return static_cast<int32_t>(*k);
}

// A program as read: a range of the file's own text when its lines all end
// with CR LF (copied once, into its place, when the whole load succeeded),
// else a text put together line by line.
struct ProgramText {
    std::string_view range;
    std::string built;
    bool inRange = false;
};

struct WorkingCopies {
    // A servo whose lines are missing keeps the values of a new project, so
    // that a partial file never gives a slider the range 0 to 0.
    std::array<ServoRecord, kServoCount> servos = NewProjectServos();
    std::array<ProgramText, kServoCount> programs{};
    WavCueList cues = WavCueList(1);
    std::array<ProgramSource, kServoCount> sources{};
    // Some line was one of the format's own: a version line or a known key.
    bool recognised = false;
    LoadMessages messages;
};

// A servo line ("Servo" N "." ...); p is the index of its first ".". Returns
// false when the load fails (a program without its closing line).
bool ReadServoLine(std::string_view line, size_t p, LineCursor& lines, WorkingCopies& work) {
    // A line that matches none of the keys is ignored; so is one whose
    // servo number is out of range.
    const auto servoNumber = [&] {
        const std::optional<int32_t> n = ServoNumber(line.substr(5, p - 5));
        if (n) work.recognised = true;
        return n;
    };

    if (MatchesServoKey(line, ".Name=")) {
        if (const auto n = servoNumber()) work.servos[*n - 1].Name = std::string(From(line, p, 6));
    } else if (MatchesServoKey(line, ".Home=")) {
        if (const auto n = servoNumber()) {
            const auto value = PositionValue(From(line, p, 6));
            if (!value) work.messages.Add(RepairMessage(*n, "Home", "127"));
            work.servos[*n - 1].Home = value.value_or(127);
        }
    } else if (MatchesServoKey(line, ".Min=")) {
        if (const auto n = servoNumber()) {
            const auto value = PositionValue(From(line, p, 5));
            if (!value) work.messages.Add(RepairMessage(*n, "Min", "0"));
            work.servos[*n - 1].Min = value.value_or(0);
        }
    } else if (MatchesServoKey(line, ".Max=")) {
        if (const auto n = servoNumber()) {
            const auto value = PositionValue(From(line, p, 5));
            if (!value) work.messages.Add(RepairMessage(*n, "Max", "254"));
            work.servos[*n - 1].Max = value.value_or(254);
        }
    } else if (MatchesServoKey(line, ".MaxSpeed=") || MatchesServoKey(line, ".MaxAccel=")) {
        if (const auto n = servoNumber()) {
            const bool speed = MatchesServoKey(line, ".MaxSpeed=");
            const auto value = CapFromText(From(line, p, 10));
            if (!value) work.messages.Add(RepairMessage(*n, speed ? "MaxSpeed" : "MaxAccel", "0"));
            (speed ? work.servos[*n - 1].MaxSpeed : work.servos[*n - 1].MaxAccel) = value.value_or(0);
        }
    } else if (MatchesServoKey(line, ".Enabled=")) {
        if (const auto n = servoNumber()) {
            const std::string_view value = From(line, p, 9);
            const bool valid = value == "True" || value == "False";
            if (!valid) work.messages.Add(RepairMessage(*n, "Enabled", "True"));
            work.servos[*n - 1].Enabled = !valid || value == "True";
        }
    } else if (MatchesServoKey(line, ".Program=[")) {
        const auto n = servoNumber();
        if (!n) return true;
        const size_t firstAt = CharactersAfter(line, p, 10);
        const std::string_view first = line.substr(firstAt);
        const ProgramSource source{lines.Number(), Utf8CharacterCount(line.substr(0, firstAt)) + 1};
        ProgramText program;
        size_t end = 0;
        if (!first.empty() && first.back() == ']') {
            // The whole program on the opening line: "Servo1.Program=[Wait 5]".
            const std::string_view body = first.substr(0, first.size() - 1);
            if (!body.empty()) {
                program.built.assign(body);
                program.built += kLineBreak;
            }
        } else if (lines.EndedWithCrLf() && lines.TakeCrLfBlock(end)) {
            // Written with CR LF throughout: the program is the file's own
            // text from the opening line's rest to the closing line.
            const size_t from = static_cast<size_t>(first.data() - lines.Text().data());
            program.range = lines.Text().substr(from, end - from);
            program.inRange = true;
        } else {
            program.built.assign(first);
            program.built += kLineBreak;
            for (;;) {
                if (!lines.HasNext()) return false;
                const std::string_view next = lines.Next();
                if (next == "]") break;
                program.built.append(next);
                program.built += kLineBreak;
            }
        }
        work.programs[*n - 1] = std::move(program);
        work.sources[*n - 1] = source;
    } else if (const size_t equals = line.find('=', p); equals != std::string_view::npos) {
        const auto n = ServoNumber(line.substr(5, p - 5));
        std::optional<Message> repair;
        if (n && ReadControllerServoKey(line.substr(p + 1, equals - p - 1), line.substr(equals + 1), *n,
                                        work.servos[*n - 1], repair)) {
            work.recognised = true;
            if (repair) work.messages.Add(std::move(*repair));
        }
    }
    return true;
}

// A settings line ("Settings" ... "." key "=" value); p is the index of its
// first ".". The value goes straight into the project's settings.
// Returns whether the key was one of the settings.
bool ReadSettingsLine(std::string_view line, size_t p, ProjectSettings& settings) {
    const size_t equals = line.find('=', p + 1);
    if (equals == std::string_view::npos) return false;
    const std::string_view key = line.substr(p + 1, equals - p - 1);
    const std::optional<int32_t> value = ToInt32(line.substr(equals + 1));
    if (!value) return false;
    if (key == "AutoDisable") {
        settings.AutoDisable = *value;
    } else if (key == "BaudRate") {
        settings.BaudRate = *value;
    } else if (key == "COMPort") {
        settings.COMPort = *value;
    } else if (key == "SSCMode") {
        settings.SSCMode = *value;
    } else if (key == "SynchByte") {
        settings.SynchByte = *value;
    } else if (key == "SystemPriority") {
        settings.SystemPriority = *value;
    } else if (key == "Protocol") {
        settings.Protocol = *value;
    } else if (key == "DeviceNumber") {
        settings.DeviceNumber = *value;
    } else {
        return false;
    }
    return true;
}

// A WAV line ("WAV" K "." key "=" value); p is the index of its first ".".
// Returns whether the line was a cue's.
bool ReadWavLine(std::string_view line, size_t p, WavCueList& cues) {
    const std::optional<int32_t> k = WavCueNumber(line.substr(3, p - 3));
    const size_t equals = line.find('=');
    if (!k || equals == std::string_view::npos || equals < p) return false;
    const std::string_view key = line.substr(p + 1, equals - p - 1);
    const std::string_view value = line.substr(equals + 1);
    std::optional<int32_t> number;
    if (key == "Start" || key == "End") {
        number = ToInt32(value);
        if (!number) return false;
    } else if (key != "Path") {
        return false;
    }
    if (UpperBound(cues) < *k) cues.resize(static_cast<size_t>(*k) + 1);
    WavCue& cue = cues[static_cast<size_t>(*k)];
    if (key == "Start") {
        cue.Start = *number;
    } else if (key == "End") {
        cue.End = *number;
    } else {
        cue.Path = std::string(value);
    }
    return true;
}

}  // namespace

Message NotAnimationMessage(const std::string& name) {
    return Message{name + " is not a Kestrova animation.", "Open Error", MessageIcon::Critical, MessageButtons::Ok};
}

LoadResult LoadProjectBytes(std::string_view bytes, Project& project) {
    // Text that is UTF-8 already is read where it lies, without a copy.
    if (bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom) bytes.remove_prefix(kUtf8Bom.size());
    if (IsValidUtf8(bytes)) return LoadFile(bytes, project);
    return LoadFile(DecodeWindows1252(bytes), project);
}

LoadResult LoadProjectBytes(std::string&& bytes, Project& project) {
    std::string_view view(bytes);
    if (view.substr(0, kUtf8Bom.size()) == kUtf8Bom) view.remove_prefix(kUtf8Bom.size());
    if (IsValidUtf8(view)) return LoadFile(view, project);
    const std::string text = DecodeWindows1252(view);
    std::string().swap(bytes);
    return LoadFile(text, project);
}

LoadResult LoadFile(std::string_view text, Project& project) {
    WorkingCopies work;
    LineCursor lines(text);
    while (lines.HasNext()) {
        const std::string_view line = lines.Next();
        if (line.empty()) continue;
        const size_t p = line.find('.');
        const bool hasDot = p != std::string_view::npos;
        if (hasDot && StartsWith(line, "Servo")) {
            if (!ReadServoLine(line, p, lines, work)) {
                LoadResult failed;
                failed.messages = work.messages.Take();
                failed.messages.push_back(Message{"The animation had severe problems and could not be loaded!",
                                                  "Severe Load Problem", MessageIcon::Critical, MessageButtons::Ok});
                return failed;
            }
        } else if (hasDot && StartsWith(line, "Settings")) {
            if (ReadSettingsLine(line, p, project.Settings)) work.recognised = true;
        } else if (hasDot && StartsWith(line, "WAV")) {
            if (ReadWavLine(line, p, work.cues)) work.recognised = true;
        } else if (StartsWith(line, "KVSL")) {
            work.recognised = true;
            if (From(line, 0, 5) != "1.0") {
                work.messages.Add(
                    Message{"This file was saved using a different version of the Kestrova Servo Language."
                            "\r\nThe animation may not work correctly.",
                            "KVSL Version Conflict", MessageIcon::Information, MessageButtons::Ok});
            }
        }
    }

    if (!work.recognised) {
        LoadResult refused;
        refused.notAnimation = true;
        return refused;
    }
    // Limits with Min above Max are kept as the file has them, for the user
    // to mend: no position satisfies them, so the servo's slider sends none.
    for (int i = 0; i < kServoCount; ++i) {
        const ServoRecord& servo = work.servos[i];
        if (servo.Min <= servo.Max) continue;
        work.messages.Add(Message{"Servo #" + std::to_string(i + 1) + " has its Min (" + std::to_string(servo.Min) +
                                      ") above its Max (" + std::to_string(servo.Max) +
                                      ").  Its slider sends nothing until the limits are mended in Servo Settings.",
                                  "Invalid Limits", MessageIcon::Exclamation, MessageButtons::Ok});
    }
    for (Message& message : CheckControllerValues(project.Settings, work.servos)) work.messages.Add(std::move(message));
    project.Servos = work.servos;
    for (int i = 0; i < kServoCount; ++i) {
        ProgramText& program = work.programs[i];
        // assign() keeps the old text's memory when it is large enough.
        if (program.inRange) {
            project.Programs[i].assign(program.range);
        } else {
            project.Programs[i] = std::move(program.built);
        }
    }
    project.WavCues = std::move(work.cues);
    LoadResult result;
    result.ok = true;
    result.programSources = work.sources;
    result.messages = work.messages.Take();
    return result;
}

}  // namespace kestrova
