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

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrova {

struct Token {
    std::string Text;
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

enum class Ease { None, In, Out, InOut };

// The easing a word names ("EaseIn", "EaseOut", "EaseInOut", any case);
// Ease::None for any other word.
Ease EaseOf(std::string_view word);

// Position of step k (1 to n) of an eased move from start to target: start +
// (target - start) * e(k / n) in double, rounded half to even; step n is the
// target itself.
int32_t EasedPosition(int32_t start, int32_t target, int32_t k, int32_t n, Ease ease);

// Splits a program into words; element 0 of the result exists and is unused.
std::vector<Token> TokenizeProgram(std::string_view text);

class ServoCompiler {
public:
    explicit ServoCompiler(Project& project) : project_(project) {}

    // Fills the token list from the servo's program text.
    void TokenizeServo(int servo);

    // Interprets the tokens into frames of the frame table. False on the
    // first error, which LastError() then describes.
    bool CompileServo(int servo);

    // True when text is a valid position for the servo; otherwise false with
    // PositionError() set.
    bool CheckPosition(int servo, std::string_view text);

    // Puts each cue's number into the WAV slot of its start frame.
    void MarkWavCues();

    // Recomputes Used and repeats every servo's last position to the end.
    void PadServoTables();

    const std::vector<Token>& Tokens() const { return tokens_; }
    const std::string& PositionError() const { return positionError_; }
    const CompileError& LastError() const { return lastError_; }

private:
    bool Fail(int servo, int32_t token, std::string message, std::string title);
    bool Fail(int servo, const Token& token, std::string message, std::string title);
    // `used` is the number of words the move took (3, or 4 with an easing).
    bool CompileMov(int servo, int32_t k, int32_t& frame, int32_t& current, int32_t& used);
    bool CompileEasedMov(int servo, int32_t k, Ease ease, int32_t count, int32_t& frame, int32_t& current);
    bool CompileWait(int servo, int32_t k, int32_t& frame, int32_t current);

    Project& project_;
    std::vector<Token> tokens_ = std::vector<Token>(1);
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
