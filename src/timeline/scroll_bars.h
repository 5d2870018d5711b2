#pragma once
// cScrollBars: a horizontal and a vertical scroll bar for a viewport, with
// the range rules of the classic system scroll bar kept on top of QScrollBar.
//
// The system bar keeps a range (minimum, maximum) and a page; the position
// runs from the range minimum to range maximum - page + 1. The wrapper's
// properties live in that record:
//   Min          = range minimum
//   Max          = range maximum - page       (written: range maximum = Max + page)
//   LargeChange  = page                       (written: Max keeps its value)
//   Value        = position, which can therefore reach Max + 1.
// The user's actions on the bars arrive as scroll codes 0 to 8 (line back
// and on, page back and on, thumb released, thumb dragged, to the start, to
// the end, scrolling ended); each ends in the change check, which raises
// Scroll for a thumb drag and Change otherwise when the value differs from
// the one last reported.

#include <QObject>

#include <array>
#include <cstdint>

class QScrollBar;

namespace kestrova {

class cScrollBars : public QObject {
    Q_OBJECT
public:
    enum Bar { Horizontal = 0, Vertical = 1 };
    enum Orientation { OrientHorizontal = 0, OrientVertical = 1, OrientBoth = 2 };
    // The scroll codes of the user's actions.
    enum Code {
        LineBack = 0, LineOn = 1, PageBack = 2, PageOn = 3, ThumbReleased = 4,
        ThumbDragged = 5, ToStart = 6, ToEnd = 7, EndScroll = 8
    };

    explicit cScrollBars(QObject* parent = nullptr);
    ~cScrollBars() override;

    // Attaches the wrapper to a viewport's two bars (either may be null);
    // detaches from the previous ones first. Before Create every operation
    // acts on no bar.
    void Create(QScrollBar* horizontal, QScrollBar* vertical);
    void Detach();

    bool Visible(int eBar) const;
    void SetVisible(int eBar, bool bState);
    int Orientation() const { return orientation_; }
    void SetOrientation(int eOrientation);
    // Flat styles have no counterpart here; the value is kept and reads back.
    int Style() const { return style_; }
    void SetStyle(int eStyle) { style_ = eStyle; }
    int32_t SmallChange(int eBar) const;
    void SetSmallChange(int eBar, int32_t lSmallChange);
    bool Enabled(int eBar) const;
    void SetEnabled(int eBar, bool bEnabled);

    int32_t Min(int eBar) const;
    void SetMin(int eBar, int32_t iMin);
    int32_t Max(int eBar) const;
    void SetMax(int eBar, int32_t iMax);
    int32_t Value(int eBar) const;
    void SetValue(int eBar, int32_t iValue);
    int32_t LargeChange(int eBar) const;
    void SetLargeChange(int eBar, int32_t iLargeChange);

    // One scroll message for a bar, by code; other codes are ignored.
    void ScrollAction(int eBar, int code);

    QScrollBar* Bar(int eBar) const;

signals:
    void Change(int eBar);
    void Scroll(int eBar);

private:
    struct Record {
        int32_t min = 0;
        int32_t max = 0;   // range maximum
        int32_t page = 0;
        int32_t smallChange = 1;
        bool visible = false;
        bool enabled = false;
        int32_t reported = 0;  // value last reported by an event
    };
    static bool Valid(int eBar) { return eBar == Horizontal || eBar == Vertical; }
    // Writes the record's range and page into the bar.
    void Apply(int eBar);
    void ChangeCheck(int eBar, bool thumbDrag);
    void OnAction(int eBar, int action);

    std::array<QScrollBar*, 2> bars_{};
    std::array<Record, 2> records_{};
    int orientation_ = OrientBoth;
    int style_ = 0;
    bool applying_ = false;
};

}  // namespace kestrova
