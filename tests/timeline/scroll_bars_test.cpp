// The scroll bar wrapper's range, page and position rules and its events.
#include "timeline/scroll_bars.h"

#include <QScrollBar>
#include <QSignalSpy>

#include <gtest/gtest.h>

using kestrova::cScrollBars;

namespace {

class ScrollBarsTest : public ::testing::Test {
protected:
    void SetUp() override {
        bars_.Create(&horizontal_, &vertical_);
        bars_.SetLargeChange(0, 1200);
        bars_.SetSmallChange(0, 120);
        bars_.SetMax(0, 519);
    }

    QScrollBar horizontal_{Qt::Horizontal};
    QScrollBar vertical_{Qt::Vertical};
    cScrollBars bars_;
};

TEST_F(ScrollBarsTest, MaxKeepsItsValueUnderThePageValueReachesOneBeyondAndOnlyNewValuesRaiseChange) {
    // System range 0 to 1719 with page 1200: positions 0 to 520.
    EXPECT_EQ(bars_.Max(0), 519);
    EXPECT_EQ(horizontal_.maximum(), 520);
    bars_.SetValue(0, 5000);
    EXPECT_EQ(bars_.Value(0), 520);
    // A new page keeps Max; a new Max keeps the page.
    bars_.SetLargeChange(0, 100);
    EXPECT_EQ(bars_.Max(0), 519);
    bars_.SetMax(0, 50);
    EXPECT_EQ(bars_.LargeChange(0), 100);
    EXPECT_EQ(bars_.Value(0), 51);

    // Writing a value raises Change only when it is new.
    QSignalSpy change(&bars_, &cScrollBars::Change);
    bars_.SetValue(0, 30);
    bars_.SetValue(0, 30);
    ASSERT_EQ(change.count(), 1);
    EXPECT_EQ(change.at(0).at(0).toInt(), 0);
}

TEST_F(ScrollBarsTest, ScrollCodesFollowTheWrappersSteps) {
    struct Case {
        int start, code, value, changes;
    };
    const Case cases[] = {
        {0, cScrollBars::LineBack, 0, 0},  // a line step at Min stays, silently
        {100, cScrollBars::LineBack, 0, 1},
        {100, cScrollBars::LineOn, 220, 1},
        {500, cScrollBars::LineOn, 519, 1},  // not above Max
        {519, cScrollBars::LineOn, 519, 0},
        {300, cScrollBars::PageBack, 0, 1},
        {100, cScrollBars::PageOn, 520, 1},  // the bar's own limit, Max + 1
        {100, cScrollBars::ThumbReleased, 100, 0},
        {100, cScrollBars::ToStart, 0, 1},
        {100, cScrollBars::ToEnd, 519, 1},
        {100, cScrollBars::EndScroll, 100, 0},
        {100, 9, 100, 0},
    };
    for (const Case& c : cases) {
        bars_.SetValue(0, c.start);
        QSignalSpy change(&bars_, &cScrollBars::Change);
        QSignalSpy scroll(&bars_, &cScrollBars::Scroll);
        bars_.ScrollAction(0, c.code);
        EXPECT_EQ(bars_.Value(0), c.value) << "code " << c.code << " from " << c.start;
        EXPECT_EQ(change.count(), c.changes) << "code " << c.code << " from " << c.start;
        EXPECT_EQ(scroll.count(), 0);
    }
}

TEST_F(ScrollBarsTest, UserActionsOnTheBarUseTheWrappersRules) {
    QSignalSpy change(&bars_, &cScrollBars::Change);
    QSignalSpy scroll(&bars_, &cScrollBars::Scroll);
    horizontal_.triggerAction(QAbstractSlider::SliderSingleStepAdd);
    EXPECT_EQ(bars_.Value(0), 120);
    horizontal_.triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(bars_.Value(0), 519);
    EXPECT_EQ(change.count(), 2);
    // Dragging the thumb raises Scroll, not Change.
    horizontal_.setSliderPosition(200);
    EXPECT_EQ(bars_.Value(0), 200);
    EXPECT_EQ(scroll.count(), 1);
    EXPECT_EQ(change.count(), 2);
}

TEST_F(ScrollBarsTest, OrientationShowsOneBarAndADetachedWrapperActsOnNothing) {
    horizontal_.show();
    vertical_.show();
    bars_.SetOrientation(cScrollBars::OrientHorizontal);
    EXPECT_TRUE(horizontal_.isVisible());
    EXPECT_FALSE(vertical_.isVisible());

    cScrollBars detached;
    QSignalSpy change(&detached, &cScrollBars::Change);
    detached.SetMax(0, 100);
    detached.SetValue(0, 10);
    detached.ScrollAction(0, cScrollBars::LineOn);
    EXPECT_EQ(detached.Value(0) + detached.Max(0) + change.count(), 0);
}

}  // namespace
