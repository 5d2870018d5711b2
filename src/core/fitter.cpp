#include "fitter.h"

#include "compiler.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace kestrova {

namespace {

struct Piece {
    bool wait = false;
    int32_t target = 0;
    int32_t count = 0;
    Ease ease = Ease::None;
};

constexpr std::array<Ease, 3> kEasings{Ease::InOut, Ease::In, Ease::Out};

// Lengths up to this are all tried; beyond, every sixteenth or so, which
// keeps a long slow move from costing the square of its length.
constexpr int32_t kDenseLengths = 48;
// The search for a longer move gives up after this many lengths in a row
// that no move fits, and once past twice the longest found: a sweep eased at
// both ends fits as a whole but not in the long middle part.
constexpr int32_t kPatience = 24;

// Targets tried per easing and length, around the recorded value.
constexpr int64_t kMostTargets = 64;
// The ends of a hold tried when looking ahead.
constexpr int32_t kHoldEnds = 6;

int32_t Middle(int32_t low, int32_t high) {
    return static_cast<int32_t>(low + (static_cast<int64_t>(high) - low) / 2);
}

class Fitter {
public:
    Fitter(std::span<const int32_t> low, std::span<const int32_t> high, int32_t minTarget, int32_t maxTarget,
           bool easing)
        : low_(low), high_(high), minTarget_(minTarget), maxTarget_(maxTarget), easing_(easing) {}

    // Greedy: from frame `from`, position `current`, up to frame `end`
    // (exclusive), the longest line that fits, again and again. False when
    // some frame cannot be met at all.
    bool Greedy(int32_t from, int32_t end, int32_t& current, std::vector<Piece>& pieces,
                std::vector<int32_t>* boundaries = nullptr) const {
        while (from < end) {
            if (boundaries) boundaries->push_back(from);
            Piece piece;
            if (!Longest(from, end, current, piece)) return false;
            // Where a hold ends is blurred by the tolerance, and the longest
            // line there (a move through the start of the hold, or the whole
            // hold) can leave the next line worse off: at a hold, look one
            // line ahead over the few ways to end it.
            int32_t held = 0;
            while (from + held < end && WaitFits(from + held, 1, current)) ++held;
            if (held >= 2) {
                int32_t bestReach = piece.count + Reach(from + piece.count, end, piece.wait ? current : piece.target);
                for (int32_t wait = held; wait >= 1 && wait > held - kHoldEnds; --wait) {
                    if (piece.wait && wait == piece.count) continue;
                    const int32_t reach = wait + Reach(from + wait, end, current);
                    if (reach > bestReach || (reach == bestReach && !piece.wait)) {
                        bestReach = reach;
                        piece = Piece{true, current, wait, Ease::None};
                    }
                }
            }
            pieces.push_back(piece);
            from += piece.count;
            if (!piece.wait) current = piece.target;
        }
        return true;
    }

    // How many frames the longest line from `from` covers.
    int32_t Reach(int32_t from, int32_t end, int32_t current) const {
        Piece piece;
        return from < end && Longest(from, end, current, piece) ? piece.count : 0;
    }

    // Longest, remembered: looking ahead asks for the line that the next
    // step then takes.
    bool Longest(int32_t from, int32_t end, int32_t current, Piece& best) const {
        Remembered& slot = remembered_[static_cast<uint32_t>(from * 31 + current) % remembered_.size()];
        if (slot.valid && slot.from == from && slot.end == end && slot.current == current) {
            best = slot.best;
            return slot.found;
        }
        slot = Remembered{true, from, end, current, false, {}};
        slot.found = Search(from, end, current, slot.best);
        best = slot.best;
        return slot.found;
    }

    // Cheap necessary condition: a few frames of the move, by the exact
    // easing or by the plain move's line with room for its rounding down and
    // float steps, lie within their bounds.
    bool MayFit(int32_t from, int32_t current, const Piece& move) const {
        const int32_t count = move.count;
        if (count < 4) return true;
        const double span = static_cast<double>(move.target) - current;
        const double slack = 2 + (std::abs(static_cast<double>(current)) + std::abs(span)) * count * 1.2e-7;
        for (int32_t k : {count / 2, count / 4, 3 * count / 4}) {
            const int32_t at = from + k - 1;
            if (move.ease != Ease::None) {
                const int32_t v = EasedPosition(current, move.target, k, count, move.ease);
                if (v < low_[at] || v > high_[at]) return false;
            } else {
                const double v = current + span * k / count;
                if (v < low_[at] - slack || v > high_[at] + slack) return false;
            }
        }
        return true;
    }

    // Whether the move covers frames from..from+count-1 within their bounds.
    bool MoveFits(int32_t from, int32_t current, const Piece& move) const {
        const int32_t count = move.count;
        if (!MayFit(from, current, move)) return false;
        if (move.ease != Ease::None) {
            for (int32_t k = 1; k <= count; ++k) {
                const int32_t v = EasedPosition(current, move.target, k, count, move.ease);
                if (v < low_[from + k - 1] || v > high_[from + k - 1]) return false;
            }
            return true;
        }
        int32_t made = 0;
        const bool within = EachLinearFrame(current, move.target, count, [&](int32_t v) {
            if (made == count || v < low_[from + made] || v > high_[from + made]) return false;
            ++made;
            return true;
        });
        return within && made == count;
    }

    bool WaitFits(int32_t from, int32_t count, int32_t current) const {
        for (int32_t k = from; k < from + count; ++k)
            if (current < low_[k] || current > high_[k]) return false;
        return true;
    }

    // A move of `count` frames from `from` that fits, trying targets from
    // the middle of the last frame's bounds outwards, plain before eased.
    bool AnyMove(int32_t from, int32_t count, int32_t current, Piece& found) const {
        const int32_t last = from + count - 1;
        const int32_t lo = std::max(low_[last], minTarget_);
        // A plain move upwards may stop one below its target.
        const int32_t hi = std::min(high_[last] + (high_[last] < maxTarget_ ? 1 : 0), maxTarget_);
        for (size_t e = 0; e <= (easing_ ? kEasings.size() : 0); ++e) {
            const Ease ease = e == 0 ? Ease::None : kEasings[e - 1];
            // An eased move ends exactly on its target.
            int32_t from_ = lo, to = ease == Ease::None ? hi : std::min(hi, high_[last]);
            NarrowTargets(from, count, current, ease, from_, to);
            if (from_ > to) continue;
            // The recorded value itself first (the middle of its bounds), then outwards.
            const int32_t middle = std::clamp(Middle(low_[last], high_[last]), from_, to);
            // Bounds wider than any tolerance are tried near the middle only.
            const int64_t tries = std::min<int64_t>(2 * (static_cast<int64_t>(to) - from_), kMostTargets);
            for (int32_t d = 0; d <= tries; ++d) {
                found = Piece{false, (d % 2 == 0) ? middle + d / 2 : middle - (d + 1) / 2, count, ease};
                if (found.target >= from_ && found.target <= to && MoveFits(from, current, found)) return true;
            }
        }
        return false;
    }

    // Narrows [lo, hi] to the targets that can put a few frames of the move
    // within their bounds. Generous by a position and more (rounding, float
    // steps): the exact test is MoveFits.
    void NarrowTargets(int32_t from, int32_t count, int32_t current, Ease ease, int32_t& lo, int32_t& hi) const {
        if (count < 4 || lo > hi) return;
        const double slack = 2 + (std::abs(static_cast<double>(current)) + std::abs(static_cast<double>(hi))) * count * 1.2e-7;
        for (int32_t k : {count / 2, count / 4, 3 * count / 4}) {
            const double t = static_cast<double>(k) / count;
            double share = t;
            if (ease == Ease::In) share = t * t;
            if (ease == Ease::Out) share = 1 - (1 - t) * (1 - t);
            if (ease == Ease::InOut) share = t < 0.5 ? 2 * t * t : 1 - 2 * (1 - t) * (1 - t);
            if (share < 0.05) continue;
            const int32_t at = from + k - 1;
            // Frame k is about current + (target - current) * share.
            const double least = current + (low_[at] - slack - current) / share;
            const double most = current + (high_[at] + slack - current) / share;
            if (least > lo) lo = static_cast<int32_t>(std::min<double>(std::floor(least), INT32_MAX));
            if (most < hi) hi = static_cast<int32_t>(std::max<double>(std::ceil(most), INT32_MIN));
            if (lo > hi) return;
        }
    }

    // The longest line from frame `from`: a Wait when it holds at least as
    // long as any move. Nothing when no line can meet the first frame.
    bool Search(int32_t from, int32_t end, int32_t current, Piece& best) const {
        int32_t held = 0;
        while (from + held < end && current >= low_[from + held] && current <= high_[from + held]) ++held;
        best = Piece{true, current, held, Ease::None};
        int32_t misses = 0;
        for (int32_t count = held + 1; count <= end - from && (misses < kPatience || count <= 2 * best.count + kPatience);
             count += count <= kDenseLengths ? 1 : count / 16) {
            Piece move;
            if (AnyMove(from, count, current, move)) {
                best = move;
                misses = 0;
            } else {
                ++misses;
            }
        }
        if (best.count > 0) return true;
        // Nothing found by the search: a single frame on a target inside its
        // bounds. An eased move of one frame lands exactly on its target.
        const int32_t target = std::clamp(Middle(low_[from], high_[from]), minTarget_, maxTarget_);
        if (target < low_[from] || target > high_[from]) return false;
        best = Piece{false, target, 1, Ease::None};
        if (!MoveFits(from, current, best)) best.ease = Ease::InOut;
        return true;
    }

private:
    struct Remembered {
        bool valid = false;
        int32_t from = 0, end = 0, current = 0;
        bool found = false;
        Piece best;
    };

    std::span<const int32_t> low_, high_;
    int32_t minTarget_, maxTarget_;
    bool easing_;
    mutable std::array<Remembered, 16> remembered_{};
};

const char* EaseWord(Ease ease) {
    switch (ease) {
    case Ease::In: return "EaseIn";
    case Ease::Out: return "EaseOut";
    case Ease::InOut: return "EaseInOut";
    case Ease::None: break;
    }
    return "";
}

std::vector<std::string> Lines(const std::vector<Piece>& pieces) {
    std::vector<std::string> lines;
    lines.reserve(pieces.size());
    for (const Piece& p : pieces) {
        if (p.wait) {
            lines.push_back("Wait " + std::to_string(p.count));
            continue;
        }
        std::string line = "Mov " + std::to_string(p.target) + ", " + std::to_string(p.count);
        if (p.ease != Ease::None) line += std::string(", ") + EaseWord(p.ease);
        lines.push_back(std::move(line));
    }
    return lines;
}

}  // namespace

std::optional<std::vector<std::string>> FitBetween(std::span<const int32_t> low, std::span<const int32_t> high,
                                                   int32_t start, std::optional<int32_t> endAt, int32_t minTarget,
                                                   int32_t maxTarget, bool easing) {
    const Fitter fitter(low, high, minTarget, maxTarget, easing);
    const auto n = static_cast<int32_t>(low.size());
    std::vector<Piece> pieces;
    std::vector<int32_t> boundaries;
    int32_t current = start;
    if (!fitter.Greedy(0, n, current, pieces, &boundaries)) return std::nullopt;
    if (!endAt || current == *endAt) return Lines(pieces);
    if (*endAt < minTarget || *endAt > maxTarget) return std::nullopt;

    // The lines must end where the servo stood before: rework the last few
    // lines so that a final move lands on that position, covering as many
    // of the last frames as it can.
    std::vector<int32_t> before(boundaries.size());
    for (size_t p = 0, at = 0; p < pieces.size(); ++p) {
        before[p] = p == 0 ? start : (pieces[at].wait ? before[at] : pieces[at].target);
        at = p;
    }
    const size_t lastTried = pieces.size() > 3 ? pieces.size() - 3 : 0;
    for (size_t p = pieces.size(); p-- > lastTried;) {
        const int32_t from = boundaries[p];
        for (int32_t tail = n - from; tail >= 1; tail = tail == n - from ? std::min(16, n - from - 1) : tail - 1) {
            std::vector<Piece> rework(pieces.begin(), pieces.begin() + static_cast<std::ptrdiff_t>(p));
            int32_t at = before[p];
            if (!fitter.Greedy(from, n - tail, at, rework)) continue;
            Piece last{at == *endAt, *endAt, tail, Ease::None};
            bool fits = last.wait ? fitter.WaitFits(n - tail, tail, at) : fitter.MoveFits(n - tail, at, last);
            for (size_t e = 0; !fits && !last.wait && easing && e < kEasings.size(); ++e) {
                last.ease = kEasings[e];
                fits = fitter.MoveFits(n - tail, at, last);
            }
            if (!fits) continue;
            rework.push_back(last);
            return Lines(rework);
        }
    }
    return std::nullopt;
}

std::vector<std::string> FitLines(std::span<const int32_t> trace, int32_t start, const FitOptions& options) {
    const int32_t tolerance = std::clamp(options.tolerance, 0, 10);
    std::vector<int32_t> low(trace.size()), high(trace.size());
    int32_t minTarget = start, maxTarget = start;
    for (size_t i = 0; i < trace.size(); ++i) {
        const int64_t v = trace[i];
        low[i] = static_cast<int32_t>(std::max<int64_t>(v - tolerance, INT32_MIN));
        high[i] = static_cast<int32_t>(std::min<int64_t>(v + tolerance, INT32_MAX));
        minTarget = std::min(minTarget, trace[i]);
        maxTarget = std::max(maxTarget, trace[i]);
    }
    // Without an end to meet, every frame can always be met on its own.
    return FitBetween(low, high, start, std::nullopt, minTarget, maxTarget, options.easing).value_or(
        std::vector<std::string>{});
}

}  // namespace kestrova
