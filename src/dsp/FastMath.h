#pragma once

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>

#include "common/MathConstants.h"

// Small inline math kernels written so that the compiler can vectorise loops calling them
// (no branches, no library calls). Baseline SSE2 is enough.
namespace orvex::fastmath {

inline constexpr float kPi = 3.1415927f;
inline constexpr float kHalfPi = 1.5707964f;
inline constexpr float kTwoPi = kTwoPiFloat;
inline constexpr float kInverseTwoPi = 0.15915494f;

// atan2 with a maximum error of about 0.005 rad: z / (1 + 0.28 z^2) below |z| = 1, the
// complementary form above, and the axis values for x = 0. The quotient is limited to
// +-1e30 so that an infinite y / x yields +-pi/2 (the limit of the formula) instead of NaN.
inline float atan2Approx(float y, float x) {
    float z = y / x;
    z = z > 1e30f ? 1e30f : (z < -1e30f ? -1e30f : z);
    // One division serves both branches: z / (1 + 0.28 z^2) inside, z / (z^2 + 0.28) outside.
    const bool inside = std::fabs(z) < 1.0f;
    const float q = z / (inside ? 1.0f + 0.28f * z * z : z * z + 0.28f);
    const float innerTurned = x < 0.0f ? (y >= 0.0f ? q + kPi : q - kPi) : q;
    const float outer = kHalfPi - q;
    const float outerTurned = y < 0.0f ? outer - kPi : outer;
    const float onAxis = y > 0.0f ? kHalfPi : (y < 0.0f ? -kHalfPi : 0.0f);
    const float result = inside ? innerTurned : outerTurned;
    return x != 0.0f ? result : onAxis;
}

// atan2 with a maximum error of about 3e-7 rad, for the stored phase of each bin, where the
// fast form's 0.005 rad would limit a resynthesis to about 70 dB SNR. The smaller of |x| and
// |y| over the larger gives z in [0, 1]; z above tan(pi/8) is reduced by
// atan z = pi/4 + atan((z - 1) / (z + 1)); a minimax polynomial covers |r| <= tan(pi/8); the
// octant and the signs of x and y then place the angle. atan2(0, 0) is 0.
inline float atan2Accurate(float y, float x) {
    const float ax = std::fabs(x), ay = std::fabs(y);
    const float larger = ax > ay ? ax : ay;
    const float smaller = ax > ay ? ay : ax;
    const float z = larger > 0.0f ? smaller / larger : 0.0f;
    const bool reduced = z > 0.41421356f;
    const float r = reduced ? (z - 1.0f) / (z + 1.0f) : z;
    const float r2 = r * r;
    const float p = ((8.05374449538e-2f * r2 - 1.38776856032e-1f) * r2 + 1.99777106478e-1f) * r2 - 3.33329491539e-1f;
    float a = p * r2 * r + r;
    a = reduced ? a + 0.78539816f : a;
    a = ay > ax ? kHalfPi - a : a;
    a = x < 0.0f ? kPi - a : a;
    return y < 0.0f ? -a : a;
}

// Round to nearest, ties to even, as rintf in the default rounding mode; exact for
// |v| < 2^22, which every caller guarantees.
inline float roundNearest(float v) {
    constexpr float kShift = 12582912.0f;  // 1.5 x 2^23
    return (v + kShift) - kShift;
}

// Natural logarithm of a positive normal float, relative error about 1.3e-7: the mantissa m
// is brought into [sqrt(1/2), sqrt(2)) and log m = 2 atanh(s) with s = (m - 1) / (m + 1),
// |s| < 0.172, summed to the s^7 term.
inline float logApprox(float x) {
    const std::int32_t bits = std::bit_cast<std::int32_t>(x);
    std::int32_t exponent = ((bits >> 23) & 0xff) - 127;
    float m = std::bit_cast<float>((bits & 0x007fffff) | 0x3f800000);  // [1, 2)
    const bool high = m > 1.41421356f;
    m = high ? m * 0.5f : m;
    exponent = high ? exponent + 1 : exponent;
    const float s = (m - 1.0f) / (m + 1.0f);
    const float s2 = s * s;
    float p = 0.14285715f;  // 1/7
    p = p * s2 + 0.2f;
    p = p * s2 + 0.33333334f;
    p = p * s2 + 1.0f;
    return 2.0f * s * p + static_cast<float>(exponent) * 0.6931472f;
}

// Sine and cosine of x together, branch-free. x is reduced to r = x - j pi/2 (j the nearest
// integer to x / (pi/2), pi/2 split into three floats so that the products with j stay exact),
// then minimax polynomials on |r| <= pi/4 and a swap and signs by the quadrant j.
// Maximum absolute error against the exact values: 1e-7 for |x| <= 1e4, 1e-6 for
// |x| <= 1e5. Larger arguments lose accuracy quickly: callers keep their phases wrapped.
inline void sinCosApprox(float x, float& sine, float& cosine) {
    const float j = roundNearest(x * 0.63661977f);
    float r = x - j * 1.5703125f;
    r = r - j * 4.8375129699707031e-4f;
    r = r - j * 7.5497899548918822e-8f;
    const float r2 = r * r;
    const float s = r + r * r2 * (-1.6666654611e-1f + r2 * (8.3321608736e-3f + r2 * -1.9515295891e-4f));
    const float c = 1.0f - 0.5f * r2 +
                    r2 * r2 * (4.1666645683e-2f + r2 * (-1.3887316255e-3f + r2 * 2.4433157118e-5f));
    const auto quadrant = static_cast<std::int32_t>(j);
    const bool odd = (quadrant & 1) != 0;
    const float sineMagnitude = odd ? c : s;
    const float cosineMagnitude = odd ? s : c;
    sine = (quadrant & 2) != 0 ? -sineMagnitude : sineMagnitude;
    cosine = ((quadrant + 1) & 2) != 0 ? -cosineMagnitude : cosineMagnitude;
}

// The sum of sixteen partial sums in the one fixed order that every vector width shares:
// lane l plus lane l + 8, then plus the result four further on, two, one. Written out so
// that the compiler keeps the tree in registers (a loop over the widths went through memory,
// each step waiting on the store of the last).
[[gnu::always_inline]] inline float sumSixteenLanes(const float* lanes) {
    const float a0 = lanes[0] + lanes[8], a1 = lanes[1] + lanes[9], a2 = lanes[2] + lanes[10],
                a3 = lanes[3] + lanes[11], a4 = lanes[4] + lanes[12], a5 = lanes[5] + lanes[13],
                a6 = lanes[6] + lanes[14], a7 = lanes[7] + lanes[15];
    const float b0 = a0 + a4, b1 = a1 + a5, b2 = a2 + a6, b3 = a3 + a7;
    return (b0 + b2) + (b1 + b3);
}

}  // namespace orvex::fastmath

// Hot loops are compiled twice: for baseline x86-64 and, with ORVEX_WIDE_VECTORS, for AVX2,
// chosen once per process by the processor's features. Floating-point contraction is off in
// this project, so both builds round every operation alike and give identical results.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__)
#define ORVEX_WIDE_VECTORS __attribute__((target("avx2")))
namespace orvex::fastmath {
inline bool processorHasWideVectors() {
    static const bool has = __builtin_cpu_supports("avx2");
    return has;
}
}  // namespace orvex::fastmath
#else
#define ORVEX_WIDE_VECTORS
namespace orvex::fastmath {
inline bool processorHasWideVectors() { return false; }
}  // namespace orvex::fastmath
#endif

namespace orvex::fastmath {

// Lets tests compare the two builds of the hot loops; on by default. Any thread.
inline std::atomic<bool>& wideVectorsAllowed() {
    static std::atomic<bool> allowed{true};
    return allowed;
}

inline bool hasWideVectors() {
    return processorHasWideVectors() && wideVectorsAllowed().load(std::memory_order_relaxed);
}

}  // namespace orvex::fastmath

namespace orvex::fastmath {

// Calls kernel(args...) compiled for AVX2 when the processor has it, for baseline x86-64
// otherwise. Declare the kernel [[gnu::always_inline]] so that each caller build holds its
// own copy of the loops.
template <auto Kernel, class... Args>
ORVEX_WIDE_VECTORS auto callWide(Args... args) {
    return Kernel(args...);
}

template <auto Kernel, class... Args>
auto dispatch(Args... args) {
    return hasWideVectors() ? callWide<Kernel>(args...) : Kernel(args...);
}

}  // namespace orvex::fastmath
