#include "compiler.h"

#include "command_map.h"

#include "text.h"

#include "numeric_text.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace kestrova {

namespace {

constexpr const char* kInvalidPosition = "Invalid Position";
constexpr const char* kInvalidFrames = "Invalid Frames";
constexpr const char* kCompileError = "Compile Error";
constexpr const char* kPositionNotNumeric = "Position must be numeric.";
constexpr const char* kFramesNotNumeric = "Frames must be a numeric value.";
constexpr const char* kFramesNotPositive = "Frames must be greater than zero.";

bool IsSeparator(char c) { return c == '\t' || c == ' ' || c == ',' || c == '\r'; }


bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c; };
               return lower(x) == lower(y);
           });
}

}  // namespace

bool WordReader::Next(Token& token) {
    bool inComment = false;
    bool inWord = false;
    size_t wordAt = 0;
    const size_t size = text_.size();
    while (at_ < size) {
        const size_t i = at_;
        char c = text_[i];
        // A CR LF pair counts as one carriage return.
        at_ += (c == '\r' && i + 1 < size && text_[i + 1] == '\n') ? 2 : 1;
        const int32_t here = position_;
        // Every byte of a multi-byte character is taken; only its first one
        // advances the character count.
        if (at_ >= size || !IsUtf8ContinuationByte(text_[at_])) ++position_;
        if (inComment) {
            if (c == '\r') inComment = false;
        } else if (IsSeparator(c) || c == '\'') {
            inComment = c == '\'';
            if (inWord) {
                token.Text = text_.substr(wordAt, i - wordAt);
                token.End = here;
                // The apostrophe is read again by the next call.
                if (inComment) {
                    at_ = i;
                    position_ = here;
                }
                return true;
            }
        } else if (!inWord) {
            inWord = true;
            wordAt = i;
            token.Start = here;
        }
    }
    // The text counts as ending with a line break, which ends the last word.
    if (!inWord) return false;
    token.Text = text_.substr(wordAt);
    token.End = position_;
    return true;
}

Ease EaseOf(std::string_view word) {
    if (EqualsIgnoringCase(word, "easein")) return Ease::In;
    if (EqualsIgnoringCase(word, "easeout")) return Ease::Out;
    if (EqualsIgnoringCase(word, "easeinout")) return Ease::InOut;
    return Ease::None;
}

int32_t EasedPosition(int32_t start, int32_t target, int32_t k, int32_t n, Ease ease) {
    if (k >= n) return target;
    const double t = static_cast<double>(k) / n;
    double e = t;
    switch (ease) {
    case Ease::In: e = t * t; break;
    case Ease::Out: e = 1.0 - (1.0 - t) * (1.0 - t); break;
    case Ease::InOut: e = t < 0.5 ? 2.0 * t * t : 1.0 - (2.0 - 2.0 * t) * (2.0 - 2.0 * t) / 2.0; break;
    case Ease::None: break;
    }
    const double value = start + (static_cast<double>(target) - start) * e;
    // Both ends are 32-bit positions and e lies in [0, 1], so the value does
    // too; nearbyint rounds halves to even in the default rounding mode.
    return static_cast<int32_t>(std::nearbyint(value));
}

std::vector<Token> TokenizeProgram(std::string_view text) {
    std::vector<Token> tokens(1);
    WordReader reader(text);
    Token token;
    while (reader.Next(token)) tokens.push_back(token);
    return tokens;
}

bool ServoCompiler::Fail(const Token& token, std::string message, std::string title) {
    lastError_ = CompileError{servo_, token.Start, token.End, std::move(message), std::move(title)};
    return false;
}

bool ServoCompiler::CheckPosition(int servo, std::string_view text) {
    return CheckPositionFor(project_->Servos[servo], text);
}

bool ServoCompiler::CheckPositionFor(const ServoRecord& record, std::string_view text) {
    const std::optional<int32_t> value = ToInt32(text);
    if (!value) {
        positionError_ = kPositionNotNumeric;
        return false;
    }
    if (*value < record.Min) {
        positionError_ = "Position is less than servo minimum.";
        return false;
    }
    if (*value > record.Max) {
        positionError_ = "Position is greater than servo maximum.";
        return false;
    }
    return true;
}

bool ServoCompiler::CompileServo(int servo) {
    frames_ = &project_->Frames;
    servo_ = servo;
    frames_->Grow(1);
    const ServoRecord& record = project_->Servos[servo];
    (*frames_)[1][servo] = record.Home;
    int32_t frame = 1;
    const bool ok = Run(record, project_->Programs[servo], frame);
    project_->ServoFrameCount[servo] = frame;
    return ok;
}

bool ServoCompiler::Read(const ServoRecord& record, std::string_view program, int32_t& lastFrame) {
    frames_ = nullptr;
    servo_ = -1;
    lastFrame = 1;
    return Run(record, program, lastFrame);
}

bool ServoCompiler::Run(const ServoRecord& record, std::string_view program, int32_t& frame) {
    int32_t current = record.Home;
    words_ = WordReader(program);
    Token command;
    // On an error, frame stays the end of the last command that compiled.
    int32_t done = frame;
    while (words_.Next(command)) {
        bool ok = false;
        if (EqualsIgnoringCase(command.Text, "mov")) {
            ok = CompileMov(record, command, frame, current);
        } else if (EqualsIgnoringCase(command.Text, "wait")) {
            ok = CompileWait(command, frame, current);
        } else {
            Fail(command, "Unknown Command.", kCompileError);
        }
        if (!ok) {
            frame = done;
            return false;
        }
        done = frame;
    }
    return true;
}

void ServoCompiler::Record(const Token& command, int32_t first, int32_t last, int32_t from, int32_t to, Ease ease) {
    if (!spans_) return;
    const bool mov = EqualsIgnoringCase(command.Text, "mov");
    CommandSpan span{mov ? CommandKind::Mov : CommandKind::Wait, command, {}, {}, {}, first, last, from, to, ease};
    if (mov) {
        span.position = operand_[0];
        span.frames = operand_[1];
        if (ease != Ease::None) span.easing = operand_[2];
    } else {
        span.frames = operand_[1];
    }
    spans_->push_back(span);
}

bool ServoCompiler::CompileMov(const ServoRecord& record, const Token& command, int32_t& frame, int32_t& current) {
    Token& position = operand_[0];
    Token& frameCount = operand_[1];
    // A missing operand is reported like an invalid one, on the command word.
    if (!words_.Next(position)) return Fail(command, kPositionNotNumeric, kInvalidPosition);
    if (!CheckPositionFor(record, position.Text)) return Fail(position, positionError_, kInvalidPosition);
    const int32_t target = *ToInt32(position.Text);

    if (!words_.Next(frameCount)) return Fail(command, kFramesNotNumeric, kInvalidFrames);
    const std::optional<int32_t> count = ToInt32(frameCount.Text);
    if (!count) return Fail(frameCount, kFramesNotNumeric, kInvalidFrames);
    if (*count < 1) return Fail(frameCount, kFramesNotPositive, kInvalidFrames);
    const int32_t first = frame + 1;
    const int32_t from = current;
    if (const Ease ease = ReadEasing(operand_[2]); ease != Ease::None) {
        if (!CompileEasedMov(ease, target, *count, frame, current)) return false;
        Record(command, first, frame, from, target, ease);
        return true;
    }

    FrameTable* frames = frames_;
    const int servo = servo_;
    const bool fits = EachLinearFrame(current, target, *count, [&](int32_t value) {
        if (frame >= kMaxFrames) return false;
        ++frame;
        if (frames) {
            if (frame > frames->UpperBound()) frames->Grow(frame);
            (*frames)[frame][servo] = value;
        }
        return true;
    });
    if (!fits) return Fail(frameCount, kTooLongMessage, kCompileError);
    current = target;
    Record(command, first, frame, from, target, Ease::None);
    return true;
}

Ease ServoCompiler::ReadEasing(Token& word) {
    const WordReader before = words_;
    if (words_.Next(word)) {
        const Ease ease = EaseOf(word.Text);
        if (ease != Ease::None) return ease;
    }
    words_ = before;
    return Ease::None;
}

bool ServoCompiler::CompileEasedMov(Ease ease, int32_t target, int32_t count, int32_t& frame, int32_t& current) {
    if (count > kMaxFrames - frame) return Fail(operand_[1], kTooLongMessage, kCompileError);
    if (frames_) {
        FrameTable& frames = *frames_;
        frames.Grow(frame + count);
        for (int32_t step = 1; step <= count; ++step) frames[frame + step][servo_] = EasedPosition(current, target, step, count, ease);
    }
    frame += count;
    current = target;
    return true;
}

bool ServoCompiler::CompileWait(const Token& command, int32_t& frame, int32_t current) {
    Token& frameCount = operand_[1];
    if (!words_.Next(frameCount)) return Fail(command, kFramesNotNumeric, kInvalidFrames);
    const std::optional<int32_t> count = ToInt32(frameCount.Text);
    if (!count) return Fail(frameCount, kFramesNotNumeric, kInvalidFrames);
    if (*count < 1) return Fail(frameCount, kFramesNotPositive, kInvalidFrames);
    if (*count > kMaxFrames - frame) return Fail(frameCount, kTooLongMessage, kCompileError);

    const int32_t last = frame + *count;
    if (frames_) {
        frames_->Grow(last);
        frames_->Fill(servo_, frame + 1, last, current);
    }
    Record(command, frame + 1, last, current, current, Ease::None);
    frame = last;
    return true;
}

void ServoCompiler::MarkWavCues() {
    FrameTable& frames = project_->Frames;
    const int32_t last = frames.UpperBound();
    const WavCueList& cues = project_->WavCues;
    for (int32_t k = 1; k <= UpperBound(cues); ++k) {
        const int32_t start = cues[k].Start;
        if (start >= 1 && start <= last) frames[start][kWavCueSlot] = k;
    }
}

void ServoCompiler::PadServoTables() {
    FrameTable& frames = project_->Frames;
    const int32_t last = frames.UpperBound();
    for (int s = 0; s < kServoCount; ++s) {
        const int32_t own = project_->ServoFrameCount[s];
        project_->Servos[s].Used = own >= 2;
        frames.Fill(s, own + 1, last, frames[own][s]);
    }
}

BuildResult BuildAnimation(Project& project, const std::function<void(int servo)>& onServoStart) {
    project.Frames.Reset();
    ServoCompiler compiler(project);
    for (int s = 0; s < kServoCount; ++s) {
        if (onServoStart) onServoStart(s);
        if (!compiler.CompileServo(s)) return BuildResult{BuildOutcome::Failed, compiler.LastError()};
    }
    compiler.MarkWavCues();
    if (project.Frames.UpperBound() == 1) {
        return BuildResult{BuildOutcome::NothingToCompile, CompileError{-1, 0, 0, kNothingToCompile, kCompileError}};
    }
    compiler.PadServoTables();
    project.Built = true;
    project.ModifiedSinceBuild = false;
    return BuildResult{};
}

}  // namespace kestrova
