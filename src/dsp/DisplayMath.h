#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

// Single-precision kernels for the display derivations, written for loops that the compiler
// vectorises with baseline SSE2: no branches, no library calls, bit manipulation on unsigned
// integers, and every float-to-integer conversion fed an in-range value (NaN included).
// Pure functions; safe on any thread.
namespace orvex::displaymath {

inline constexpr float kInfinity = std::numeric_limits<float>::infinity();
inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// v clamped to lo .. hi; NaN gives lo. Written as two selects so that it becomes max/min.
[[gnu::always_inline]] inline float clampOrLow(float v, float lo, float hi) {
    v = v > lo ? v : lo;
    return v < hi ? v : hi;
}

// Round to nearest, ties to even; exact for |v| < 2^22.
[[gnu::always_inline]] inline float roundNearest(float v) {
    constexpr float kShift = 12582912.0f;  // 1.5 x 2^23
    return (v + kShift) - kShift;
}

// log2 of a positive normal float (anything else gives a meaningless value), absolute error
// below 2e-7 plus half an ulp of the result; exactly 0 at x = 1 and an exact integer at every
// power of two. The mantissa m is brought into [sqrt(1/2), sqrt(2)) and
// log2 m = 2 atanh(s) / ln 2 with s = (m - 1) / (m + 1), |s| < 0.1716, summed to the s^9 term
// (truncation below 2e-9). exponentBias is 127 for a plain float; a caller that scaled x by
// 2^k passes 127 + k.
[[gnu::always_inline]] inline float log2Normal(float x, std::int32_t exponentBias = 127) {
    // Integer arithmetic alone splits x = 2^k m (a select here makes the compiler duplicate the
    // whole computation per case): offsetting the bits by those of sqrt(1/2) lets the exponent
    // field carry into k exactly when the mantissa is at least sqrt(2).
    // Unsigned (wrapping) arithmetic: no overflow whatever x holds.
    constexpr std::uint32_t kSqrtHalfBits = 0x3f3504f3u;
    const auto bits = std::bit_cast<std::uint32_t>(x);
    const std::uint32_t offset = bits - kSqrtHalfBits;
    const std::int32_t k = (static_cast<std::int32_t>(offset) >> 23) - (exponentBias - 127);
    const float m = std::bit_cast<float>(bits - (offset & 0xff800000u));
    const float s = (m - 1.0f) / (m + 1.0f);
    const float s2 = s * s;
    float p = 0.32059889f;          // 2 / (9 ln 2)
    p = p * s2 + 0.41219858f;       // 2 / (7 ln 2)
    p = p * s2 + 0.57707802f;       // 2 / (5 ln 2)
    p = p * s2 + 0.96179669f;       // 2 / (3 ln 2)
    p = p * s2 + 2.88539008f;       // 2 / ln 2
    return s * p + static_cast<float>(k);
}

// log2(x) as log2Normal, for every float: denormals are scaled into the normal range first;
// log2(+-0) = -inf, log2(+inf) = +inf, negative x and NaN give NaN.
[[gnu::always_inline]] inline float log2Fast(float x) {
    const bool denormal = x < 1.17549435e-38f;  // also 0, negatives and -inf; NaN is false
    const float result = log2Normal(denormal ? x * 8388608.0f : x, denormal ? 150 : 127);  // 2^23
    // Nested selects rather than a conjunction of comparisons, which defeats the vectoriser.
    const float positive = x < kInfinity ? result : kInfinity;
    const float nonPositive = x == 0.0f ? -kInfinity : kNaN;
    return x > 0.0f ? positive : nonPositive;
}

// 2^r for |r| <= 1/2 by its Taylor series to the 7th power: relative error below 1e-8 before
// rounding.
[[gnu::always_inline]] inline float exp2Fraction(float r) {
    float p = 1.5252734e-5f;        // ln2^7 / 7!
    p = p * r + 1.5403530e-4f;      // ln2^6 / 6!
    p = p * r + 1.3333558e-3f;      // ln2^5 / 5!
    p = p * r + 9.6181291e-3f;      // ln2^4 / 4!
    p = p * r + 5.5504109e-2f;      // ln2^3 / 3!
    p = p * r + 2.4022651e-1f;      // ln2^2 / 2!
    p = p * r + 6.9314718e-1f;      // ln2
    return p * r + 1.0f;
}

// 2^y for -126 <= y <= 127 (outside that range the value is meaningless), relative error below
// 2e-7: y = n + r with integer n and |r| <= 1/2, 2^n put into the exponent bits.
[[gnu::always_inline]] inline float exp2Normal(float y) {
    const float whole = roundNearest(y);
    const auto n = static_cast<std::uint32_t>(static_cast<std::int32_t>(whole) + 127);
    return exp2Fraction(y - whole) * std::bit_cast<float>(n << 23);
}

// 2^y as exp2Normal, for every float. Results below the normal range are denormal (rounded
// once); y >= 128 gives +inf, y <= -151 gives 0, NaN gives NaN. 2^n is applied in two exponent
// steps so that denormal results stay exact.
[[gnu::always_inline]] inline float exp2Fast(float y) {
    const float limited = y > 129.0f ? 129.0f : (y < -151.0f ? -151.0f : y);  // NaN passes
    const float whole = roundNearest(limited);
    const float p = exp2Fraction(limited - whole);
    const std::int32_t n = static_cast<std::int32_t>(whole == whole ? whole : 0.0f);  // -151 .. 129
    const std::int32_t half = n / 2;
    const float first = std::bit_cast<float>(static_cast<std::uint32_t>(half + 127) << 23);
    const float second = std::bit_cast<float>(static_cast<std::uint32_t>(n - half + 127) << 23);
    return p * first * second;
}

// x^power for x >= 0 and a finite power: 2^(power x log2 x), relative error below 1e-6 while
// |power x log2 x| < 16. 0^power is 0 for power > 0; +inf gives +inf; negative x and NaN give
// NaN.
[[gnu::always_inline]] inline float powFast(float x, float power) { return exp2Fast(power * log2Fast(x)); }

// Sine and cosine of t for |t| <= 8192, absolute error below 1.5e-7; beyond that range the
// values are meaningless. t is reduced by the nearest multiple q of pi/2 (pi/2 split in three
// parts of 8, 11 and 24 bits, so that q times the first two is exact), both functions come from
// their Taylor series on [-pi/4, pi/4] (to the 9th and 10th power, truncation below 3e-8) and
// q mod 4 swaps and negates them.
struct SineCosine {
    float sine;
    float cosine;
};
[[gnu::always_inline]] inline SineCosine sinCosInRange(float t) {
    const float quotient = roundNearest(t * 0.63661977f);
    const float r = ((t - quotient * 1.5703125f) - quotient * 4.837512969970703125e-4f) - quotient * 7.54978995e-8f;
    const float r2 = r * r;
    float s = 2.7557319e-6f;        // 1/9!
    s = s * r2 - 1.9841270e-4f;     // -1/7!
    s = s * r2 + 8.3333333e-3f;     // 1/5!
    s = s * r2 - 1.6666667e-1f;     // -1/3!
    s = s * r2 * r + r;
    float c = -2.7557319e-7f;       // -1/10!
    c = c * r2 + 2.4801587e-5f;     // 1/8!
    c = c * r2 - 1.3888889e-3f;     // -1/6!
    c = c * r2 + 4.1666667e-2f;     // 1/4!
    c = c * r2 - 0.5f;
    c = c * r2 + 1.0f;
    const std::uint32_t quadrant = static_cast<std::uint32_t>(static_cast<std::int32_t>(quotient)) & 3u;
    const bool swap = (quadrant & 1u) != 0;
    const float sine = swap ? c : s;
    const float cosine = swap ? s : c;
    return {(quadrant & 2u) != 0 ? -sine : sine, ((quadrant + 1u) & 2u) != 0 ? -cosine : cosine};
}

// sinCosInRange for every float: t outside -8192 .. 8192 (NaN and infinities included) gives NaN.
[[gnu::always_inline]] inline SineCosine sinCosFast(float t) {
    const bool inRange = std::fabs(t) <= 8192.0f;  // false for NaN
    const SineCosine result = sinCosInRange(inRange ? t : 0.0f);
    return {inRange ? result.sine : kNaN, inRange ? result.cosine : kNaN};
}

}  // namespace orvex::displaymath
