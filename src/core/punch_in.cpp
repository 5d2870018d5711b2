#include "punch_in.h"

#include "command_map.h"
#include "compiler.h"
#include "text_edit.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kestrova {

namespace {

// The servo's column as the compiler builds it: element f is frame f, from
// 1 to the last frame its program fills. Empty, with the message, when the
// program does not compile.
std::vector<int32_t> BuiltColumn(const ServoRecord& record, std::string_view program, std::string& error) {
    Project project;
    project.Servos[0] = record;
    project.Programs[0] = std::string(program);
    ServoCompiler compiler(project);
    if (!compiler.CompileServo(0)) {
        error = compiler.LastError().message;
        return {};
    }
    std::vector<int32_t> column(static_cast<size_t>(project.ServoFrameCount[0]) + 1);
    for (int32_t f = 1; f < static_cast<int32_t>(column.size()); ++f) column[f] = project.Frames[f][0];
    return column;
}

// Frame f of a column, its last position held after its end.
int32_t At(const std::vector<int32_t>& column, int32_t f) {
    return column[std::min<size_t>(static_cast<size_t>(f), column.size() - 1)];
}

int32_t CommandEnd(const CommandSpan& span) { return span.easing.End != 0 ? span.easing.End : span.frames.End; }

// The comments in characters [start, end) of a program, each without its
// line break: the lines that replace these commands carry them on.
std::vector<std::string> CommentsWithin(std::string_view program, int32_t start, int32_t end) {
    const TextEdit head{start, INT32_MAX, ""}, tail{0, end, ""};
    const size_t from = ApplyEdits(program, std::span(&head, 1)).size();
    const size_t to = program.size() - ApplyEdits(program, std::span(&tail, 1)).size();
    std::vector<std::string> comments;
    for (size_t i = from; i < to; ++i) {
        if (program[i] != '\'') continue;
        size_t stop = program.find_first_of("\r\n", i);
        stop = std::min(stop == std::string_view::npos ? program.size() : stop, to);
        comments.emplace_back(program.substr(i, stop - i));
        i = stop;
    }
    return comments;
}

PunchInResult Refuse(std::string why) { return PunchInResult{{}, std::move(why)}; }

}  // namespace

PunchInResult PunchIn(const ServoRecord& record, std::string_view program, int32_t first, int32_t last,
                      std::span<const int32_t> take, const FitOptions& options, int32_t tableFrames) {
    if (first < 2 || last < first || take.size() != static_cast<size_t>(last) - first + 1)
        return Refuse("The take does not match its range of frames.");
    if (last > kMaxFrames) return Refuse(kTooLongMessage);
    const auto [lowest, highest] = std::minmax_element(take.begin(), take.end());
    if (*lowest < record.Min || *highest > record.Max) {
        return Refuse("The take goes outside the servo's limits (" + std::to_string(record.Min) + " to " +
                      std::to_string(record.Max) + ").");
    }
    std::string error;
    const std::vector<int32_t> column = BuiltColumn(record, program, error);
    if (column.empty()) return Refuse("The servo's program has an error to mend first: " + error);
    const ServoMap map = MapServo(record, program);
    const std::vector<CommandSpan>& commands = map.commands;
    const auto count = static_cast<int>(commands.size());
    const int32_t tolerance = std::clamp(options.tolerance, 0, 10);
    // The last frame that exists after the punch-in, as far as is known.
    const int32_t tableEnd = tableFrames > 0 ? std::min(tableFrames, kMaxFrames) : kMaxFrames;

    // The frames to rebuild run from the start of the command holding the
    // range's first frame to the end of the one holding its last: a command
    // that straddles an edge is rebuilt whole, its frames outside the range
    // exactly as they were. Splitting such a move into two lines of the same
    // arithmetic is not always possible (a float step over part of a move,
    // or part of an eased curve, is not a move of its own), so its outside
    // frames are fitted too, with no tolerance.
    const int firstCommand = CommandAtFrame(map, first);
    int lastCommand = firstCommand < 0 ? count - 1 : std::max(CommandAtFrame(map, last), firstCommand);
    if (firstCommand >= 0 && CommandAtFrame(map, last) < 0) lastCommand = count - 1;
    const int32_t own = map.frames;
    const int32_t regionStart = firstCommand >= 0 ? commands[firstCommand].firstFrame : own + 1;
    const int32_t start = firstCommand >= 0 ? commands[firstCommand].from : (count > 0 ? commands.back().to : record.Home);

    std::optional<std::vector<std::string>> lines;
    for (;;) {
        // When the lines end the program, the column's last position is held
        // to the end of the table: it must stay what it was.
        const bool ends = lastCommand + 1 >= count;
        const int32_t regionEnd = std::max(last, lastCommand >= 0 && firstCommand >= 0 ? commands[lastCommand].lastFrame : 0);
        std::vector<int32_t> low, high;
        for (int32_t f = regionStart; f <= regionEnd; ++f) {
            const bool inTake = f >= first && f <= last;
            const int32_t v = inTake ? take[f - first] : At(column, f);
            low.push_back(inTake ? std::max(v - tolerance, record.Min) : v);
            high.push_back(inTake ? std::min(v + tolerance, record.Max) : v);
        }
        if (ends && regionEnd < tableEnd) {
            const int32_t held = At(column, regionEnd + 1);
            if (low.back() <= held && held <= high.back()) {
                low.back() = high.back() = held;
            } else {
                low.push_back(held);
                high.push_back(held);
            }
        }
        const std::optional<int32_t> endAt = ends ? std::nullopt : std::optional(commands[lastCommand + 1].from);
        lines = FitBetween(low, high, start, endAt, record.Min, record.Max, options.easing);
        // Lines that cannot end where the next command starts: that command
        // is rebuilt too.
        if (lines || ends) break;
        ++lastCommand;
    }
    if (!lines) return Refuse("The take could not be fitted within the servo's limits.");

    // The replaced commands' comments first, then the fitted lines.
    const bool append = firstCommand < 0;
    const int32_t editStart = append ? INT32_MAX : commands[firstCommand].word.Start;
    const int32_t editEnd = append ? INT32_MAX : CommandEnd(commands[lastCommand]);
    std::string text;
    if (append && !program.empty() && program.back() != '\n') text += kLineBreak;
    if (!append)
        for (const std::string& comment : CommentsWithin(program, editStart, editEnd)) text += comment + kLineBreak;
    for (size_t i = 0; i < lines->size(); ++i) text += (i ? kLineBreak : "") + (*lines)[i];
    if (append) text += kLineBreak;
    const TextEdit edit{editStart, editEnd, std::move(text)};
    std::string result = ApplyEdits(program, std::span(&edit, 1));

    // Checked by building it: the range within the tolerance of the take,
    // every other frame as before.
    const std::vector<int32_t> rebuilt = BuiltColumn(record, result, error);
    if (rebuilt.empty()) return Refuse(error);
    // One frame past both ends covers what each holds to the table's end.
    const auto through = static_cast<int32_t>(std::max(rebuilt.size(), column.size()));
    for (int32_t f = 1; f <= std::min(through, tableEnd); ++f) {
        const int32_t now = At(rebuilt, f);
        const bool kept = f >= first && f <= last ? std::abs(static_cast<int64_t>(now) - take[f - first]) <= tolerance
                                                  : now == At(column, f);
        if (!kept) return Refuse("The take could not be punched in without changing frame " + std::to_string(f) + ".");
    }
    return PunchInResult{std::move(result), {}};
}

}  // namespace kestrova
