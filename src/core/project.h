#pragma once
// The one animation project the program holds: 16 servos with their
// programs, the WAV cue list, the settings block, the compiled frame table
// and the flags that tie editing, building, saving and playing together.

#include "frame_table.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kestrova {

constexpr int kServoCount = 16;

// Line break used inside program texts.
inline constexpr const char* kLineBreak = "\r\n";

struct ServoRecord {
    std::string Name;
    int32_t Home = 0;
    int32_t Min = 0;
    int32_t Max = 0;
    bool Enabled = false;
    // Set by every build: the program filled at least one frame beyond frame 1.
    bool Used = false;
    // Speed and acceleration caps of everything sent to the servo, in
    // positions per second and per second squared; 0 for none.
    int32_t MaxSpeed = 0;
    int32_t MaxAccel = 0;
    // Output to the controller: the pulse range positions 0 to 254 span
    // (microseconds) and the channel; -1 is the servo's own, its number less one.
    int32_t PulseMin = 1000;
    int32_t PulseMax = 2000;
    int32_t Channel = -1;

    bool operator==(const ServoRecord&) const = default;
};

// The communication and execution settings.
struct ProjectSettings {
    int32_t COMPort = 1;         // 1 to 16
    int32_t BaudRate = 0;        // 0 = 2400, 1 = 9600
    int32_t SynchByte = 0;       // 0 to 255
    int32_t SSCMode = 0;         // 0 = "Mini-SSC", 1 = "OOPIC-R"
    int32_t SystemPriority = 0;  // 0 = "Normal", 1 = "High", 2 = "Very High"
    int32_t AutoDisable = 0;     // 0 = off, 1 = on
    int32_t Protocol = 0;        // controller_setup.h; 0 = Mini-SSC
    int32_t DeviceNumber = 12;   // the Pololu board's, with Protocol 2

    bool operator==(const ProjectSettings&) const = default;
};

struct WavCue {
    int32_t Start = 0;  // frame at which the sound starts
    int32_t End = 0;    // frame at which playback stops the sound
    std::string Path;

    bool operator==(const WavCue&) const = default;
};

// A list indexed from 1 whose element 0 exists and is never used.
using WavCueList = std::vector<WavCue>;

inline int32_t UpperBound(const WavCueList& list) {
    return static_cast<int32_t>(list.size()) - 1;
}

struct Project {
    std::array<ServoRecord, kServoCount> Servos{};
    // Each servo's program text, line breaks as CR LF. The editors show and
    // edit these very strings, so every user sees one text per servo.
    std::array<std::string, kServoCount> Programs{};
    ProjectSettings Settings{};
    WavCueList WavCues = WavCueList(1);
    FrameTable Frames;
    // Last frame each servo's own program filled during the last build.
    std::array<int32_t, kServoCount> ServoFrameCount{};

    bool bNeedToSave = false;
    bool Built = false;
    bool ModifiedSinceBuild = false;
    bool ExeWindowOpen = false;
    std::string sFilename;
    int32_t UntitledCount = 0;
    int32_t lServo = 0;
};

// Resets the 16 servos to their new-project values (names "Servo 1" to
// "Servo 16", Min 0, Home 127, Max 254, enabled; Used untouched) and
// empties their programs.
void SetNewProjectDefaults(Project& project);

// Whether a servo takes part in playback, in the graph and in the check
// boxes of the execution window: it is enabled and, under AutoDisable, its
// program is used.
bool ServoTakesPart(const ServoRecord& servo, bool autoDisable);

// The 16 servo records of a new project (Used false).
std::array<ServoRecord, kServoCount> NewProjectServos();

// The data side of the New command: defaults, the next "UntitledN" name,
// an empty WAV cue list and cleared document flags. The frame table is kept;
// Built being false asks for a build before anything plays it.
void StartNewProject(Project& project);

}  // namespace kestrova
