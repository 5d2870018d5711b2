#pragma once
// frmExe, the execution window: the timeline of the built animation with
// its markers, the playback toolbar, the frame rate slider, the servo check
// boxes that choose the curves drawn, and the playback engine it drives.
//
// The toolbar's handlers only set the engine's request flags and the
// buttons' states; a playback runs inside the click handler that started
// it, and the engine lets the other buttons through at its pump points.

#include "core/project.h"
#include "motion_stop.h"
#include "playback/playback_engine.h"

#include <QRect>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <string>

class QAction;
class QCheckBox;
class QLabel;
class QPushButton;
class QSlider;
class QToolBar;

namespace kestrova {

class RecordPanel;
class SerialLink;
class SerialLinkOutput;
class QtSoundOutput;
class TimelineView;
class KeyframeLayer;

// A window's outer rectangle moved (not resized) so that it lies within the
// available area of the screen, as far as its size allows; the top left
// corner wins when it is larger.
QRect FitOnScreen(const QRect& frame, const QRect& available);

class frmExe : public QWidget, public PlaybackView {
    Q_OBJECT
public:
    // Questions and playback's messages go to `messages`; without one they
    // get their default answers (a build is then started when asked for).
    frmExe(Project& project, SerialLink& link, std::function<void()> buildAnimation, QWidget* parent = nullptr,
           MessageHandler messages = {});
    ~frmExe() override;

    // Refreshes the window from the frame table and shows it; asks to build
    // first when the animation is not built or was changed since. With
    // bDoChecks the check boxes are recomputed and the markers go back to
    // the first and last frame.
    void UpdateGraph(bool bDoChecks);

    // Click of a toolbar button, by key ("play", "pause", "stop", "step",
    // "playfrom", "playto", "playfromto", "loop").
    void ToolbarClick(const QString& key);
    QAction* ToolbarButton(const QString& key) const;
    // "&Check All" and "&Uncheck All".
    void CheckAll();
    void UncheckAll();

    // While the main window replaces the project (New, Open) the graph is
    // not refreshed and nothing asks to build; ProjectReplaced then shows
    // the new project: its graph when built, an empty one otherwise.
    void SetProjectChanging(bool changing) { projectChanging_ = changing; }
    void ProjectReplaced();
    // Where the per-user sound offset comes from, read when Play is pressed.
    // Where the "Sound offset" setting is read, at each refresh and Play.
    void SetSoundOffsetSource(std::function<int32_t()> source);

    // The record controls, and a take played with the override driving the armed servos.
    RecordPanel* Recorder() const { return recorder_; }
    void PlayTake(int32_t startFrame, int32_t endFrame, FrameOverride* take);

    bool bSuppressRedraw() const { return suppressRedraw_; }
    bool Playing() const;
    PlaybackEngine& Engine() { return *engine_; }
    TimelineView& Timeline() { return *timeline_; }
    KeyframeLayer& Keyframes() { return *keyframes_; }
    QCheckBox* chkName(int servo) const { return checks_[servo]; }
    QLabel* lblColor(int servo) const { return swatches_[servo]; }
    QSlider* Slider1() const { return slider_; }
    QLabel* lblFrames() const { return frames_; }
    QLabel* lblTime() const { return time_; }
    QLabel* lblPos() const { return pos_; }
    QLabel* lblLine() const { return line_; }
    QLabel* lblDropped() const { return dropped_; }

    // PlaybackView
    int FramesPerSecond() override;
    void SetGraphControlsEnabled(bool enabled) override;
    void SetServoCheckEnabled(int servo, bool enabled) override;
    void SetCheckAllButtonsEnabled(bool enabled) override;
    void SetRateSliderEnabled(bool enabled) override;
    void SetMarkersEnabled(bool enabled) override;
    void ShowPlayMarker() override;
    void MovePlayMarker(int32_t frame) override;
    void HidePlayMarker() override;
    void KeepFrameInView(int32_t frame) override;
    void SetPositionCaption(const std::string& caption) override;
    void ShowSteppedButtons() override;
    bool LoopPressed() override;
    void Pump() override;
    void Tell(const Message& message) override;

signals:
    // A playback started (true) or ended (false).
    void playbackRunning(bool running);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildToolbar();
    void SliderChanged();
    void ServoClicked();
    void SetPlaybackButtons(bool enabled);
    void SetRunningButtons(bool enabled);
    // Plays a range from a toolbar button and restores the buttons after.
    void PlayRange(int32_t startFrame, int32_t endFrame);
    // Makes the engine's sound output look for cue files next to the
    // project file as it is named now.
    void PrepareEngine();
    bool AskToBuild(const char* firstLine);
    // "Line: 150% of 9600 baud" for the rate chosen, in a warning colour over 100%.
    void ShowLineLoad();
    // Before the first showing: over the main window, wholly on its screen.
    void PlaceOnScreen();

    Project& project_;
    std::function<void()> buildAnimation_;
    MessageHandler messages_;
    std::unique_ptr<SerialLinkOutput> output_;
    std::unique_ptr<QtSoundOutput> sound_;
    std::unique_ptr<PlaybackEngine> engine_;
    ServoMotion* motion_ = nullptr;
    std::string soundFolder_;
    bool suppressRedraw_ = false;
    bool projectChanging_ = false;
    bool building_ = false;  // the build the prompt started runs
    // The programs and servo records of the last build the prompt started,
    // while it failed.
    std::optional<std::pair<std::array<std::string, kServoCount>, std::array<ServoRecord, kServoCount>>> failedBuild_;
    std::function<int32_t()> soundOffset_;

    TimelineView* timeline_ = nullptr;
    KeyframeLayer* keyframes_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QSlider* slider_ = nullptr;
    QLabel* fps_ = nullptr;
    QLabel* frames_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* pos_ = nullptr;
    QLabel* line_ = nullptr;
    QLabel* dropped_ = nullptr;
    QPushButton* checkAll_ = nullptr;
    QPushButton* uncheckAll_ = nullptr;
    std::array<QCheckBox*, kServoCount> checks_{};
    std::array<QLabel*, kServoCount> swatches_{};
    RecordPanel* recorder_ = nullptr;
};

}  // namespace kestrova
