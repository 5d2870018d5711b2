#include "command_map.h"

#include <algorithm>

namespace kestrova {

ServoMap MapServo(const ServoRecord& record, std::string_view program) {
    ServoMap map;
    ServoCompiler compiler;
    compiler.RecordCommands(&map.commands);
    if (!compiler.Read(record, program, map.frames)) map.error = compiler.LastError();
    return map;
}

ServoMap RebuildServo(Project& project, int servo) {
    FrameTable& table = project.Frames;
    const int32_t before = std::max(table.UpperBound(), 1);
    ServoMap map;
    ServoCompiler compiler(project);
    compiler.RecordCommands(&map.commands);
    if (!compiler.CompileServo(servo)) map.error = compiler.LastError();
    map.frames = project.ServoFrameCount[servo];

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
    return map;
}

int CommandAtFrame(const ServoMap& map, int32_t frame) {
    const auto& commands = map.commands;
    const auto it = std::lower_bound(commands.begin(), commands.end(), frame,
                                     [](const CommandSpan& span, int32_t f) { return span.lastFrame < f; });
    if (it == commands.end() || it->firstFrame > frame) return -1;
    return static_cast<int>(it - commands.begin());
}

}  // namespace kestrova
