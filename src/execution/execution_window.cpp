#include "execution_window.h"

#include "keyframe_layer.h"
#include "link/live_output.h"

#include "core/cue_path.h"
#include "core/messages.h"
#include "playback/line_load.h"
#include "playback/serial_link_output.h"
#include "record_panel.h"
#include "playback/sound_player.h"
#include "timeline/servo_colors.h"
#include "timeline/timeline_geometry.h"
#include "timeline/timeline_view.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QStyle>
#include <QToolBar>
#include <QVBoxLayout>

static void InitExecutionWindowResources() { Q_INIT_RESOURCE(execution_window); }

namespace kestrova {

namespace {

struct ButtonSpec {
    const char* key;
    const char* tooltip;
    bool toggle;
};

constexpr std::array<ButtonSpec, 8> kButtons = {{
    {"play", "Play", false},
    {"pause", "Pause", false},
    {"stop", "stop", false},
    {"step", "Step one frame.", false},
    {"playfrom", "Play from frame...", false},
    {"playto", "Play to frame...", false},
    {"playfromto", "Play from frame to frame...", false},
    {"loop", "Loop Mode", true},
}};

const char* const kPlaybackKeys[] = {"play", "step", "playfrom", "playto", "playfromto"};
const char* const kRunningKeys[] = {"pause", "stop"};

// The bundled pictures (SVG, drawn by Qt's SVG image plugin).
QIcon ToolbarIcon(const QString& key) { return QIcon(QStringLiteral(":/exe/icons/%1.svg").arg(key)); }

}  // namespace

frmExe::frmExe(Project& project, SerialLink& link, std::function<void()> buildAnimation, QWidget* parent,
               MessageHandler messages)
    : QWidget(parent, Qt::Tool),
      project_(project),
      buildAnimation_(std::move(buildAnimation)),
      messages_(std::move(messages)) {
    InitExecutionWindowResources();
    setObjectName(QStringLiteral("frmExe"));
    setWindowTitle(QStringLiteral("Animation Execution"));
    setAttribute(Qt::WA_DeleteOnClose);

    output_ = std::make_unique<SerialLinkOutput>(link);
    motion_ = &link.Live().Motion();  // playback and the sliders move the same servos
    soundFolder_ = ProjectFolder(project_.sFilename);
    sound_ = std::make_unique<QtSoundOutput>(soundFolder_);
    engine_ = std::make_unique<PlaybackEngine>(project_, *output_, *sound_, *this);
    engine_->SetMotion(motion_);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 0, 6, 6);
    BuildToolbar();
    layout->addWidget(toolbar_);

    auto* body = new QHBoxLayout;
    layout->addLayout(body);
    auto* left = new QVBoxLayout;
    body->addLayout(left, 1);

    // The graph with its vertical axis labels.
    timeline_ = new TimelineView(project_, this);
    keyframes_ = new KeyframeLayer(project_, *timeline_);
    toolbar_->addSeparator();
    toolbar_->addAction(keyframes_->SnapAction());
    auto* axis = new QWidget(this);
    axis->setObjectName(QStringLiteral("Label1"));
    auto* top = new QLabel(QStringLiteral("254"), axis);
    top->setObjectName(QStringLiteral("Label1_0"));
    auto* bottom = new QLabel(QStringLiteral("0"), axis);
    bottom->setObjectName(QStringLiteral("Label1_1"));
    axis->setFixedWidth(top->sizeHint().width() + 4);
    top->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    bottom->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // "254" level with the graph's top, "0" with its bottom, as it grows.
    auto placeAxis = [this, axis, top, bottom] {
        const int labelHeight = top->sizeHint().height();
        const int graphTop = timeline_->frameWidth() + kGraphTop;
        const int graphBottom = graphTop + timeline_->GraphHeight();
        top->setGeometry(0, graphTop - labelHeight / 2 + 1, axis->width() - 2, labelHeight);
        bottom->setGeometry(0, graphBottom - labelHeight / 2 - 1, axis->width() - 2, labelHeight);
    };
    placeAxis();
    connect(timeline_, &TimelineView::GraphResized, axis, placeAxis);
    auto* graphRow = new QHBoxLayout;
    graphRow->setSpacing(2);
    graphRow->addWidget(axis);
    graphRow->addWidget(timeline_, 1);
    left->addLayout(graphRow, 1);

    // Empty until the pointer is over the graph; it keeps the height of a line.
    pos_ = new QLabel(this);
    pos_->setObjectName(QStringLiteral("lblPos"));
    pos_->setMinimumHeight(pos_->fontMetrics().height() + 2 * pos_->frameWidth() + 2);
    pos_->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    pos_->setMinimumWidth(kViewportOuterWidth);
    auto* posRow = new QHBoxLayout;
    posRow->addSpacing(axis->width() + 2);
    posRow->addWidget(pos_, 1);
    left->addLayout(posRow);
    timeline_->SetReadoutLabel(pos_);

    // Frame rate and the animation's length.
    auto* info = new QGridLayout;
    info->setContentsMargins(axis->width() + 2, 6, 0, 0);
    auto* fpsCaption = new QLabel(QStringLiteral("Frames / Sec: "), this);
    fpsCaption->setObjectName(QStringLiteral("Label3"));
    fps_ = new QLabel(QStringLiteral("15"), this);
    fps_->setObjectName(QStringLiteral("lblFPS"));
    fps_->setMinimumWidth(fps_->fontMetrics().horizontalAdvance(QStringLiteral("000")));
    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName(QStringLiteral("Slider1"));
    slider_->setRange(1, 30);
    slider_->setValue(15);
    slider_->setTickPosition(QSlider::TicksBelow);
    slider_->setTickInterval(1);
    slider_->setPageStep(5);
    line_ = new QLabel(this);
    line_->setObjectName(QStringLiteral("lblLine"));
    line_->setToolTip(QStringLiteral("What the servo commands need of the serial line at this rate. Over 100%, "
                                     "servos take turns and each gets its newest position."));
    auto* fpsRow = new QHBoxLayout;
    fpsRow->addWidget(fpsCaption);
    fpsRow->addWidget(fps_);
    fpsRow->addWidget(slider_, 1);
    fpsRow->addWidget(line_);
    info->addLayout(fpsRow, 0, 0, 1, 2);
    auto* framesCaption = new QLabel(QStringLiteral("Animation Frames:"), this);
    framesCaption->setObjectName(QStringLiteral("Label2_0"));
    frames_ = new QLabel(QStringLiteral("0"), this);
    frames_->setObjectName(QStringLiteral("lblFrames"));
    auto* timeCaption = new QLabel(QStringLiteral("Animation Time (S):"), this);
    timeCaption->setObjectName(QStringLiteral("Label2_1"));
    time_ = new QLabel(QStringLiteral("0"), this);
    time_->setObjectName(QStringLiteral("lblTime"));
    info->addWidget(framesCaption, 1, 0);
    info->addWidget(frames_, 1, 1);
    info->addWidget(timeCaption, 2, 0);
    info->addWidget(time_, 2, 1);
    dropped_ = new QLabel(this);
    dropped_->setObjectName(QStringLiteral("lblDropped"));
    info->addWidget(dropped_, 3, 0, 1, 2);
    info->setColumnStretch(1, 1);
    left->addLayout(info);
    connect(slider_, &QSlider::valueChanged, this, [this] { SliderChanged(); });
    timeline_->SetFramesPerSecond(slider_->value());
    keyframes_->SetFramesPerSecond(slider_->value());
    connect(keyframes_, &KeyframeLayer::tableChanged, this, [this] {
        frames_->setText(QString::number(project_.Frames.UpperBound()));
        time_->setText(QString::fromStdString(DurationText(project_.Frames.UpperBound(), slider_->value())));
    });
    timeline_->SetSoundFolder(soundFolder_);

    // The servos: a colour swatch and a check box each.
    auto* servos = new QGroupBox(QStringLiteral("Servos"), this);
    servos->setObjectName(QStringLiteral("fraServos"));
    auto* grid = new QGridLayout(servos);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(2);
    for (int i = 0; i < kServoCount; ++i) {
        auto* swatch = new QLabel(servos);
        swatch->setObjectName(QStringLiteral("lblColor%1").arg(i));
        swatch->setFixedSize(12, 12);
        swatch->setFrameStyle(QFrame::Box | QFrame::Plain);
        swatch->setAutoFillBackground(true);
        QPalette palette = swatch->palette();
        palette.setColor(QPalette::Window, ServoColor(i));
        swatch->setPalette(palette);
        auto* check = new QCheckBox(QString::fromStdString("- " + project_.Servos[i].Name), servos);
        check->setObjectName(QStringLiteral("chkName%1").arg(i));
        connect(check, &QCheckBox::toggled, this, [this] { ServoClicked(); });
        const int row = i % 8, column = (i / 8) * 2;
        grid->addWidget(swatch, row, column);
        grid->addWidget(check, row, column + 1);
        swatches_[i] = swatch;
        checks_[i] = check;
    }
    checkAll_ = new QPushButton(QStringLiteral("&Check All"), servos);
    checkAll_->setObjectName(QStringLiteral("Command1"));
    uncheckAll_ = new QPushButton(QStringLiteral("&Uncheck All"), servos);
    uncheckAll_->setObjectName(QStringLiteral("Command2"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(checkAll_);
    buttons->addWidget(uncheckAll_);
    grid->addLayout(buttons, 8, 0, 1, 4);
    grid->setRowStretch(9, 1);
    connect(checkAll_, &QPushButton::clicked, this, [this] { CheckAll(); });
    connect(uncheckAll_, &QPushButton::clicked, this, [this] { UncheckAll(); });
    auto* side = new QVBoxLayout;
    side->addWidget(servos);
    side->addWidget(recorder_ = new RecordPanel(*this, project_));
    side->addStretch(1);
    body->addLayout(side);

    SetPlaybackButtons(true);
    SetRunningButtons(false);
    ShowLineLoad();
    project_.ExeWindowOpen = true;
}

frmExe::~frmExe() { project_.ExeWindowOpen = false; }

void frmExe::BuildToolbar() {
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("Toolbar1"));
    toolbar_->setIconSize(QSize(16, 16));
    toolbar_->setToolButtonStyle(Qt::ToolButtonIconOnly);
    for (const ButtonSpec& spec : kButtons) {
        const QString key = QString::fromLatin1(spec.key);
        QAction* action = toolbar_->addAction(ToolbarIcon(key), QString::fromLatin1(spec.tooltip));
        action->setObjectName(key);
        action->setToolTip(QString::fromLatin1(spec.tooltip));
        action->setCheckable(spec.toggle);
        connect(action, &QAction::triggered, this, [this, key] { ToolbarClick(key); });
        if (key == "stop" || key == "playfromto") toolbar_->addSeparator();
    }
    // The graph's zoom, also on the keyboard while the window is active.
    toolbar_->addSeparator();
    struct ZoomButton {
        const char* key;
        const char* tooltip;
        QKeySequence keys;
        int direction;  // +1 in, -1 out, 0 fit to the window
    };
    const ZoomButton zooms[] = {
        {"zoomin", "Zoom In (Ctrl++)", QKeySequence(Qt::CTRL | Qt::Key_Plus), +1},
        {"zoomout", "Zoom Out (Ctrl+-)", QKeySequence(Qt::CTRL | Qt::Key_Minus), -1},
        {"zoomfit", "Fit to Window (Ctrl+0)", QKeySequence(Qt::CTRL | Qt::Key_0), 0},
    };
    for (const ZoomButton& zoom : zooms) {
        const QString key = QString::fromLatin1(zoom.key);
        QAction* action = toolbar_->addAction(ToolbarIcon(key), QString::fromLatin1(zoom.tooltip));
        action->setObjectName(key);
        QList<QKeySequence> keys{zoom.keys};
        if (key == "zoomin") keys << QKeySequence(Qt::CTRL | Qt::Key_Equal);  // "+" without Shift
        action->setShortcuts(keys);
        action->setShortcutContext(Qt::WindowShortcut);
        addAction(action);
        const int direction = zoom.direction;
        connect(action, &QAction::triggered, this, [this, direction] {
            if (direction > 0)
                timeline_->ZoomIn(-1);
            else if (direction < 0)
                timeline_->ZoomOut(-1);
            else
                timeline_->FitToWindow();
        });
    }
}

QAction* frmExe::ToolbarButton(const QString& key) const {
    return toolbar_->findChild<QAction*>(key, Qt::FindDirectChildrenOnly);
}

bool frmExe::Playing() const { return engine_->Playing(); }

bool frmExe::AskToBuild(const char* firstLine) {
    // A build that failed is not offered again for the same programs: the
    // user has seen why, and only a change can make it succeed.
    if (failedBuild_ && failedBuild_->first == project_.Programs && failedBuild_->second == project_.Servos)
        return false;
    const MessageAnswer answer =
        Ask(messages_, Message{std::string(firstLine) + "\r\nWould you like to build it now?", "Build Animation?",
                               MessageIcon::Question, MessageButtons::YesNo});
    if (answer != MessageAnswer::Yes) return false;
    // The build refreshes this window when it ends; that call waits for this one.
    building_ = true;
    if (buildAnimation_) buildAnimation_();
    building_ = false;
    if (project_.Built && !project_.ModifiedSinceBuild) failedBuild_.reset();
    else failedBuild_.emplace(project_.Programs, project_.Servos);
    return true;
}

void frmExe::UpdateGraph(bool bDoChecks) {
    if (suppressRedraw_ || projectChanging_ || building_) return;
    if (!project_.Built || project_.ModifiedSinceBuild) {
        if (!AskToBuild(project_.Built ? "The animation has been modified since it was built last."
                                       : "The animation has not been built."))
            return;
        if (!project_.Built || project_.ModifiedSinceBuild) return;
        bDoChecks = true;  // a new build: the check boxes start afresh
    }
    const int32_t frames = project_.Frames.UpperBound();
    // Nothing compiled: nothing to show.
    if (frames <= 1) return;
    timeline_->SetSoundFolder(ProjectFolder(project_.sFilename));
    timeline_->SetSoundOffsetMs(soundOffset_ ? soundOffset_() : 0);

    const bool autoDisable = project_.Settings.AutoDisable != 0;
    if (bDoChecks) {
        suppressRedraw_ = true;
        for (int i = 0; i < kServoCount; ++i) checks_[i]->setChecked(ServoTakesPart(project_.Servos[i], autoDisable));
        suppressRedraw_ = false;
    }

    std::array<CurveStyle, kServoCount> curves;
    const QColor buttonFace = palette().color(QPalette::Button);
    for (int i = 0; i < kServoCount; ++i) {
        const ServoRecord& servo = project_.Servos[i];
        const bool takesPart = ServoTakesPart(servo, autoDisable);
        const QColor color = takesPart ? ServoColor(i) : buttonFace;
        QPalette palette = swatches_[i]->palette();
        palette.setColor(QPalette::Window, color);
        swatches_[i]->setPalette(palette);
        checks_[i]->setText(QString::fromStdString("- " + servo.Name));
        // A playback in progress keeps them disabled until it ends.
        checks_[i]->setEnabled(takesPart && !engine_->Playing());
        curves[i] = CurveStyle{servo.Enabled && checks_[i]->isChecked(), color};
    }

    keyframes_->Built();
    timeline_->Draw(curves, bDoChecks);
    recorder_->ShowServos();
    frames_->setText(QString::number(frames));
    time_->setText(QString::fromStdString(DurationText(frames, slider_->value())));
    ShowLineLoad();
    if (!isVisible()) {
        PlaceOnScreen();
        show();
    }
}

QRect FitOnScreen(const QRect& frame, const QRect& available) {
    QRect fitted = frame;
    // Too large a window keeps its top left corner, with the title bar, on
    // the screen.
    fitted.moveRight(std::min(fitted.right(), available.right()));
    fitted.moveBottom(std::min(fitted.bottom(), available.bottom()));
    fitted.moveLeft(std::max(fitted.left(), available.left()));
    fitted.moveTop(std::max(fitted.top(), available.top()));
    return fitted;
}

void frmExe::PlaceOnScreen() {
    adjustSize();
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    QScreen* screen = owner ? owner->screen() : this->screen();
    if (!screen) return;
    // The frame the window manager adds is not known before the window is
    // shown: a title bar's height above, a few pixels around.
    const int title = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    const int border = 4;
    QRect frame(0, 0, width() + 2 * border, height() + title + border);
    frame.moveCenter(owner ? owner->frameGeometry().center() : screen->availableGeometry().center());
    // A window's position is that of its frame.
    move(FitOnScreen(frame, screen->availableGeometry()).topLeft());
}

void frmExe::ProjectReplaced() {
    projectChanging_ = false;
    failedBuild_.reset();
    if (engine_->Playing()) return;  // the show that plays is a copy; the new project waits
    dropped_->clear();
    if (project_.Built && !project_.ModifiedSinceBuild) {
        UpdateGraph(true);
        return;
    }
    // Not built yet: an empty graph until the user builds it.
    std::array<CurveStyle, kServoCount> curves;
    const QColor buttonFace = palette().color(QPalette::Button);
    for (int i = 0; i < kServoCount; ++i) {
        checks_[i]->setText(QString::fromStdString("- " + project_.Servos[i].Name));
        curves[i] = CurveStyle{false, buttonFace};
    }
    timeline_->Draw(curves, true);
    frames_->setText(QStringLiteral("0"));
    time_->setText(QStringLiteral("0"));
    pos_->clear();
    ShowLineLoad();
}

void frmExe::ShowLineLoad() {
    const LineLoad load = ProjectLineLoad(project_, slider_->value(), engine_->LineBaud());
    line_->setText(QString::fromStdString(load.text));
    line_->setStyleSheet(load.percent > 100.0 + 1e-9 ? QStringLiteral("color: #c00000; font-weight: bold;") : QString());
}

void frmExe::SliderChanged() {
    fps_->setText(QString::number(slider_->value()));
    ShowLineLoad();
    timeline_->SetFramesPerSecond(slider_->value());
    keyframes_->SetFramesPerSecond(slider_->value());
    time_->setText(QString::fromStdString(DurationText(project_.Frames.UpperBound(), slider_->value())));
}

void frmExe::ServoClicked() { UpdateGraph(false); }

void frmExe::CheckAll() {
    const bool autoDisable = project_.Settings.AutoDisable != 0;
    suppressRedraw_ = true;
    for (int i = 0; i < kServoCount; ++i) checks_[i]->setChecked(ServoTakesPart(project_.Servos[i], autoDisable));
    suppressRedraw_ = false;
    UpdateGraph(false);
}

void frmExe::UncheckAll() {
    suppressRedraw_ = true;
    for (QCheckBox* check : checks_) check->setChecked(false);
    suppressRedraw_ = false;
    UpdateGraph(false);
}

void frmExe::SetPlaybackButtons(bool enabled) {
    for (const char* key : kPlaybackKeys) ToolbarButton(QString::fromLatin1(key))->setEnabled(enabled);
}

void frmExe::SetRunningButtons(bool enabled) {
    for (const char* key : kRunningKeys) ToolbarButton(QString::fromLatin1(key))->setEnabled(enabled);
}

void frmExe::PrepareEngine() {
    if (engine_->Playing()) return;
    const std::string folder = ProjectFolder(project_.sFilename);
    if (folder == soundFolder_) return;
    engine_.reset();
    soundFolder_ = folder;
    sound_ = std::make_unique<QtSoundOutput>(soundFolder_);
    engine_ = std::make_unique<PlaybackEngine>(project_, *output_, *sound_, *this);
    engine_->SetMotion(motion_);
}

void frmExe::SetSoundOffsetSource(std::function<int32_t()> source) {
    soundOffset_ = std::move(source);
    timeline_->SetSoundOffsetMs(soundOffset_ ? soundOffset_() : 0);
}

void frmExe::PlayRange(int32_t startFrame, int32_t endFrame) {
    SetPlaybackButtons(false);
    SetRunningButtons(true);
    ShowLineLoad();
    dropped_->clear();
    // The lane shows the cues where this playback will start them.
    const int32_t offset = soundOffset_ ? soundOffset_() : 0;
    engine_->SetSoundOffset(offset);
    timeline_->SetSoundOffsetMs(offset);
    emit playbackRunning(true);
    engine_->PlayAnimation(startFrame, endFrame);
    emit playbackRunning(false);
    if (const int32_t dropped = engine_->DroppedFrames(); dropped > 0) {
        dropped_->setText(QStringLiteral("Dropped frames: %1 (sent too late to keep time, overtaken by the next)")
                              .arg(dropped));
    }
    SetPlaybackButtons(true);
    SetRunningButtons(false);
}

void frmExe::PlayTake(int32_t startFrame, int32_t endFrame, FrameOverride* take) {
    PrepareEngine();
    engine_->SetFrameOverride(take);
    PlayRange(startFrame, endFrame);
    engine_->SetFrameOverride(nullptr);
}

void frmExe::ToolbarClick(const QString& key) {
    PrepareEngine();
    PlaybackEngine& engine = *engine_;
    const int32_t frames = project_.Frames.UpperBound();
    if (key == "play") {
        if (engine.bPause) {
            // The paused playback goes on.
            SetPlaybackButtons(false);
            SetRunningButtons(true);
            engine.bPause = false;
        } else {
            PlayRange(1, frames);
        }
    } else if (key == "pause") {
        engine.bPause = true;
        ToolbarButton("play")->setEnabled(true);
        ToolbarButton("step")->setEnabled(true);
        ToolbarButton("pause")->setEnabled(false);
    } else if (key == "stop") {
        engine.bStop = true;
    } else if (key == "step") {
        if (engine.bPause) {
            // One more frame plays, then the engine pauses again.
            SetPlaybackButtons(false);
            SetRunningButtons(true);
            engine.bStep = true;
            engine.bPause = false;
        } else {
            engine.bStep = true;
            PlayRange(1, frames);
        }
    } else if (key == "playfrom") {
        PlayRange(timeline_->StartFrame(), frames);
    } else if (key == "playto") {
        PlayRange(1, timeline_->StopFrame());
    } else if (key == "playfromto") {
        PlayRange(timeline_->StartFrame(), timeline_->StopFrame());
    }
    // "loop": the engine reads the button at the end of each pass.
}

void frmExe::closeEvent(QCloseEvent* event) {
    // A playback runs inside this window's handlers until it ends: while it
    // runs or is paused the window stays.
    if (engine_->Playing()) {
        event->ignore();
        return;
    }
    // Gone for the others at once, though deleted only later.
    project_.ExeWindowOpen = false;
    QWidget::closeEvent(event);
}

int frmExe::FramesPerSecond() { return slider_->value(); }

void frmExe::SetGraphControlsEnabled(bool enabled) {
    slider_->setEnabled(enabled);
    timeline_->SetGraphControlsEnabled(enabled);
}

void frmExe::SetServoCheckEnabled(int servo, bool enabled) {
    if (servo >= 0 && servo < kServoCount) checks_[servo]->setEnabled(enabled);
}

void frmExe::SetCheckAllButtonsEnabled(bool enabled) {
    checkAll_->setEnabled(enabled);
    uncheckAll_->setEnabled(enabled);
}

void frmExe::SetRateSliderEnabled(bool enabled) { slider_->setEnabled(enabled); }
void frmExe::SetMarkersEnabled(bool enabled) { timeline_->SetMarkersEnabled(enabled); }
void frmExe::ShowPlayMarker() { timeline_->ShowPlayMarker(); }
void frmExe::MovePlayMarker(int32_t frame) { timeline_->MovePlayMarker(frame); }
void frmExe::HidePlayMarker() { timeline_->HidePlayMarker(); }
void frmExe::KeepFrameInView(int32_t frame) { timeline_->KeepFrameInView(frame); }
void frmExe::SetPositionCaption(const std::string& caption) { pos_->setText(QString::fromStdString(caption)); }

void frmExe::ShowSteppedButtons() {
    ToolbarButton("play")->setEnabled(true);
    ToolbarButton("step")->setEnabled(true);
    ToolbarButton("pause")->setEnabled(false);
}

bool frmExe::LoopPressed() { return ToolbarButton("loop")->isChecked(); }

void frmExe::Pump() {
    // While paused nothing is due: sleep until the user (or a timer) does
    // something rather than spin.
    const bool paused = engine_->bPause && !engine_->bStop;
    QCoreApplication::processEvents(paused ? QEventLoop::WaitForMoreEvents : QEventLoop::AllEvents);
}

void frmExe::Tell(const Message& message) { Ask(messages_, message); }

}  // namespace kestrova
