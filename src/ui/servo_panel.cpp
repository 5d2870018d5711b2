// The servo control pane of the main window: 16 servo frames with their
// live sliders, position labels and Home, Min, Max and Log buttons.

#include "kvx_edit_ctrl.h"
#include "main_window.h"
#include "servo_slider.h"
#include "program_diagnostics.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>

#include <algorithm>

namespace kestrova {

namespace {

// Frame tops in each of the two columns (twips), servo 0 and 8 at the top.
constexpr int kFrameTops[8] = {400, 1295, 2190, 3085, 3980, 4875, 5740, 6665};
constexpr int kColumnLefts[2] = {120, 2520};

// A slider holds 16-bit values; servo records may hold anything.
int SliderValue(int32_t value) { return std::clamp<int32_t>(value, -32768, 32767); }

}  // namespace

void frmMain::BuildServoFrame(int i) {
    auto* frame = new QGroupBox(QStringLiteral("Servo #"), picServoControlBG_);
    frame->setObjectName(QStringLiteral("frmServo"));
    frame->setGeometry(Twips(kColumnLefts[i / 8]), Twips(kFrameTops[i % 8]), Twips(2295), Twips(800));

    auto* slider = new ServoSlider(frame);
    slider->setObjectName(QStringLiteral("hscServo"));
    slider->setGeometry(Twips(120), Twips(240), Twips(1700), Twips(135));
    slider->setRange(0, 254);
    slider->setSingleStep(1);
    slider->setPageStep(1);
    slider->setValue(127);

    auto* label = new QLabel(QStringLiteral("127"), frame);
    label->setObjectName(QStringLiteral("lblPos"));
    // Room up to the frame's edge for a refused position's "!".
    label->setGeometry(Twips(1905), Twips(180), Twips(2295 - 1905) - 2, Twips(195));

    auto button = [frame](const char* name, const char* caption, int left, int width) {
        auto* b = new QPushButton(QString::fromLatin1(caption), frame);
        b->setObjectName(QString::fromLatin1(name));
        b->setGeometry(Twips(left), Twips(420), Twips(width), Twips(255));
        b->setFocusPolicy(Qt::StrongFocus);
        return b;
    };
    QPushButton* home = button("cmdHome", "Home", 120, 615);
    QPushButton* min = button("cmdMin", "Min", 720, 495);
    QPushButton* max = button("cmdMax", "Max", 1200, 495);
    QPushButton* log = button("cmdLog", "Log", 1680, 495);
    // The buttons stand in front of the slider and the label.
    for (QPushButton* b : {home, min, max, log}) b->raise();

    for (QWidget* control : std::initializer_list<QWidget*>{frame, slider, label, home, min, max, log}) {
        control->setProperty("index", i);
        control->installEventFilter(this);
    }
    connect(slider, &QScrollBar::valueChanged, this, [this, i](int value) { ServoSliderMoved(i, value); });
    // The end of a drag sends the position once more, as a final change.
    connect(slider, &QScrollBar::sliderReleased, this, [this, i] { ServoSliderMoved(i, hscServo_[i]->value()); });
    connect(home, &QPushButton::clicked, this, [this, i] { cmdHome_Click(i); });
    connect(min, &QPushButton::clicked, this, [this, i] { cmdMin_Click(i); });
    connect(max, &QPushButton::clicked, this, [this, i] { cmdMax_Click(i); });
    connect(log, &QPushButton::clicked, this, [this, i] { cmdLog_Click(i); });

    frmServo_[i] = frame;
    hscServo_[i] = slider;
    lblPos_[i] = label;
    cmdHome_[i] = home;
    cmdMin_[i] = min;
    cmdMax_[i] = max;
    cmdLog_[i] = log;
}

void frmMain::ServoSliderMoved(int servo, int value) {
    ServoSliderChanged(link_, project_.Settings, servo, value, *this);
}

void frmMain::SetPositionLabel(int servo, const std::string& text) {
    lblPos_[servo]->setText(QString::fromStdString(text));
}

void frmMain::SetPositionSendable(int servo, bool sendable) {
    QLabel* label = lblPos_[servo];
    label->setStyleSheet(sendable ? QString() : QStringLiteral("color: #c00000"));
    label->setToolTip(sendable ? QString()
                               : QStringLiteral("Not sent: the controller takes positions %1 to %2.")
                                     .arg(kLowestSendablePosition)
                                     .arg(kHighestSendablePosition));
}

void frmMain::cmdHome_Click(int servo) { hscServo_[servo]->setValue(SliderValue(project_.Servos[servo].Home)); }
void frmMain::cmdMin_Click(int servo) { hscServo_[servo]->setValue(SliderValue(project_.Servos[servo].Min)); }
void frmMain::cmdMax_Click(int servo) { hscServo_[servo]->setValue(SliderValue(project_.Servos[servo].Max)); }

void frmMain::UpdateServoSettings() {
    for (int i = 0; i < kServoCount; ++i) {
        const ServoRecord& servo = project_.Servos[i];
        const int low = SliderValue(servo.Min);
        // A record whose Max lies below its Min leaves the slider one value.
        // A slider pushed into its new range sends where it went, but only a
        // position within the servo's limits: a new range never moves a
        // servo anywhere its limits do not allow.
        QScrollBar* slider = hscServo_[i];
        const int before = slider->value();
        {
            const QSignalBlocker quiet(slider);
            slider->setRange(low, std::max(low, SliderValue(servo.Max)));
        }
        if (slider->value() != before) {
            if (slider->value() >= servo.Min && slider->value() <= servo.Max) {
                ServoSliderMoved(i, slider->value());
            } else {
                SetPositionLabel(i, std::to_string(slider->value()));
            }
        }
        QString name = QString::fromStdString(servo.Name);
        frmServo_[i]->setTitle(name.replace(QLatin1Char('&'), QStringLiteral("&&")));
        for (QWidget* control : std::initializer_list<QWidget*>{hscServo_[i], lblPos_[i], cmdHome_[i], cmdMin_[i],
                                                                cmdMax_[i], cmdLog_[i], frmServo_[i]})
            control->setEnabled(servo.Enabled);
    }
    ShowInstructionsCaption();
    // Limits and Home decide what the programs compile to.
    diagnostics_->ScheduleAll();
    if (project_.ExeWindowOpen) UpdateExecutionGraph(false);
}

}  // namespace kestrova
