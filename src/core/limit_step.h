// One frame of a servo's motion under a speed and an acceleration cap, in
// integer arithmetic. The editor's output and the board's player both step
// their servos with this very code, so a limited move comes out of either
// identically. Plain C++11 and <stdint.h> only: no floating point, no
// allocation, no standard library.
//
// Positions and speeds are fixed point, kLimitOne to one position; speeds are
// per frame and accelerations per frame per frame. Positions from -32768 to
// 32767 keep every sum inside 32 bits. Each frame the servo takes
// the largest step toward its target that keeps within both caps and still
// lets it come to rest exactly on the target, so it gets there as fast as the
// caps allow and never passes it. Only a target that jumps back closer than
// the servo can brake for is passed, by the braking distance, never beyond
// where the earlier target was.
#ifndef KESTROVA_LIMIT_STEP_H
#define KESTROVA_LIMIT_STEP_H

#include <stdint.h>

namespace kva {

static const int32_t kLimitShift = 14;
static const int32_t kLimitOne = static_cast<int32_t>(1) << kLimitShift;

// Caps per frame in fixed point; 0 means no cap.
struct LimitCaps {
    int32_t speed;
    int32_t accel;
};

// Where a servo is and its last step, in fixed point.
struct LimitMotion {
    int32_t position;
    int32_t velocity;
};

// The largest integer r with r * r <= n.
inline uint32_t LimitSqrt(uint32_t n) {
    uint32_t root = 0;
    uint32_t bit = static_cast<uint32_t>(1) << 30;
    while (bit > n) bit >>= 2;
    while (bit != 0) {
        if (n >= root + bit) {
            n -= root + bit;
            root = (root >> 1) + bit;
        } else {
            root >>= 1;
        }
        bit >>= 2;
    }
    return root;
}

// The largest step u (0 to `limit`) after which a servo braking at `accel`
// comes to rest within `distance`: u + (u - accel) + (u - 2 accel) + ... while
// the steps are positive must not exceed it. With u = m accel + r, 1 <= r <=
// accel, that sum is (m + 1) r + accel m (m + 1) / 2.
inline int32_t LimitFittingStep(int32_t distance, int32_t accel, int32_t limit) {
    if (limit <= 0 || distance <= 0) return 0;
    const int32_t limitBand = (limit - 1) / accel;
    int32_t m = static_cast<int32_t>(LimitSqrt(static_cast<uint32_t>(distance / accel) * 2u));
    if (m > limitBand) m = limitBand;
    for (; m >= 0; --m) {
        const int64_t base = static_cast<int64_t>(accel) * (static_cast<int64_t>(m) * (m + 1) / 2);
        if (base + m + 1 > distance) continue;
        int64_t r = (distance - base) / (m + 1);
        const int32_t top = m == limitBand ? limit - m * accel : accel;
        if (r > top) r = top;
        return m * accel + static_cast<int32_t>(r);
    }
    return 0;
}

// Moves `motion` one frame toward `target` (a position, not fixed point)
// and returns the position to put out: the fixed-point position rounded.
inline int32_t LimitStep(LimitMotion& motion, int32_t target, const LimitCaps& caps) {
    const int32_t goal = target * kLimitOne;
    const int32_t toward = goal >= motion.position ? 1 : -1;
    const int32_t distance = (goal - motion.position) * toward;
    const int32_t speed = motion.velocity * toward;  // negative while moving away
    int32_t hi = distance;
    if (caps.speed != 0 && caps.speed < hi) hi = caps.speed;
    int32_t step;
    if (caps.accel == 0) {
        step = hi;
    } else {
        if (speed + caps.accel < hi) hi = speed + caps.accel;
        int32_t lo = speed - caps.accel;
        if (caps.speed != 0 && lo < -caps.speed) lo = -caps.speed;
        step = LimitFittingStep(distance, caps.accel, hi);
        if (hi < step) step = hi;  // hi <= 0: still moving away, turning
        if (step < lo) step = lo;  // cannot stop in time: brake as hard as allowed
    }
    motion.velocity = step * toward;
    motion.position += motion.velocity;
    const int32_t half = kLimitOne / 2;
    const int32_t shifted = motion.position + half;
    return shifted >= 0 ? shifted / kLimitOne : -((kLimitOne - 1 - shifted) / kLimitOne);
}

}  // namespace kva

#endif
