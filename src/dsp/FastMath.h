#pragma once

#include <bit>
#include <cmath>
#include <cstdint>

// Small inline math kernels written so that the compiler can vectorise loops calling them
// (no branches, no library calls). Baseline SSE2 is enough.
namespace orvex::fastmath {

inline constexpr float kPi = 3.1415927f;
inline constexpr float kHalfPi = 1.5707964f;
inline constexpr float kTwoPi = 6.2831855f;
inline constexpr float kInverseTwoPi = 0.15915494f;

// atan2 with a maximum error of about 0.005 rad: z / (1 + 0.28 z^2) below |z| = 1, the
// complementary form above, and the axis values for x = 0. The quotient is limited to
// +-1e30 so that an infinite y / x yields +-pi/2 (the limit of the formula) instead of NaN.
inline float atan2Approx(float y, float x) {
    float z = y / x;
    z = z > 1e30f ? 1e30f : (z < -1e30f ? -1e30f : z);
    const float inner = z / (1.0f + 0.28f * z * z);
    const float innerTurned = x < 0.0f ? (y >= 0.0f ? inner + kPi : inner - kPi) : inner;
    const float outer = kHalfPi - z / (z * z + 0.28f);
    const float outerTurned = y < 0.0f ? outer - kPi : outer;
    const float onAxis = y > 0.0f ? kHalfPi : (y < 0.0f ? -kHalfPi : 0.0f);
    const float result = std::fabs(z) < 1.0f ? innerTurned : outerTurned;
    return x != 0.0f ? result : onAxis;
}

// Round to nearest, ties to even, as rintf in the default rounding mode; exact for
// |v| < 2^22, which every caller guarantees.
inline float roundNearest(float v) {
    constexpr float kShift = 12582912.0f;  // 1.5 x 2^23
    return (v + kShift) - kShift;
}

// Natural logarithm of a positive normal float, relative error about 1e-7 (the mantissa is
// brought into [sqrt(1/2), sqrt(2)) and a degree-9 polynomial gives log(1 + f)).
inline float logApprox(float x) {
    const std::int32_t bits = std::bit_cast<std::int32_t>(x);
    std::int32_t exponent = ((bits >> 23) & 0xff) - 127;
    float m = std::bit_cast<float>((bits & 0x007fffff) | 0x3f800000);  // [1, 2)
    const bool high = m > 1.41421356f;
    m = high ? m * 0.5f : m;
    exponent = high ? exponent + 1 : exponent;
    const float f = m - 1.0f;
    const float f2 = f * f;
    float p = 7.0376836292e-2f;
    p = p * f - 1.1514610310e-1f;
    p = p * f + 1.1676998740e-1f;
    p = p * f - 1.2420140846e-1f;
    p = p * f + 1.4249322787e-1f;
    p = p * f - 1.6668057665e-1f;
    p = p * f + 2.0000714765e-1f;
    p = p * f - 2.4999993993e-1f;
    p = p * f + 3.3333331174e-1f;
    const float e = static_cast<float>(exponent);
    float r = p * f * f2;
    r += e * -2.12194440e-4f;
    r -= 0.5f * f2;
    return f + r + e * 0.693359375f;
}

}  // namespace orvex::fastmath
