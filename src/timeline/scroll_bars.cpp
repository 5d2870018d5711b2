#include "scroll_bars.h"

#include <QAbstractSlider>
#include <QScrollBar>

#include <algorithm>

namespace kestrova {

namespace {

int64_t Clamp32(int64_t v) {
    return std::clamp<int64_t>(v, INT32_MIN, INT32_MAX);
}

}  // namespace

cScrollBars::cScrollBars(QObject* parent) : QObject(parent) {}

cScrollBars::~cScrollBars() { Detach(); }

void cScrollBars::Create(QScrollBar* horizontal, QScrollBar* vertical) {
    Detach();
    bars_ = {horizontal, vertical};
    for (int b = 0; b < 2; ++b) {
        QScrollBar* bar = bars_[b];
        if (!bar) continue;
        Record& r = records_[b];
        r.min = bar->minimum();
        r.page = bar->pageStep();
        r.max = static_cast<int32_t>(Clamp32(int64_t(bar->maximum()) + std::max(r.page - 1, 0)));
        r.reported = bar->value();
        Apply(b);
        connect(bar, &QAbstractSlider::actionTriggered, this, [this, b](int action) { OnAction(b, action); });
        connect(bar, &QAbstractSlider::sliderReleased, this, [this, b] {
            ScrollAction(b, ThumbReleased);
            ScrollAction(b, EndScroll);
        });
        connect(bar, &QObject::destroyed, this, [this, b] { bars_[b] = nullptr; });
    }
}

void cScrollBars::Detach() {
    for (QScrollBar*& bar : bars_) {
        if (bar) disconnect(bar, nullptr, this, nullptr);
        bar = nullptr;
    }
}

QScrollBar* cScrollBars::Bar(int eBar) const { return Valid(eBar) ? bars_[eBar] : nullptr; }

void cScrollBars::Apply(int eBar) {
    QScrollBar* bar = bars_[eBar];
    if (!bar) return;
    const Record& r = records_[eBar];
    // The system lets the position run to range maximum - page + 1.
    const int64_t top = std::max<int64_t>(r.min, int64_t(r.max) - std::max(r.page - 1, 0));
    applying_ = true;
    bar->setPageStep(std::max(r.page, 0));
    bar->setRange(r.min, static_cast<int>(Clamp32(top)));
    applying_ = false;
}

bool cScrollBars::Visible(int eBar) const { return Valid(eBar) && records_[eBar].visible; }

void cScrollBars::SetVisible(int eBar, bool bState) {
    if (!Valid(eBar)) return;
    records_[eBar].visible = bState;
    if (bars_[eBar]) bars_[eBar]->setVisible(bState);
}

void cScrollBars::SetOrientation(int eOrientation) {
    orientation_ = eOrientation;
    for (int b = 0; b < 2; ++b) {
        const bool shown = eOrientation == OrientBoth || eOrientation == b;
        if (bars_[b]) bars_[b]->setVisible(shown);
    }
}

int32_t cScrollBars::SmallChange(int eBar) const { return Valid(eBar) ? records_[eBar].smallChange : 0; }

void cScrollBars::SetSmallChange(int eBar, int32_t lSmallChange) {
    if (!Valid(eBar)) return;
    records_[eBar].smallChange = lSmallChange;
    if (bars_[eBar]) bars_[eBar]->setSingleStep(std::max(lSmallChange, 1));
}

bool cScrollBars::Enabled(int eBar) const { return Valid(eBar) && records_[eBar].enabled; }

void cScrollBars::SetEnabled(int eBar, bool bEnabled) {
    if (!Valid(eBar)) return;
    records_[eBar].enabled = bEnabled;
    if (bars_[eBar]) bars_[eBar]->setEnabled(bEnabled);
}

int32_t cScrollBars::Min(int eBar) const {
    return Valid(eBar) && bars_[eBar] ? records_[eBar].min : 0;
}

void cScrollBars::SetMin(int eBar, int32_t iMin) {
    if (!Valid(eBar) || !bars_[eBar]) return;
    records_[eBar].min = iMin;
    Apply(eBar);
}

int32_t cScrollBars::Max(int eBar) const {
    if (!Valid(eBar) || !bars_[eBar]) return 0;
    const Record& r = records_[eBar];
    return static_cast<int32_t>(Clamp32(int64_t(r.max) - r.page));
}

void cScrollBars::SetMax(int eBar, int32_t iMax) {
    if (!Valid(eBar) || !bars_[eBar]) return;
    Record& r = records_[eBar];
    r.max = static_cast<int32_t>(Clamp32(int64_t(iMax) + r.page));
    Apply(eBar);
    ChangeCheck(eBar, false);
}

int32_t cScrollBars::Value(int eBar) const {
    return Valid(eBar) && bars_[eBar] ? bars_[eBar]->value() : 0;
}

void cScrollBars::SetValue(int eBar, int32_t iValue) {
    if (!Valid(eBar) || !bars_[eBar]) return;
    if (bars_[eBar]->value() != iValue) bars_[eBar]->setValue(iValue);
    ChangeCheck(eBar, false);
}

int32_t cScrollBars::LargeChange(int eBar) const {
    return Valid(eBar) && bars_[eBar] ? records_[eBar].page : 0;
}

void cScrollBars::SetLargeChange(int eBar, int32_t iLargeChange) {
    if (!Valid(eBar) || !bars_[eBar]) return;
    Record& r = records_[eBar];
    const int32_t max = Max(eBar);
    r.page = iLargeChange;
    r.max = static_cast<int32_t>(Clamp32(int64_t(max) + iLargeChange));
    Apply(eBar);
}

void cScrollBars::ChangeCheck(int eBar, bool thumbDrag) {
    const int32_t value = Value(eBar);
    Record& r = records_[eBar];
    if (value == r.reported) return;
    if (thumbDrag)
        emit Scroll(eBar);
    else
        emit Change(eBar);
    r.reported = Value(eBar);
}

void cScrollBars::ScrollAction(int eBar, int code) {
    if (!Valid(eBar) || !bars_[eBar]) return;
    QScrollBar* bar = bars_[eBar];
    const int64_t value = Value(eBar);
    switch (code) {
    case LineBack:
        SetValue(eBar, static_cast<int32_t>(std::max<int64_t>(value - SmallChange(eBar), Min(eBar))));
        break;
    case LineOn:
        SetValue(eBar, static_cast<int32_t>(std::min<int64_t>(value + SmallChange(eBar), Max(eBar))));
        break;
    case PageBack:
        SetValue(eBar, static_cast<int32_t>(Clamp32(value - LargeChange(eBar))));
        break;
    case PageOn:
        SetValue(eBar, static_cast<int32_t>(Clamp32(value + LargeChange(eBar))));
        break;
    case ThumbReleased:
        break;
    case ThumbDragged:
        // The position follows the thumb without the check of a Value write.
        bar->setValue(bar->sliderPosition());
        ChangeCheck(eBar, true);
        break;
    case ToStart:
        SetValue(eBar, Min(eBar));
        break;
    case ToEnd:
        SetValue(eBar, Max(eBar));
        break;
    case EndScroll:
        ChangeCheck(eBar, false);
        break;
    default:
        break;
    }
}

void cScrollBars::OnAction(int eBar, int action) {
    if (applying_) return;
    QScrollBar* bar = bars_[eBar];
    if (!bar) return;
    int code = -1;
    switch (action) {
    case QAbstractSlider::SliderSingleStepSub: code = LineBack; break;
    case QAbstractSlider::SliderSingleStepAdd: code = LineOn; break;
    case QAbstractSlider::SliderPageStepSub: code = PageBack; break;
    case QAbstractSlider::SliderPageStepAdd: code = PageOn; break;
    case QAbstractSlider::SliderMove: code = ThumbDragged; break;
    case QAbstractSlider::SliderToMinimum: code = ToStart; break;
    case QAbstractSlider::SliderToMaximum: code = ToEnd; break;
    default: return;
    }
    if (code != ThumbDragged) {
        // The bar has already moved its slider by its own step; the wrapper's
        // rules decide the step instead. The bar then applies the position
        // the wrapper set, which is already its value.
        bar->setSliderPosition(bar->value());
    }
    ScrollAction(eBar, code);
}

}  // namespace kestrova
