#include "servo_panel.h"

#include "servo_slider.h"
#include "twips.h"

#include <QCheckBox>
#include <QEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QStyleOptionGroupBox>

#include <algorithm>

namespace kestrova {

namespace {

// Frame tops in each of the two columns (twips), servo 0 and 8 at the top.
constexpr int kFrameTops[8] = {400, 1295, 2190, 3085, 3980, 4875, 5740, 6665};
constexpr int kColumnLefts[2] = {120, 2520};
constexpr int kFrameWidth = 2295;

// A slider holds 16-bit values; servo records may hold anything.
int SliderValue(int32_t value) { return std::clamp<int32_t>(value, -32768, 32767); }

}  // namespace

QFont PaneFont() {
    QFont tahoma(QStringLiteral("Tahoma"));
    tahoma.setPointSizeF(8);
    return tahoma;
}

void PaintPaneCaption(QLabel* label, const QPalette& base, bool active) {
    QPalette colours = label->palette();
    const QColor background = active ? base.color(QPalette::Active, QPalette::Highlight) : base.color(QPalette::Mid);
    const QColor text =
        active ? base.color(QPalette::Active, QPalette::HighlightedText) : base.color(QPalette::Active, QPalette::Light);
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
        colours.setColor(group, QPalette::Window, background);
        colours.setColor(group, QPalette::WindowText, text);
    }
    label->setPalette(colours);
}

ServoPanel::ServoPanel(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("picServoControlBG"));
    // Before any control exists: the port box takes its width from it.
    setFont(PaneFont());

    picServoControl_ = new QWidget(this);
    picServoControl_->setObjectName(QStringLiteral("picServoControl"));
    lblServoControl_ = new QLabel(QStringLiteral("Servo Control"), picServoControl_);
    lblServoControl_->setObjectName(QStringLiteral("lblServoControl"));
    lblServoControl_->setAutoFillBackground(true);
    lblServoControl_->setIndent(Twips(120));
    chkCOM_ = new QCheckBox(QStringLiteral("COM Closed"), picServoControl_);
    chkCOM_->setObjectName(QStringLiteral("chkCOM"));
    // The box keeps its design right edge and grows to the left when the
    // font needs more room than the design gave it.
    const int comWidth = std::max(Twips(1215), chkCOM_->sizeHint().width());
    chkCOM_->setGeometry(Twips(3600 + 1215) - comWidth, Twips(23), comWidth, Twips(255));
    connect(chkCOM_, &QCheckBox::clicked, this, &ServoPanel::portClicked);

    for (int i = 0; i < kServoCount; ++i) BuildFrame(i);
}

void ServoPanel::BuildFrame(int i) {
    auto* frame = new QGroupBox(QStringLiteral("Servo #"), this);
    frame->setObjectName(QStringLiteral("frmServo"));
    frame->setGeometry(Twips(kColumnLefts[i / 8]), Twips(kFrameTops[i % 8]), Twips(kFrameWidth), Twips(800));
    // The controls stand inside the frame's border, below its title, however
    // tall the style draws that title.
    const int top = std::max(Twips(180), frame->contentsRect().top() + 1);
    const int sliderHeight = std::max(Twips(135), fontMetrics().height() - 3);

    auto* slider = new ServoSlider(frame);
    slider->setObjectName(QStringLiteral("hscServo"));
    slider->setGeometry(Twips(120), top, Twips(1700), sliderHeight);
    slider->setRange(0, 254);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setValue(127);

    auto* label = new QLabel(QStringLiteral("127"), frame);
    label->setObjectName(QStringLiteral("lblPos"));
    // Room up to the frame's edge for a refused position's "!".
    label->setGeometry(Twips(1905), top, Twips(kFrameWidth - 1905) - 4, sliderHeight);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    // At the title row's right end, a little smaller than the title.
    auto* unknown = new QLabel(QStringLiteral("position unknown"), frame);
    unknown->setObjectName(QStringLiteral("lblUnknown"));
    QFont small = unknown->font();
    small.setPointSizeF(small.pointSizeF() - 1);
    unknown->setFont(small);
    unknown->setForegroundRole(QPalette::PlaceholderText);
    unknown->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    unknown->setToolTip(QStringLiteral("Nothing has been sent to this servo on the open port yet: its first "
                                       "command goes out at once, without the speed caps"));
    QStyleOptionGroupBox option;
    option.initFrom(frame);
    option.text = frame->title();
    option.subControls = QStyle::SC_GroupBoxLabel;
    const QRect title = frame->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxLabel, frame);
    const int unknownWidth = unknown->sizeHint().width();
    unknown->setGeometry(frame->width() - unknownWidth - Twips(60), title.top(), unknownWidth, title.height());

    const int buttonTop = top + sliderHeight + 3;
    auto button = [frame, buttonTop](const char* name, const char* caption, int left, int width) {
        auto* b = new QPushButton(QString::fromLatin1(caption), frame);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(Twips(left), buttonTop, Twips(width), Twips(255));
        b->setFocusPolicy(Qt::StrongFocus);
        return b;
    };
    QPushButton* home = button("cmdHome", "Home", 120, 615);
    QPushButton* min = button("cmdMin", "Min", 720, 495);
    QPushButton* max = button("cmdMax", "Max", 1200, 495);
    QPushButton* log = button("cmdLog", "Log", 1680, 495);
    frame->resize(frame->width(), buttonTop + Twips(255) + frame->contentsMargins().bottom() + 3);
    // The buttons stand in front of the slider and the label.
    for (QPushButton* b : {home, min, max, log}) b->raise();

    for (QWidget* control : std::initializer_list<QWidget*>{frame, slider, label, home, min, max, log}) {
        control->setProperty("index", i);
        control->installEventFilter(this);
    }
    connect(slider, &QScrollBar::valueChanged, this, [this, i](int value) { emit positionChanged(i, value); });
    // The end of a drag sends the position once more, as a final change.
    connect(slider, &QScrollBar::sliderReleased, this, [this, i, slider] { emit positionChanged(i, slider->value()); });
    connect(home, &QPushButton::clicked, this, [this, i] { emit jumpRequested(i, Jump::Home); });
    connect(min, &QPushButton::clicked, this, [this, i] { emit jumpRequested(i, Jump::Min); });
    connect(max, &QPushButton::clicked, this, [this, i] { emit jumpRequested(i, Jump::Max); });
    connect(log, &QPushButton::clicked, this, [this, i, slider] { emit logRequested(i, slider->value()); });

    frames_[i] = {frame, slider, label, unknown, home, min, max, log, frame->title()};
}

QScrollBar* ServoPanel::hscServo(int servo) const { return frames_[servo].slider; }

void ServoPanel::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    picServoControl_->setGeometry(0, 0, width(), Twips(kCaptionStripHeight));
    lblServoControl_->setGeometry(0, 0, picServoControl_->width(), Twips(kCaptionStripHeight));
}

bool ServoPanel::eventFilter(QObject* watched, QEvent* event) {
    const QVariant index = watched->property("index");
    if (index.isValid()) {
        const Frame& f = frames_[index.toInt()];
        const bool focusTaker = watched == f.slider || watched == f.home || watched == f.min || watched == f.max ||
                                watched == f.log;
        const bool clicked =
            event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick;
        const bool selects = (event->type() == QEvent::FocusIn && focusTaker) ||
                             (clicked && (watched == f.frame || watched == f.label));
        // Disabled controls still pass their clicks through here.
        if (selects && static_cast<QWidget*>(watched)->isEnabled()) emit servoSelected(index.toInt());
    }
    return QWidget::eventFilter(watched, event);
}

std::vector<int> ServoPanel::ShowServos(const std::array<ServoRecord, kServoCount>& servos) {
    std::vector<int> pushed;
    for (int i = 0; i < kServoCount; ++i) {
        const ServoRecord& servo = servos[i];
        const Frame& f = frames_[i];
        const int low = SliderValue(servo.Min);
        const int before = f.slider->value();
        {
            // A record whose Max lies below its Min leaves the slider one value.
            const QSignalBlocker quiet(f.slider);
            f.slider->setRange(low, std::max(low, SliderValue(servo.Max)));
        }
        if (f.slider->value() != before) {
            f.label->setText(QString::number(f.slider->value()));
            pushed.push_back(i);
        }
        frames_[i].name = QString::fromStdString(servo.Name);
        ShowTitle(i);
        for (QWidget* control : std::initializer_list<QWidget*>{f.slider, f.label, f.home, f.min, f.max, f.log, f.frame})
            control->setEnabled(servo.Enabled);
    }
    return pushed;
}

void ServoPanel::MoveSlider(int servo, int32_t value) { frames_[servo].slider->setValue(SliderValue(value)); }

int ServoPanel::Position(int servo) const { return frames_[servo].slider->value(); }

void ServoPanel::SetPositionText(int servo, const QString& text) { frames_[servo].label->setText(text); }

void ServoPanel::SetPositionWarning(int servo, const QString& warning) {
    QLabel* label = frames_[servo].label;
    // A palette, not a style sheet: the label keeps the pane's font.
    QPalette colours;
    if (!warning.isEmpty()) {
        colours = label->palette();
        colours.setColor(QPalette::WindowText, QColor(0xc0, 0x00, 0x00));
    }
    label->setPalette(colours);
    label->setToolTip(warning);
}

void ServoPanel::SetPositionKnown(int servo, bool known) {
    frames_[servo].unknown->setVisible(!known);
    ShowTitle(servo);
}

void ServoPanel::ShowTitle(int servo) {
    const Frame& f = frames_[servo];
    const int room = (f.unknown->isHidden() ? f.frame->width() : f.unknown->x()) - Twips(180);
    QString title = f.frame->fontMetrics().elidedText(f.name, Qt::ElideRight, std::max(room, 0));
    f.frame->setToolTip(title == f.name ? QString() : f.name);
    f.frame->setTitle(title.replace(QLatin1Char('&'), QStringLiteral("&&")));
}

bool ServoPanel::PositionKnown(int servo) const { return frames_[servo].unknown->isHidden(); }

void ServoPanel::SetPortChecked(bool checked) { chkCOM_->setChecked(checked); }

void ServoPanel::SetPortCaption(const QString& caption) { chkCOM_->setText(caption); }

void ServoPanel::SetCaptionActive(bool active) {
    PaintPaneCaption(lblServoControl_, palette(), active);
    // The port check box stands on the caption and takes its text colour.
    QPalette box = chkCOM_->palette();
    box.setColor(QPalette::WindowText, lblServoControl_->palette().color(QPalette::WindowText));
    chkCOM_->setPalette(box);
}

}  // namespace kestrova
