#pragma once
// Mouth moves from a sound: the loudness of each animation frame (RMS over
// the frame's samples, all channels) mapped to a servo position between
// "closed" (silence) and "open" (the loudest frame), and written as Mov and
// Wait lines that build into that track.

#include <cstdint>
#include <string>
#include <vector>

namespace kestrova::audio {

struct MouthOptions {
    int framesPerSecond = 15;
    int32_t closed = 0;
    int32_t open = 254;
    // Frames quieter than this share of the loudest frame stay closed.
    double thresholdPercent = 10.0;
    // Width of the moving average over the positions, in frames (1: none).
    int smooth = 1;
    // How many frames the track runs ahead of the sound.
    int lead = 0;
    // The frame on which the sound starts (the cue's start frame).
    int32_t start = 1;
    // Where the text goes: the frame the program has reached there and the
    // position the servo holds on it.
    int32_t at = 1;
    int32_t from = 0;
};

// Loudness of each frame of the sound at `framesPerSecond`: frame k covers
// sound frames [k * rate / fps, (k + 1) * rate / fps). Streams the file.
bool FrameLoudness(const std::string& path, int framesPerSecond, std::vector<double>& loudness,
                   std::string& error);

// One position per sound frame.
std::vector<int32_t> MouthPositions(const std::vector<double>& loudness, const MouthOptions& options);

// The program text: the position of sound frame k goes on animation frame
// start + k - lead (frames before `at` + 1 are dropped); after the sound the
// mouth closes. Lines end with `newline`.
std::string MouthProgram(const std::vector<int32_t>& positions, const MouthOptions& options,
                         const std::string& newline = "\r\n");

// The checks of the options; an empty text when they are fine.
std::string CheckMouthOptions(const MouthOptions& options);

// All of it for a file. False with `error` set on a bad option or sound.
bool GenerateMouthMoves(const std::string& path, const MouthOptions& options, std::string& text,
                        std::string& error, const std::string& newline = "\r\n");

}  // namespace kestrova::audio
