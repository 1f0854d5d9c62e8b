#include "dsp/DisplayMath.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

using namespace orvex::displaymath;

namespace {

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kSmallestDenormal = 1.401298464324817e-45;

// Every 1021st positive float bit pattern from the smallest denormal up to the largest float.
template <class Check>
void forPositiveFloats(Check check) {
    for (std::uint32_t bits = 1; bits < 0x7f800000u; bits += 1021) check(std::bit_cast<float>(bits));
}

}  // namespace

TEST(DisplayMath, Log2MatchesTheLibraryOverEveryMagnitudeAndMapsSpecialValues) {
    forPositiveFloats([](float x) {
        const double expected = std::log2(double(x));
        ASSERT_NEAR(log2Fast(x), expected, 2e-7 + std::fabs(expected) * 6e-8) << x;
    });
    for (int e = -149; e <= 127; ++e) ASSERT_EQ(log2Fast(std::ldexp(1.0f, e)), float(e)) << e;
    EXPECT_EQ(log2Fast(0.0f), -kInf);
    EXPECT_EQ(log2Fast(-0.0f), -kInf);
    EXPECT_EQ(log2Fast(kInf), kInf);
    EXPECT_TRUE(std::isnan(log2Fast(-1.0f)));
    EXPECT_TRUE(std::isnan(log2Fast(-kInf)));
    EXPECT_TRUE(std::isnan(log2Fast(std::nanf(""))));
}

TEST(DisplayMath, Exp2AndPowMatchTheLibraryIncludingDenormalResults) {
    for (float y = -155.0f; y < 130.0f; y += 0.00137f) {
        const double expected = std::exp2(double(y));
        const float got = exp2Fast(y);
        if (expected > double(std::numeric_limits<float>::max())) {
            ASSERT_EQ(got, kInf) << y;
        } else if (expected < double(std::numeric_limits<float>::min())) {
            ASSERT_NEAR(got, expected, kSmallestDenormal) << y;  // one rounding into the denormals
        } else {
            ASSERT_NEAR(got, expected, expected * 2e-7) << y;
        }
    }
    EXPECT_EQ(exp2Fast(-kInf), 0.0f);
    EXPECT_EQ(exp2Fast(kInf), kInf);
    EXPECT_TRUE(std::isnan(exp2Fast(std::nanf(""))));

    // x^0.9 over (0, 1], denormal x included, and x^2.5 above 1.
    forPositiveFloats([](float x) {
        const double power = x <= 1.0f ? double(0.9f) : 2.5;
        const double expected = std::pow(double(x), power);
        if (std::fabs(power * std::log2(double(x))) >= 16.0 || expected > 3e38) return;
        ASSERT_NEAR(powFast(x, float(power)), expected, expected * 1e-6) << x;
    });
    EXPECT_EQ(powFast(0.0f, 0.9f), 0.0f);
    EXPECT_EQ(powFast(kInf, 0.9f), kInf);
    EXPECT_TRUE(std::isnan(powFast(-0.5f, 0.9f)));
    EXPECT_TRUE(std::isnan(powFast(std::nanf(""), 0.9f)));
}

TEST(DisplayMath, SineAndCosineMatchTheLibraryOverTheirRange) {
    for (float t = -8192.0f; t <= 8192.0f; t += 0.0173f) {
        const SineCosine got = sinCosFast(t);
        ASSERT_NEAR(got.sine, std::sin(double(t)), 1.5e-7) << t;
        ASSERT_NEAR(got.cosine, std::cos(double(t)), 1.5e-7) << t;
    }
    for (float t : {8193.0f, -1e6f, kInf, -kInf, std::nanf("")}) {
        EXPECT_TRUE(std::isnan(sinCosFast(t).sine)) << t;
        EXPECT_TRUE(std::isnan(sinCosFast(t).cosine)) << t;
    }
}
