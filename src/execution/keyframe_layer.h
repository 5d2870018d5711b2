#pragma once
// The keys on the graph: a transparent layer over the timeline's graph that
// draws a handle at the end of each command of the selected servo's curve
// (and at frame 1 for its Home), tells each one's line and values in a tool
// tip, and edits the program through them: drag to move a key (Shift moves
// everything after it along), double-click the curve to split a command,
// Delete to merge a key's command with the next, right-click for easing and
// Wait/Mov. Ctrl-click takes keys of several curves at once.
//
// Every change is a text edit of the servo's program: the layer rebuilds that
// one servo into the frame table and hands the new text to the program
// editor, which makes each drag or action one undo step there. Pointer
// events off the keys go on to the timeline (read-out, marker menu).

#include "core/command_map.h"
#include "core/project.h"
#include "keyframe_drag.h"

#include <QWidget>

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMenu;

namespace kestrova {

class TimelineView;

// Where the layer's changes go: the main window's editors.
struct ProgramEditor {
    // Shows a program the graph changed in the servo's editor; `join` makes
    // it part of the previous change's undo step (the steps of one drag).
    std::function<void(int servo, const std::string& text, bool join)> show;
    // Selects characters start to end of the servo's program in its editor.
    std::function<void(int servo, int32_t start, int32_t end)> select;
    // Writes the editors' pending typing into the project's programs.
    std::function<void()> commit;
};

class KeyframeLayer : public QWidget {
    Q_OBJECT
public:
    KeyframeLayer(Project& project, TimelineView& timeline, QWidget* parent = nullptr);
    ~KeyframeLayer() override;

    void SetEditor(ProgramEditor editor) { editor_ = std::move(editor); }
    // The snap toggle (markers, whole seconds, sound starts).
    QAction* SnapAction() const { return snap_; }
    void SetFramesPerSecond(int fps) { fps_ = fps; }

    // A servo's program changed in its editor (typing, undo): the layer
    // follows, and rebuilds the servo when the graph shows its edits.
    void ProgramEdited(int servo);
    // A build made the whole table afresh.
    void Built();

    // The keys of a servo as drawn: the map of its program (cached).
    const ServoMap& Map(int servo);
    // Pixel centre of a key on this layer; command -1 is the Home key.
    QPoint KeyPoint(int servo, int command);
    // The key under a pixel, if any (all drawn curves when `anyCurve`).
    std::optional<KeyRef> KeyAt(QPoint pixel, bool anyCurve);
    const std::vector<KeyRef>& Selection() const { return selection_; }
    // The tool tip of a key.
    QString KeyToolTip(const KeyRef& key);
    // The caption shown beside the pointer while dragging; empty otherwise.
    QString DragCaption() const;
    QMenu* KeyMenu() const { return menu_; }
    // Why the last split, merge or menu action was refused.
    const QString& Refusal() const { return refusal_; }

signals:
    // The table changed under the graph (length and all).
    void tableChanged();

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Cached {
        std::string program;
        ServoMap map;
        bool valid = false;
    };
    int SelectedServo() const;
    QPoint PointOf(int servo, const ServoMap& map, int command) const;
    bool ShowsServo(int servo) const;
    // One action's new program for a servo: project, column, graph, and the
    // editor as one undo step.
    void Apply(int servo, std::string program);
    // Hands the servo's program to its editor; `join` continues the last
    // undo step.
    void Show(int servo, bool join);
    void Redraw(const std::vector<int>& servos);
    void ShowKeyMenu(const KeyRef& key, QPoint global);
    void Refuse(const std::string& why, QPoint pixel);
    int32_t Snap(int32_t frame) const;
    void SelectLine(const KeyRef& key);

    Project& project_;
    TimelineView& timeline_;
    ProgramEditor editor_;
    std::array<Cached, kServoCount> maps_;
    // Servos whose columns this layer rebuilt since the last build.
    std::array<bool, kServoCount> owned_{};
    // Servos the current drag already changed (later steps join its undo step).
    std::array<bool, kServoCount> stepped_{};
    std::vector<KeyRef> selection_;
    std::unique_ptr<KeyframeDrag> drag_;
    QPoint pressAt_;
    bool pressed_ = false;
    bool applying_ = false;
    bool cleanBefore_ = false;
    int fps_ = 15;
    QAction* snap_ = nullptr;
    QMenu* menu_ = nullptr;
    QLabel* caption_ = nullptr;
    QString refusal_;
};

}  // namespace kestrova
