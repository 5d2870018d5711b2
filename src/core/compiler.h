#pragma once
// Turns the 16 servo programs into the frame table.
//
// A program is a sequence of words separated by runs of tab, space, comma
// and line breaks; an apostrophe starts a comment that runs to the end of the
// line. Two commands, matched without regard to case: "Mov position frames"
// and "Wait frames". The arithmetic of Mov is 32-bit float on purpose: its
// rounding decides which frames a move fills, and the frame tables of older
// builds must come out the same.
//
// A Mov may name an easing after its frames ("Mov 200, 30, EaseInOut"): the
// move then follows that curve and takes exactly its frames. Any other word
// there is the next command, so programs without easing build as before.

#include "project.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct Token {
    // The word where it stands in the program text, which must outlive it.
    std::string_view Text;
    // Offsets in characters from 0, counted in the program text with each
    // CR LF pair taken as one character (the editor's selection unit).
    int32_t Start = 0;
    int32_t End = 0;  // just behind the last character
};

struct CompileError {
    int servo = -1;  // -1: not tied to a servo ("Nothing to compile!")
    int32_t Start = 0;
    int32_t End = 0;
    std::string message;
    std::string title;
};

// Reads the words of a program one at a time, so that compiling never holds
// more than the few words a command needs, however long the text.
class WordReader {
public:
    explicit WordReader(std::string_view text = {}) : text_(text) {}

    // The next word into token; false at the end of the text.
    bool Next(Token& token);

private:
    std::string_view text_;
    size_t at_ = 0;
    int32_t position_ = 0;  // character offset of the byte at at_
};

enum class Ease { None, In, Out, InOut };

// The easing a word names ("EaseIn", "EaseOut", "EaseInOut", any case);
// Ease::None for any other word.
Ease EaseOf(std::string_view word);

struct CommandSpan;  // command_map.h

// Position of step k (1 to n) of an eased move from start to target: start +
// (target - start) * e(k / n) in double, rounded half to even; step n is the
// target itself.
int32_t EasedPosition(int32_t start, int32_t target, int32_t k, int32_t n, Ease ease);

// The frames of a plain (uneased) move, by the arithmetic the compiler builds
// them with: a 32-bit float accumulator steps by (target - start) / frames
// and each frame stores it rounded down, kept between the two ends; the move
// is over once the accumulator rounds (half to even) to the target, which
// may be before or after its frames. An accumulator that stops moving (a
// step below its precision) ends the move on its target after its frames.
// A move to where the servo stands fills no frame.
// Calls emit(position) for each frame in turn; emit returns false to stop
// early, and then so does this.
template <typename Emit>
bool EachLinearFrame(int32_t start, int32_t target, int32_t frames, Emit&& emit) {
    const float step = static_cast<float>((static_cast<double>(target) - start) / frames);
    const float end = static_cast<float>(target);
    const double t = target, low = std::min(start, target), high = std::max(start, target);
    const bool up = start < target, down = start > target;
    // Nearest, halves to even; written out rather than through nearbyint,
    // which is a library call on plain x86-64 and sits in this inner loop.
    auto roundsToTarget = [&](float accumulator) {
        const double a = accumulator;
        if (a > t - 0.5 && a < t + 0.5) return true;
        return (a == t - 0.5 || a == t + 0.5) && target % 2 == 0;
    };
    auto advance = [&](float accumulator) {
        float next = accumulator + step;
        if (up && next > t) next = end;
        if (down && next < t) next = end;
        return next;
    };
    auto stored = [&](float accumulator) {
        const double v = std::clamp(static_cast<double>(accumulator), low, high);
        const auto truncated = static_cast<int64_t>(v);
        return static_cast<int32_t>(static_cast<double>(truncated) > v ? truncated - 1 : truncated);
    };
    float acc = static_cast<float>(start);
    int32_t made = 0;
    while (!roundsToTarget(acc)) {
        const float next = advance(acc);
        if (next == acc) {
            // Stalled: the rest of its frames where it stands, the last on the target.
            for (; made < frames; ++made)
                if (!emit(made + 1 == frames ? target : stored(acc))) return false;
            return true;
        }
        acc = next;
        ++made;
        // A move that would stall after its frames puts its last one on the target.
        if (made >= frames && !roundsToTarget(acc) && advance(acc) == acc) return emit(target);
        if (!emit(stored(acc))) return false;
    }
    return true;
}

// Splits a program into words; element 0 of the result exists and is unused.
std::vector<Token> TokenizeProgram(std::string_view text);

class ServoCompiler {
public:
    explicit ServoCompiler(Project& project) : project_(&project) {}
    // A compiler with no project: it only reads programs (see Read).
    ServoCompiler() = default;

    // Interprets the servo's program into frames of the frame table, word
    // by word. False on the first error, which LastError() then describes;
    // the words after it are never read.
    bool CompileServo(int servo);

    // Every command compiled from now on is appended to *spans (nullptr:
    // none), in the same pass that builds its frames.
    void RecordCommands(std::vector<CommandSpan>* spans) { spans_ = spans; }

    // Runs a program through the same arithmetic without writing any frame:
    // false on the first error, as CompileServo. lastFrame is the last frame
    // the program filled.
    bool Read(const ServoRecord& record, std::string_view program, int32_t& lastFrame);

    // True when text is a valid position for the servo; otherwise false with
    // PositionError() set.
    bool CheckPosition(int servo, std::string_view text);

    // Puts each cue's number into the WAV slot of its start frame.
    void MarkWavCues();

    // Recomputes Used and repeats every servo's last position to the end.
    void PadServoTables();

    const std::string& PositionError() const { return positionError_; }
    const CompileError& LastError() const { return lastError_; }

private:
    // The program's commands into frames_ (when set) at slot servo_.
    bool Run(const ServoRecord& record, std::string_view program, int32_t& frame);
    bool CheckPositionFor(const ServoRecord& record, std::string_view text);
    bool Fail(const Token& token, std::string message, std::string title);
    bool CompileMov(const ServoRecord& record, const Token& command, int32_t& frame, int32_t& current);
    // The easing word after a move's frames, when there is one; any other
    // word is left for the next command.
    Ease ReadEasing(Token& word);
    bool CompileEasedMov(Ease ease, int32_t target, int32_t count, int32_t& frame, int32_t& current);
    bool CompileWait(const Token& command, int32_t& frame, int32_t current);
    void Record(const Token& command, int32_t first, int32_t last, int32_t from, int32_t to, Ease ease);

    Project* project_ = nullptr;
    FrameTable* frames_ = nullptr;
    int servo_ = -1;
    std::vector<CommandSpan>* spans_ = nullptr;
    WordReader words_;
    Token operand_[3];
    std::string positionError_;
    CompileError lastError_;
};

enum class BuildOutcome { Success, Failed, NothingToCompile };

struct BuildResult {
    BuildOutcome outcome = BuildOutcome::Success;
    CompileError error;  // for Failed and NothingToCompile
};

// The whole build without any window: compiles servos 0 to 15 in order,
// stops at the first error, then marks the WAV cues and pads the table.
// onServoStart is called with each servo's index as its compilation starts.
// Success sets Built and clears ModifiedSinceBuild; a failed build and
// "Nothing to compile!" leave both flags (and the Used flags) as they were.
BuildResult BuildAnimation(Project& project, const std::function<void(int servo)>& onServoStart = {});

// The message of a build that made no frame beyond frame 1.
inline constexpr const char* kNothingToCompile = "Nothing to compile!";
inline constexpr const char* kTooLongMessage = "The animation is longer than 1,000,000 frames.";

}  // namespace kestrova
