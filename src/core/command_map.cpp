#include "command_map.h"

#include "text_edit.h"

#include <algorithm>

namespace kestrova {

ServoMap MapServo(const ServoRecord& record, std::string_view program) {
    ServoMap map;
    ServoCompiler compiler;
    compiler.RecordCommands(&map.commands);
    if (!compiler.Read(record, program, map.frames)) map.error = compiler.LastError();
    return map;
}

namespace {

// Pads the table after one servo was compiled into it (see RebuildServo).
void FitTable(Project& project, int servo, int32_t before, const ServoMap& map);

const Token& LastWord(const CommandSpan& c) { return c.easing.End != 0 ? c.easing : c.frames; }

}  // namespace

ServoMap RebuildServo(Project& project, int servo) {
    const int32_t before = std::max(project.Frames.UpperBound(), 1);
    ServoMap map;
    ServoCompiler compiler(project);
    compiler.RecordCommands(&map.commands);
    if (!compiler.CompileServo(servo)) map.error = compiler.LastError();
    map.frames = project.ServoFrameCount[servo];
    FitTable(project, servo, before, map);
    return map;
}

ServoMap RebuildServo(Project& project, int servo, std::string_view oldProgram, const ServoMap& old, int32_t edited) {
    // The commands wholly before the edit, less one: the word after a move
    // may be read as its easing.
    size_t kept = 0;
    while (kept < old.commands.size() && LastWord(old.commands[kept]).End < edited) ++kept;
    kept = kept > 0 ? kept - 1 : 0;
    if (kept == 0 || project.Frames.UpperBound() < 1) return RebuildServo(project, servo);
    const int32_t before = std::max(project.Frames.UpperBound(), 1);
    ServoMap map;
    map.commands.assign(old.commands.begin(), old.commands.begin() + static_cast<std::ptrdiff_t>(kept));
    const CommandSpan& resume = old.commands[kept];
    // The spans kept point into the old text; the new one is the same up to
    // the edit, so they point at the same bytes of it.
    const std::string& program = project.Programs[servo];
    for (CommandSpan& c : map.commands) {
        for (Token* t : {&c.word, &c.position, &c.frames, &c.easing}) {
            if (t->End != 0) t->Text = std::string_view(program).substr(static_cast<size_t>(t->Text.data() - oldProgram.data()), t->Text.size());
        }
    }
    ServoCompiler compiler(project);
    compiler.RecordCommands(&map.commands);
    if (!compiler.CompileServoFrom(servo, ByteOffsetOf(program, resume.word.Start), resume.word.Start,
                                   resume.firstFrame - 1, resume.from)) {
        map.error = compiler.LastError();
    }
    map.frames = project.ServoFrameCount[servo];
    FitTable(project, servo, before, map);
    return map;
}

namespace {

void FitTable(Project& project, int servo, int32_t before, const ServoMap& map) {
    FrameTable& table = project.Frames;

    const int32_t upper = std::max(1, *std::max_element(project.ServoFrameCount.begin(), project.ServoFrameCount.end()));
    // A move that failed for length may have written past what it kept.
    table.Grow(upper);
    table.Shrink(upper);
    if (upper > before) {
        for (int s = 0; s < kServoCount; ++s) {
            if (s != servo) table.Fill(s, before + 1, upper, table[before][s]);
        }
        const WavCueList& cues = project.WavCues;
        for (int32_t k = 1; k <= UpperBound(cues); ++k) {
            if (cues[k].Start > before && cues[k].Start <= upper) table[cues[k].Start][kWavCueSlot] = k;
        }
    }
    table.Fill(servo, map.frames + 1, upper, table[map.frames][servo]);
}

}  // namespace

int CommandAtFrame(const ServoMap& map, int32_t frame) {
    const auto& commands = map.commands;
    const auto it = std::lower_bound(commands.begin(), commands.end(), frame,
                                     [](const CommandSpan& span, int32_t f) { return span.lastFrame < f; });
    if (it == commands.end() || it->firstFrame > frame) return -1;
    return static_cast<int>(it - commands.begin());
}

}  // namespace kestrova
