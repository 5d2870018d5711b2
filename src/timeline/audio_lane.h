#pragma once
// The audio lane under the graph: each sound cue's waveform, on the graph's
// horizontal scale, from the frame its sound starts on to its stop frame or
// the end of the sound, whichever comes first; its number and file name at
// its left edge. A sound that cannot be read shows as a hatched bar whose
// tool tip says why.

#include "core/project.h"
#include "timeline_geometry.h"

#include <QWidget>

#include <string>
#include <vector>

namespace kestrova {

class SoundPeaks;

// Where a cue's sound lies, in logical x (frames).
struct CueSpan {
    double first = 0;  // the frame the sound starts on
    double last = 0;   // where it ends or is stopped
};

// The span of a cue whose sound lasts `seconds` (negative when not known
// yet: up to its stop frame, or a single frame when it has none), at
// `framesPerSecond`, shifted by `offsetMs` (positive: later).
CueSpan CueSoundSpan(const WavCue& cue, double seconds, int framesPerSecond, int offsetMs);

class AudioLane : public QWidget {
    Q_OBJECT
public:
    AudioLane(const Project& project, SoundPeaks& peaks, QWidget* parent = nullptr);

    void SetMapping(const GraphMapping& mapping) { mapping_ = mapping; }
    void SetFramesPerSecond(int fps);
    void SetSoundOffsetMs(int ms);
    // Relative cue paths are taken from this folder (the project's).
    void SetSoundFolder(const std::string& folder);
    QString Resolve(const std::string& path) const;

    // The cue (1-based) whose bar covers pixel column x, or 0.
    int CueAt(int x) const;
    // Why the cue's sound is not drawn; empty when it is (or is being read).
    QString CueProblem(int cue) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    struct Bar {
        int cue;
        CueSpan span;
    };
    std::vector<Bar> Bars() const;

    const Project& project_;
    SoundPeaks& peaks_;
    GraphMapping mapping_;
    int fps_ = 15;
    int offsetMs_ = 0;
    std::string folder_;
};

}  // namespace kestrova
