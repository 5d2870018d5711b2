#include "keyframe_edits.h"

#include "numeric_text.h"
#include "text.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

namespace kestrova {

namespace {

constexpr int32_t kAnyPosition = std::numeric_limits<int32_t>::max();

ServoRecord Standing(int32_t at) {
    return ServoRecord{{}, at, std::numeric_limits<int32_t>::min(), kAnyPosition, true, false};
}

std::string MovText(int32_t to, int32_t count, Ease ease) {
    std::string text = "Mov " + std::to_string(to) + ", " + std::to_string(count);
    if (ease != Ease::None) text += std::string(" ") + EasingWord(ease);
    return text;
}

int32_t Length(const CommandSpan& c) { return c.lastFrame - c.firstFrame + 1; }
int32_t Count(const CommandSpan& c) { return ToInt32(c.frames.Text).value_or(0); }
const Token& LastWord(const CommandSpan& c) { return c.easing.End != 0 ? c.easing : c.frames; }

// The characters from..to of the program, as bytes.
std::string_view Between(std::string_view program, int32_t from, int32_t to) {
    const size_t a = ByteOffsetOf(program, from);
    return program.substr(a, ByteOffsetOf(program, to) - a);
}

bool HasComment(std::string_view program, int32_t from, int32_t to) {
    return Between(program, from, to).find('\'') != std::string_view::npos;
}

// The positions a move builds from `from`, frame by frame.
std::vector<int32_t> MovePositions(int32_t from, int32_t to, int32_t count, Ease ease) {
    auto scratch = std::make_unique<Project>();
    scratch->Servos[0] = Standing(from);
    scratch->Programs[0] = MovText(to, count, ease);
    ServoCompiler compiler(*scratch);
    std::vector<int32_t> positions;
    if (!compiler.CompileServo(0)) return positions;
    for (int32_t f = 2; f <= scratch->ServoFrameCount[0]; ++f) positions.push_back(scratch->Frames[f][0]);
    return positions;
}

// Where a new command goes after command c: at the end of its line when
// only separators and a comment follow it there (so the comment stays on
// its line), else right after it. The text starts the new line with the
// indentation of c's line.
TextEdit InsertAfter(std::string_view program, const CommandSpan& c, const std::string& command) {
    const int32_t end = LastWord(c).End;
    size_t at = ByteOffsetOf(program, end);
    int32_t offset = end;
    bool comment = false;
    while (at < program.size() && program[at] != '\r' && program[at] != '\n') {
        const char ch = program[at];
        if (ch == '\'') comment = true;
        if (!comment && ch != ' ' && ch != '\t' && ch != ',') return TextEdit{end, end, " " + command};
        ++offset;
        ++at;
        while (at < program.size() && IsUtf8ContinuationByte(program[at])) ++at;
    }
    size_t lineStart = ByteOffsetOf(program, c.word.Start);
    while (lineStart > 0 && program[lineStart - 1] != '\n' && program[lineStart - 1] != '\r') --lineStart;
    size_t indentEnd = lineStart;
    while (indentEnd < program.size() && (program[indentEnd] == ' ' || program[indentEnd] == '\t')) ++indentEnd;
    return TextEdit{offset, offset, kLineBreak + std::string(program.substr(lineStart, indentEnd - lineStart)) + command};
}

// The edit that removes command c: with the separators up to the next
// command when no comment stands between, else its words only.
TextEdit Remove(std::string_view program, const ServoMap& map, int i) {
    const CommandSpan& c = map.commands[i];
    const bool last = i + 1 == static_cast<int>(map.commands.size());
    if (!last && !HasComment(program, c.word.Start, map.commands[i + 1].word.Start)) {
        return TextEdit{c.word.Start, map.commands[i + 1].word.Start, ""};
    }
    if (last && i > 0 && !HasComment(program, LastWord(map.commands[i - 1]).End, LastWord(c).End)) {
        return TextEdit{LastWord(map.commands[i - 1]).End, LastWord(c).End, ""};
    }
    return TextEdit{c.word.Start, LastWord(c).End, ""};
}

void AddNumber(std::vector<TextEdit>& edits, const Token& token, int32_t value) {
    if (ToInt32(token.Text) != value) edits.push_back(ReplaceWord(token, value));
}

}  // namespace

int32_t CommandLength(CommandKind kind, int32_t from, int32_t to, int32_t count, Ease ease) {
    if (kind == CommandKind::Wait || ease != Ease::None) return count;
    return MapServo(Standing(from), MovText(to, count, Ease::None)).frames - 1;
}

int32_t CountForLength(CommandKind kind, int32_t from, int32_t to, int32_t length, Ease ease) {
    length = std::max(length, 1);
    if (kind == CommandKind::Wait || ease != Ease::None || from == to) return length;
    // A linear move fills about its count; a few corrections find the count
    // that fills exactly the frames asked for, where one exists.
    int32_t count = length, best = length, bestMiss = std::numeric_limits<int32_t>::max();
    for (int attempt = 0; attempt < 6; ++attempt) {
        const int32_t miss = CommandLength(kind, from, to, count, ease) - length;
        if (std::abs(miss) < bestMiss) {
            bestMiss = std::abs(miss);
            best = count;
        }
        if (miss == 0) break;
        count = std::clamp(count - miss, 1, kMaxFrames);
    }
    return best;
}

FrameRange KeyFrameRange(const ServoMap& map, int key, bool shift) {
    const CommandSpan& c = map.commands[key];
    const bool last = key + 1 == static_cast<int>(map.commands.size());
    FrameRange range{c.firstFrame, c.lastFrame};
    if (c.kind == CommandKind::Mov && c.ease == Ease::None && c.from == c.to) return range;
    if (map.error && last) return range;
    if (shift || last) {
        range.last = c.lastFrame + (kMaxFrames - map.frames);
    } else {
        range.last = map.commands[key + 1].lastFrame - 1;
    }
    return range;
}

KeyEdit MoveKey(const ServoMap& map, int key, int32_t to, int32_t end, bool shift) {
    KeyEdit result;
    const auto& commands = map.commands;
    const CommandSpan& c = commands[key];
    const FrameRange range = KeyFrameRange(map, key, shift);
    end = std::clamp(end, range.first, std::max(range.first, range.last));
    if (c.kind == CommandKind::Wait) to = c.to;

    // The command dragged: its target and its frames.
    int32_t count = CountForLength(c.kind, c.from, to, end - c.firstFrame + 1, c.ease);
    if (c.kind == CommandKind::Mov) {
        // A move that filled nothing (to where the servo stood) keeps its count.
        const bool empty = c.ease == Ease::None && c.from == c.to;
        if ((to == c.to && end == c.lastFrame) || empty) count = Count(c);
        AddNumber(result.edits, c.position, to);
    }
    AddNumber(result.edits, c.frames, count);
    int32_t reached = c.firstFrame - 1 + CommandLength(c.kind, c.from, to, count, c.ease);
    int32_t from = c.kind == CommandKind::Mov ? to : c.to;

    // The commands after it keep their ends (or, with shift, their lengths):
    // a change of their start position or of their first frame is absorbed
    // by the first one whose frames follow from its count alone.
    for (size_t j = key + 1; j < commands.size(); ++j) {
        const CommandSpan& next = commands[j];
        const bool absorbs = !shift && j == static_cast<size_t>(key) + 1;
        const int32_t length = absorbs ? next.lastFrame - reached : Length(next);
        if (from == next.from && length == Length(next)) break;
        const int32_t nextTo = next.kind == CommandKind::Mov ? next.to : from;
        const int32_t nextCount = CountForLength(next.kind, from, nextTo, length, next.ease);
        AddNumber(result.edits, next.frames, nextCount);
        reached += CommandLength(next.kind, from, nextTo, nextCount, next.ease);
        from = nextTo;
    }
    return result;
}

KeyEdit SplitAt(std::string_view program, const ServoMap& map, int32_t frame, int32_t& frameOut) {
    const int i = CommandAtFrame(map, frame);
    if (i < 0) return KeyEdit{{}, "There is no command here to split."};
    const CommandSpan& c = map.commands[i];
    if (c.kind == CommandKind::Wait) {
        if (frame >= c.lastFrame) return KeyEdit{{}, "There is a key here already."};
        frameOut = frame;
        return KeyEdit{{ReplaceWord(c.frames, frame - c.firstFrame + 1),
                        InsertAfter(program, c, "Wait " + std::to_string(c.lastFrame - frame))},
                       {}};
    }
    const std::vector<int32_t> whole = MovePositions(c.from, c.to, Count(c), c.ease);
    const Ease eases[] = {c.ease, Ease::None, Ease::In, Ease::Out, Ease::InOut};
    // The frame asked for first, then its neighbours, nearest first.
    for (int32_t step = 0; step <= 8; ++step) {
        const int32_t f = frame + (step % 2 ? -(step + 1) / 2 : step / 2);
        if (f < c.firstFrame || f >= c.lastFrame) continue;
        const int32_t a = f - c.firstFrame + 1;
        const int32_t middle = whole[static_cast<size_t>(a) - 1];
        for (const Ease first : eases) {
            const int32_t countA = CountForLength(CommandKind::Mov, c.from, middle, a, first);
            std::vector<int32_t> built = MovePositions(c.from, middle, countA, first);
            if (!std::equal(built.begin(), built.end(), whole.begin(), whole.begin() + std::min(built.size(), whole.size())) ||
                built.size() != static_cast<size_t>(a))
                continue;
            for (const Ease second : eases) {
                const int32_t b = c.lastFrame - f;
                const int32_t countB = CountForLength(CommandKind::Mov, middle, c.to, b, second);
                const std::vector<int32_t> rest = MovePositions(middle, c.to, countB, second);
                if (rest.size() != static_cast<size_t>(b) || !std::equal(rest.begin(), rest.end(), whole.begin() + a)) continue;
                frameOut = f;
                KeyEdit result;
                // The first part keeps the command's words; the second is new.
                result.edits.push_back(ReplaceWord(c.position, middle));
                AddNumber(result.edits, c.frames, countA);
                if (first != c.ease) {
                    if (c.easing.End != 0) {
                        result.edits.push_back(first == Ease::None ? TextEdit{c.frames.End, c.easing.End, ""}
                                                                   : TextEdit{c.easing.Start, c.easing.End, EasingWord(first)});
                    } else {
                        result.edits.push_back(TextEdit{c.frames.End, c.frames.End, std::string(" ") + EasingWord(first)});
                    }
                }
                result.edits.push_back(InsertAfter(program, c, MovText(c.to, countB, second)));
                return result;
            }
        }
    }
    return KeyEdit{{}, "This move cannot be split here without changing its motion."};
}

KeyEdit MergeKey(std::string_view program, const ServoMap& map, int key) {
    const auto& commands = map.commands;
    const CommandSpan& c = commands[key];
    const bool last = key + 1 == static_cast<int>(commands.size());
    if (last && map.error) return KeyEdit{{}, "The command after this key has an error."};
    KeyEdit result;
    result.edits.push_back(Remove(program, map, key));
    if (last) return result;
    const CommandSpan& next = commands[key + 1];
    const int32_t length = next.lastFrame - c.firstFrame + 1;
    if (next.kind == CommandKind::Mov) {
        AddNumber(result.edits, next.frames, CountForLength(CommandKind::Mov, c.from, next.to, length, next.ease));
    } else if (c.kind == CommandKind::Wait) {
        AddNumber(result.edits, next.frames, length);
    } else {
        // A move then a hold: one move to the same place over both.
        const int32_t count = CountForLength(CommandKind::Mov, c.from, c.to, length, c.ease);
        result.edits.push_back(TextEdit{next.word.Start, next.frames.End, MovText(c.to, count, c.ease)});
    }
    return result;
}

KeyEdit SetEasing(std::string_view program, const ServoMap& map, int key, Ease ease) {
    const CommandSpan& c = map.commands[key];
    if (c.kind != CommandKind::Mov) return KeyEdit{{}, "A Wait has no easing."};
    if (ease == c.ease) return {};
    if (ease == Ease::None && c.from == c.to) {
        return KeyEdit{{}, "A linear move to where the servo stands would fill no frames."};
    }
    KeyEdit result;
    AddNumber(result.edits, c.frames, CountForLength(CommandKind::Mov, c.from, c.to, Length(c), ease));
    if (c.easing.End == 0) {
        result.edits.push_back(TextEdit{c.frames.End, c.frames.End, std::string(" ") + EasingWord(ease)});
    } else if (ease != Ease::None) {
        result.edits.push_back(TextEdit{c.easing.Start, c.easing.End, EasingWord(ease)});
    } else {
        const bool comment = HasComment(program, c.frames.End, c.easing.Start);
        result.edits.push_back(TextEdit{comment ? c.easing.Start : c.frames.End, c.easing.End, ""});
    }
    return result;
}

bool CanToggleWait(const ServoMap& map, int key) {
    const CommandSpan& c = map.commands[key];
    return c.kind == CommandKind::Wait || (c.from == c.to && c.ease != Ease::None);
}

KeyEdit ToggleWait(std::string_view program, const ServoMap& map, int key) {
    if (!CanToggleWait(map, key)) return KeyEdit{{}, "Only a move that ends where it started can become a Wait."};
    const CommandSpan& c = map.commands[key];
    KeyEdit result;
    if (c.kind == CommandKind::Wait) {
        // A linear move to the position held would fill nothing; an eased
        // one fills its frames with it.
        result.edits.push_back(TextEdit{c.word.Start, c.word.End, "Mov " + std::to_string(c.to) + ","});
        result.edits.push_back(TextEdit{c.frames.End, c.frames.End, std::string(" ") + EasingWord(Ease::InOut)});
        return result;
    }
    if (HasComment(program, c.word.Start, c.frames.Start)) {
        result.edits.push_back(TextEdit{c.word.Start, c.word.End, "Wait"});
        result.edits.push_back(TextEdit{c.position.Start, c.position.End, ""});
    } else {
        result.edits.push_back(TextEdit{c.word.Start, c.frames.Start, "Wait "});
    }
    const bool comment = HasComment(program, c.frames.End, c.easing.Start);
    result.edits.push_back(TextEdit{comment ? c.easing.Start : c.frames.End, c.easing.End, ""});
    return result;
}

}  // namespace kestrova
