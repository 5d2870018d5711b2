#include "keyframe_layer.h"

#include "core/keyframe_edits.h"
#include "core/text.h"
#include "core/text_edit.h"
#include "timeline/servo_colors.h"
#include "timeline/timeline_view.h"

#include <QAction>
#include <QActionGroup>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPaintEvent>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace kestrova {

namespace {

constexpr int kHandle = 7;      // a handle's side in pixels
constexpr int kReach = 5;       // how far from a handle the pointer takes it
constexpr int kDragStart = 3;   // pixels the pointer moves before a drag starts
constexpr int kSnapPixels = 6;  // how near a snap frame pulls

const Token& LastWord(const CommandSpan& c) { return c.easing.End != 0 ? c.easing : c.frames; }

// Line number (from 1) of a character offset.
int LineOf(std::string_view program, int32_t offset) {
    const std::string_view before = program.substr(0, ByteOffsetOf(program, offset));
    return 1 + static_cast<int>(std::count(before.begin(), before.end(), '\r'));
}

// The characters from..to of a program, on one line.
std::string Excerpt(std::string_view program, int32_t from, int32_t to) {
    const size_t a = ByteOffsetOf(program, from);
    std::string text = SingleLine(program.substr(a, ByteOffsetOf(program, to) - a));
    if (text.size() > 60) text = text.substr(0, 57) + "...";
    return text;
}

// Character offsets of the start and end of the lines that hold from..to.
std::pair<int32_t, int32_t> LineBounds(std::string_view program, int32_t from, int32_t to) {
    size_t a = ByteOffsetOf(program, from);
    int32_t start = from;
    while (a > 0 && program[a - 1] != '\n' && program[a - 1] != '\r') {
        --a;
        if (!IsUtf8ContinuationByte(program[a])) --start;
    }
    size_t b = ByteOffsetOf(program, to);
    int32_t end = to;
    while (b < program.size() && program[b] != '\r' && program[b] != '\n') {
        ++b;
        while (b < program.size() && IsUtf8ContinuationByte(program[b])) ++b;
        ++end;
    }
    return {start, end};
}

QString EaseName(Ease ease) {
    return ease == Ease::None ? QStringLiteral("Linear") : QString::fromLatin1(EasingWord(ease));
}

}  // namespace

KeyframeLayer::KeyframeLayer(Project& project, TimelineView& timeline, QWidget* parent)
    : QWidget(parent ? parent : timeline.picGraph()), project_(project), timeline_(timeline) {
    setObjectName(QStringLiteral("keyframes"));
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    parentWidget()->installEventFilter(this);
    setGeometry(parentWidget()->rect());
    snap_ = new QAction(QStringLiteral("Snap"), this);
    snap_->setObjectName(QStringLiteral("snap"));
    snap_->setCheckable(true);
    snap_->setToolTip(QStringLiteral("Snap dragged keys to the markers, whole seconds and sound starts"));
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("keyMenu"));
    caption_ = new QLabel(this);
    caption_->setObjectName(QStringLiteral("dragValue"));
    caption_->setStyleSheet(QStringLiteral("background: #ffffe1; border: 1px solid #888; padding: 1px 3px;"));
    caption_->hide();
    show();
}

KeyframeLayer::~KeyframeLayer() = default;

int KeyframeLayer::SelectedServo() const { return std::clamp(project_.lServo, 0, kServoCount - 1); }

bool KeyframeLayer::ShowsServo(int servo) const {
    if (!timeline_.Drawn() || !timeline_.Curves()[servo].drawn) return false;
    if (servo == SelectedServo()) return true;
    return std::any_of(selection_.begin(), selection_.end(), [servo](const KeyRef& k) { return k.servo == servo; });
}

const ServoMap& KeyframeLayer::Map(int servo) {
    if (editor_.commit) editor_.commit();
    Cached& cached = maps_[servo];
    if (!cached.valid || cached.program != project_.Programs[servo]) {
        cached.program = project_.Programs[servo];
        cached.map = MapServo(project_.Servos[servo], cached.program);
        cached.valid = true;
    }
    return cached.map;
}

QPoint KeyframeLayer::KeyPoint(int servo, int command) { return PointOf(servo, Map(servo), command); }

QPoint KeyframeLayer::PointOf(int servo, const ServoMap& map, int command) const {
    if (command >= static_cast<int>(map.commands.size())) return QPoint(-kHandle * 4, -kHandle * 4);
    const int32_t frame = command < 0 ? 1 : map.commands[command].lastFrame;
    int32_t position = command < 0 ? project_.Servos[servo].Home : map.commands[command].to;
    if (frame <= project_.Frames.UpperBound()) position = project_.Frames[frame][servo];
    const GraphMapping& m = timeline_.Mapping();
    return QPoint(static_cast<int>(m.Column(frame)), static_cast<int>(m.PositionRow(position)));
}

std::optional<KeyRef> KeyframeLayer::KeyAt(QPoint pixel, bool anyCurve) {
    if (!timeline_.Drawn()) return std::nullopt;
    const GraphMapping& m = timeline_.Mapping();
    std::optional<KeyRef> best;
    int bestDistance = kReach * 2 + 1;
    for (int s = 0; s < kServoCount; ++s) {
        if (!(anyCurve ? timeline_.Curves()[s].drawn : ShowsServo(s))) continue;
        const ServoMap& map = Map(s);
        const auto fromFrame = static_cast<int32_t>(std::floor(m.X(pixel.x() - kReach)));
        const auto toFrame = static_cast<int32_t>(std::ceil(m.X(pixel.x() + kReach + 1)));
        auto consider = [&](int command) {
            const QPoint p = PointOf(s, map, command);
            const int distance = std::abs(p.x() - pixel.x()) + std::abs(p.y() - pixel.y());
            if (std::abs(p.x() - pixel.x()) <= kReach && std::abs(p.y() - pixel.y()) <= kReach && distance < bestDistance) {
                bestDistance = distance;
                best = KeyRef{s, command};
            }
        };
        if (fromFrame <= 1) consider(-1);
        auto it = std::lower_bound(map.commands.begin(), map.commands.end(), fromFrame,
                                   [](const CommandSpan& c, int32_t f) { return c.lastFrame < f; });
        for (; it != map.commands.end() && it->lastFrame <= toFrame; ++it) {
            if (it->lastFrame >= it->firstFrame) consider(static_cast<int>(it - map.commands.begin()));
        }
    }
    return best;
}

QString KeyframeLayer::KeyToolTip(const KeyRef& key) {
    const ServoRecord& servo = project_.Servos[key.servo];
    if (key.command < 0) {
        return QStringLiteral("%1: Home, position %2 (set in the servo's settings)")
            .arg(QString::fromStdString(servo.Name))
            .arg(servo.Home);
    }
    const ServoMap& map = Map(key.servo);
    const std::string& program = maps_[key.servo].program;
    if (key.command >= static_cast<int>(map.commands.size())) return {};
    const CommandSpan& c = map.commands[key.command];
    QString text = QStringLiteral("Line %1: %2\nFrames %3 to %4, position %5 to %6")
                       .arg(LineOf(program, c.word.Start))
                       .arg(QString::fromStdString(Excerpt(program, c.word.Start, LastWord(c).End)))
                       .arg(c.firstFrame)
                       .arg(c.lastFrame)
                       .arg(c.from)
                       .arg(c.to);
    if (map.error && key.command + 1 == static_cast<int>(map.commands.size())) {
        text += QStringLiteral("\nKeys stop here, line %1: %2")
                    .arg(LineOf(program, map.error->Start))
                    .arg(QString::fromStdString(map.error->message));
    }
    return text;
}

QString KeyframeLayer::DragCaption() const { return caption_->isVisible() ? caption_->text() : QString(); }

void KeyframeLayer::paintEvent(QPaintEvent* event) {
    if (!timeline_.Drawn()) return;
    QPainter painter(this);
    const GraphMapping& m = timeline_.Mapping();
    const QRect area = event->rect().adjusted(-kHandle, -kHandle, kHandle, kHandle);
    const auto fromFrame = static_cast<int32_t>(std::floor(m.X(area.left())));
    const auto toFrame = static_cast<int32_t>(std::ceil(m.X(area.right() + 1)));
    auto drawHandle = [&](QPoint p, const QColor& color, bool selected, bool home) {
        const QRect box(p.x() - kHandle / 2, p.y() - kHandle / 2, kHandle, kHandle);
        painter.setPen(QPen(selected ? Qt::black : color.darker(150), 1));
        painter.setBrush(selected ? color : QColor(Qt::white));
        if (home) {
            const QPoint diamond[] = {{p.x(), box.top()}, {box.right(), p.y()}, {p.x(), box.bottom()}, {box.left(), p.y()}};
            painter.drawPolygon(diamond, 4);
        } else {
            painter.drawRect(box.adjusted(0, 0, -1, -1));
        }
    };
    for (int s = 0; s < kServoCount; ++s) {
        if (!ShowsServo(s)) continue;
        const QColor color = ServoColor(s);
        auto selected = [&](int command) {
            return std::find(selection_.begin(), selection_.end(), KeyRef{s, command}) != selection_.end();
        };
        const ServoMap& map = Map(s);
        if (fromFrame <= 1) drawHandle(PointOf(s, map, -1), color, selected(-1), true);
        const auto byEnd = [](const CommandSpan& c, int32_t f) { return c.lastFrame < f; };
        auto it = std::lower_bound(map.commands.begin(), map.commands.end(), fromFrame, byEnd);
        // Zoomed out, keys closer than a handle share one: the next drawn
        // is the first a handle further on.
        while (it != map.commands.end() && it->lastFrame <= toFrame) {
            if (it->lastFrame < it->firstFrame) {
                ++it;
                continue;
            }
            const int command = static_cast<int>(it - map.commands.begin());
            const QPoint p = PointOf(s, map, command);
            drawHandle(p, color, selected(command), false);
            const auto next = static_cast<int32_t>(std::ceil(m.X(p.x() + kHandle - 1)));
            it = std::lower_bound(it + 1, map.commands.end(), next, byEnd);
        }
        for (const KeyRef& key : selection_) {
            if (key.servo == s && key.command >= 0 && key.command < static_cast<int>(map.commands.size())) drawHandle(PointOf(s, map, key.command), color, true, false);
        }
        if (map.error && map.frames >= fromFrame && map.frames <= toFrame) {
            // Where the keys stop: a red cross at the error.
            const QPoint p(static_cast<int>(m.Column(map.frames)) + kHandle,
                           static_cast<int>(m.PositionRow(project_.Frames[std::min(map.frames, project_.Frames.UpperBound())][s])));
            painter.setPen(QPen(QColor(220, 0, 0), 2));
            painter.drawLine(p + QPoint(-3, -3), p + QPoint(3, 3));
            painter.drawLine(p + QPoint(-3, 3), p + QPoint(3, -3));
        }
    }
}

bool KeyframeLayer::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (const auto key = KeyAt(help->pos(), false)) {
            QToolTip::showText(help->globalPos(), KeyToolTip(*key), this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

bool KeyframeLayer::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget() && event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
    return QWidget::eventFilter(watched, event);
}

void KeyframeLayer::SelectLine(const KeyRef& key) {
    if (!editor_.select || key.command < 0 || key.command >= static_cast<int>(Map(key.servo).commands.size())) return;
    const CommandSpan& c = Map(key.servo).commands[key.command];
    const auto [start, end] = LineBounds(maps_[key.servo].program, c.word.Start, LastWord(c).End);
    editor_.select(key.servo, start, end);
}

void KeyframeLayer::mousePressEvent(QMouseEvent* event) {
    const QPoint pixel = event->position().toPoint();
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    const std::optional<KeyRef> key = KeyAt(pixel, ctrl);
    if (!key) {
        if (!ctrl) selection_.clear();
        update();
        timeline_.SurfacePress(event->button(), pixel, event->globalPosition().toPoint());
        return;
    }
    setFocus(Qt::MouseFocusReason);
    if (event->button() == Qt::RightButton) {
        if (key->command >= 0) ShowKeyMenu(*key, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    const auto same = std::find(selection_.begin(), selection_.end(), *key);
    if (ctrl) {
        if (same != selection_.end()) {
            selection_.erase(same);
        } else {
            std::erase_if(selection_, [&](const KeyRef& k) { return k.servo == key->servo; });
            selection_.push_back(*key);
        }
    } else {
        if (same == selection_.end()) selection_ = {*key};
        SelectLine(*key);
    }
    update();
    if (key->command < 0 || std::find(selection_.begin(), selection_.end(), *key) == selection_.end()) return;
    // The key taken goes first; a drag moves the whole selection.
    std::erase(selection_, *key);
    selection_.insert(selection_.begin(), *key);
    pressed_ = true;
    pressAt_ = pixel;
}

void KeyframeLayer::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pixel = event->position().toPoint();
    timeline_.GraphMouseMove(pixel);
    if (!pressed_ || !(event->buttons() & Qt::LeftButton)) {
        setCursor(KeyAt(pixel, false) ? Qt::SizeAllCursor : Qt::ArrowCursor);
        return;
    }
    if (!drag_) {
        if ((pixel - pressAt_).manhattanLength() < kDragStart) return;
        if (editor_.commit) editor_.commit();
        std::vector<KeyRef> keys;
        for (const KeyRef& k : selection_) {
            if (k.command >= 0) keys.push_back(k);
        }
        cleanBefore_ = project_.Built && !project_.ModifiedSinceBuild;
        drag_ = std::make_unique<KeyframeDrag>(project_, keys);
        for (const KeyRef& k : keys) stepped_[k.servo] = false;
    }
    const GraphMapping& m = timeline_.Mapping();
    const auto frames = static_cast<int32_t>(std::lround((pixel.x() - pressAt_.x()) / m.FramePixels()));
    const auto positions = static_cast<int32_t>(std::lround(-(pixel.y() - pressAt_.y()) * kGraphLogicalHeight / m.Height()));
    const std::vector<int> changed = drag_->Step(frames, positions, event->modifiers() & Qt::ShiftModifier,
                                                 [this](int32_t f) { return Snap(f); });
    for (int servo : changed) {
        // The step compiled the servo already: its map is the cache's, its
        // words pointed at the cache's own copy of the program.
        Cached& cached = maps_[servo];
        cached.program = project_.Programs[servo];
        cached.map = *drag_->MapNow(servo);
        cached.valid = true;
        const char* from = project_.Programs[servo].data();
        for (CommandSpan& c : cached.map.commands) {
            for (Token* t : {&c.word, &c.position, &c.frames, &c.easing}) {
                if (t->End != 0) t->Text = std::string_view(cached.program).substr(static_cast<size_t>(t->Text.data() - from), t->Text.size());
            }
        }
        Show(servo, stepped_[servo]);
        stepped_[servo] = true;
    }
    if (cleanBefore_) project_.ModifiedSinceBuild = false;
    Redraw(changed);
    caption_->setText(QStringLiteral("Frame %1, position %2").arg(drag_->Frame()).arg(drag_->Position()));
    caption_->adjustSize();
    caption_->move(pixel + QPoint(12, -caption_->height() - 4));
    caption_->show();
    caption_->raise();
}

void KeyframeLayer::mouseReleaseEvent(QMouseEvent*) {
    pressed_ = false;
    drag_.reset();
    caption_->hide();
}

void KeyframeLayer::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint pixel = event->position().toPoint();
    const int servo = SelectedServo();
    if (event->button() != Qt::LeftButton || !ShowsServo(servo) || KeyAt(pixel, false)) return;
    const int32_t frame = ClickFrame(timeline_.Mapping().X(pixel.x()));
    Map(servo);
    const std::string program = maps_[servo].program;
    int32_t at = 0;
    const KeyEdit edit = SplitAt(program, maps_[servo].map, frame, at);
    if (!edit.ok()) {
        Refuse(edit.error, pixel);
        return;
    }
    Apply(servo, ApplyEdits(program, edit.edits));
    const ServoMap& map = Map(servo);
    selection_.clear();
    for (size_t i = 0; i < map.commands.size(); ++i) {
        if (map.commands[i].lastFrame == at) selection_ = {KeyRef{servo, static_cast<int>(i)}};
    }
    update();
}

void KeyframeLayer::keyPressEvent(QKeyEvent* event) {
    if (event->key() != Qt::Key_Delete && event->key() != Qt::Key_Backspace) {
        QWidget::keyPressEvent(event);
        return;
    }
    const std::vector<KeyRef> keys = selection_;
    selection_.clear();
    for (const KeyRef& key : keys) {
        if (key.command < 0 || key.command >= static_cast<int>(Map(key.servo).commands.size())) continue;
        const std::string program = maps_[key.servo].program;
        const KeyEdit edit = MergeKey(program, maps_[key.servo].map, key.command);
        if (!edit.ok()) {
            Refuse(edit.error, KeyPoint(key.servo, key.command));
            continue;
        }
        Apply(key.servo, ApplyEdits(program, edit.edits));
    }
    update();
}

void KeyframeLayer::ShowKeyMenu(const KeyRef& key, QPoint global) {
    menu_->clear();
    const ServoMap& map = Map(key.servo);
    const CommandSpan& c = map.commands[key.command];
    auto act = [this, key](const std::function<KeyEdit(const std::string&, const ServoMap&)>& make, QPoint where) {
        const ServoMap& now = Map(key.servo);
        if (key.command >= static_cast<int>(now.commands.size())) return;
        const std::string text = maps_[key.servo].program;
        const KeyEdit edit = make(text, now);
        if (!edit.ok()) {
            Refuse(edit.error, where);
            return;
        }
        Apply(key.servo, ApplyEdits(text, edit.edits));
    };
    const QPoint where = KeyPoint(key.servo, key.command);
    auto* easings = new QActionGroup(menu_);
    for (const Ease ease : {Ease::None, Ease::In, Ease::Out, Ease::InOut}) {
        QAction* action = menu_->addAction(EaseName(ease));
        action->setObjectName(EaseName(ease));
        action->setCheckable(true);
        action->setChecked(c.kind == CommandKind::Mov && c.ease == ease);
        action->setEnabled(c.kind == CommandKind::Mov && !(ease == Ease::None && c.from == c.to && c.ease != Ease::None));
        easings->addAction(action);
        connect(action, &QAction::triggered, this, [act, key, ease, where] {
            act([key, ease](const std::string& text, const ServoMap& map) { return SetEasing(text, map, key.command, ease); },
                where);
        });
    }
    menu_->addSeparator();
    QAction* toggle = menu_->addAction(c.kind == CommandKind::Wait ? QStringLiteral("Change to Mov") : QStringLiteral("Change to Wait"));
    toggle->setObjectName(QStringLiteral("toggleWait"));
    toggle->setEnabled(CanToggleWait(map, key.command));
    if (!toggle->isEnabled()) toggle->setToolTip(QStringLiteral("Only a move that ends where it started can become a Wait."));
    connect(toggle, &QAction::triggered, this, [act, key, where] {
        act([key](const std::string& text, const ServoMap& map) { return ToggleWait(text, map, key.command); }, where);
    });
    menu_->popup(global);
}

void KeyframeLayer::Refuse(const std::string& why, QPoint pixel) {
    QToolTip::showText(mapToGlobal(pixel), QString::fromStdString(why), this);
    refusal_ = QString::fromStdString(why);
}

int32_t KeyframeLayer::Snap(int32_t frame) const {
    if (!snap_->isChecked()) return frame;
    const double framePixels = timeline_.Mapping().FramePixels();
    const double reach = std::max(1.0, kSnapPixels / framePixels);
    std::vector<int32_t> targets{timeline_.StartFrame(), timeline_.StopFrame()};
    if (fps_ > 0) {
        const int32_t second = 1 + static_cast<int32_t>(std::lround(double(frame - 1) / fps_)) * fps_;
        targets.push_back(second);
    }
    for (int32_t k = 1; k <= UpperBound(project_.WavCues); ++k) targets.push_back(project_.WavCues[k].Start);
    int32_t best = frame;
    double bestDistance = reach + 1;
    for (const int32_t target : targets) {
        const double distance = std::abs(double(target) - frame);
        if (distance <= reach && distance < bestDistance) {
            bestDistance = distance;
            best = target;
        }
    }
    return best;
}

void KeyframeLayer::Show(int servo, bool join) {
    applying_ = true;
    if (editor_.show) editor_.show(servo, project_.Programs[servo], join);
    applying_ = false;
}

void KeyframeLayer::Apply(int servo, std::string program) {
    if (program == project_.Programs[servo]) return;
    const bool clean = project_.Built && !project_.ModifiedSinceBuild;
    ReplaceProgram(project_, servo, std::move(program));
    owned_[servo] = true;
    Show(servo, false);
    if (clean) project_.ModifiedSinceBuild = false;
    Redraw({servo});
}

void KeyframeLayer::Redraw(const std::vector<int>& servos) {
    for (int servo : servos) {
        owned_[servo] = true;
        timeline_.ServoRebuilt(servo);
    }
    std::erase_if(selection_, [this](const KeyRef& k) {
        return k.command >= static_cast<int>(Map(k.servo).commands.size());
    });
    update();
    if (!servos.empty()) emit tableChanged();
}

void KeyframeLayer::ProgramEdited(int servo) {
    if (applying_ || drag_) return;
    if (owned_[servo] && project_.Built && timeline_.Drawn()) {
        if (editor_.commit) editor_.commit();
        ReplaceProgram(project_, servo, project_.Programs[servo]);
        Redraw({servo});
        return;
    }
    update();
}

void KeyframeLayer::Built() {
    owned_.fill(false);
    selection_.clear();
    update();
}

}  // namespace kestrova
