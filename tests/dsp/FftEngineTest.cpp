#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <vector>

#include "dsp/FftEngine.h"

namespace orvex {
namespace {

using Complex = std::complex<double>;
using Path = FftEngine::Path;

std::vector<float> randomComplex(std::int64_t n, unsigned generatorState) {
    std::mt19937 generator(generatorState);
    std::uniform_real_distribution<float> uniform(-1.0f, 1.0f);
    std::vector<float> data(static_cast<size_t>(2 * n));
    for (float& v : data) v = uniform(generator);
    return data;
}

// Naive DFT of interleaved data at one output bin, in double precision.
Complex naiveBin(const std::vector<float>& data, std::int64_t n, std::int64_t k, double sign) {
    Complex sum = 0;
    for (std::int64_t j = 0; j < n; ++j) {
        const double angle = sign * 2.0 * std::numbers::pi * double((k * j) % n) / double(n);
        sum += Complex(data[2 * j], data[2 * j + 1]) * std::polar(1.0, angle);
    }
    return sum;
}

// Output bins checked: all of them for small sizes, an even spread for large ones.
std::vector<std::int64_t> checkedBins(std::int64_t n) {
    std::vector<std::int64_t> bins;
    const std::int64_t step = n <= 1024 ? 1 : n / 97;
    for (std::int64_t k = 0; k < n; k += step) bins.push_back(k);
    bins.push_back(n - 1);
    bins.push_back(n / 2);
    return bins;
}

// Largest error at the checked bins relative to the largest reference magnitude.
double relativeError(const std::vector<float>& result, const std::vector<Complex>& reference,
                     const std::vector<std::int64_t>& bins) {
    double worst = 0, scale = 1e-30;
    for (size_t i = 0; i < bins.size(); ++i) {
        const Complex got(result[2 * bins[i]], result[2 * bins[i] + 1]);
        worst = std::max(worst, std::abs(got - reference[i]));
        scale = std::max(scale, std::abs(reference[i]));
    }
    return worst / scale;
}

class FftEngineTest : public ::testing::TestWithParam<Path> {};

TEST_P(FftEngineTest, ForwardMatchesNaiveDftWithoutScaling) {
    FftEngine engine(16384, GetParam());
    EXPECT_EQ(engine.usesPlatform(), GetParam() == Path::Platform);
    for (std::int64_t n : {16, 64, 512, 4096, 16384}) {
        const auto input = randomComplex(n, unsigned(n));
        const auto bins = checkedBins(n);
        std::vector<Complex> reference;
        for (std::int64_t k : bins) reference.push_back(naiveBin(input, n, k, -1.0));
        auto data = input;
        engine.complexForward(data.data(), n);
        EXPECT_LT(relativeError(data, reference, bins), 2e-6) << "size " << n;
    }
}

// realInverse (complex-to-real) must give the real part of the same one-sided inverse, whatever
// the imaginary parts of bin 0 and bin n/2 hold.
TEST_P(FftEngineTest, OneSidedInverseClearsUpperHalfAndScalesByOneOverSize) {
    FftEngine engine(4096, GetParam());
    for (std::int64_t n : {16, 256, 4096}) {
        auto input = randomComplex(n, 7);
        auto halfOnly = input;
        std::fill(halfOnly.begin() + n, halfOnly.end(), 0.0f);
        const auto bins = checkedBins(n);
        std::vector<Complex> reference;
        for (std::int64_t k : bins) reference.push_back(naiveBin(halfOnly, n, k, +1.0) / double(n));
        std::vector<float> halfSpectrum(input.begin(), input.begin() + n + 2), realOut(n / 2 + 1, 9.0f);
        engine.oneSidedInverse(input.data(), n);
        EXPECT_LT(relativeError(input, reference, bins), 2e-6) << "size " << n;
        engine.realInverse(halfSpectrum.data(), realOut.data(), n, n / 2);
        EXPECT_EQ(realOut[n / 2], 9.0f) << "writes only the samples asked for";
        double scale = 1e-30, worst = 0;
        for (size_t i = 0; i < bins.size(); ++i) {
            scale = std::max(scale, std::abs(reference[i]));
            if (bins[i] < n / 2) worst = std::max(worst, std::fabs(realOut[bins[i]] - reference[i].real()));
        }
        EXPECT_LT(worst / scale, 2e-6) << "size " << n;
    }
}

// Callers' buffers need not be aligned; sizes may change from call to call.
TEST_P(FftEngineTest, RealInputMisalignedBuffersAndChangingSizes) {
    FftEngine engine(256, GetParam());
    for (std::int64_t n : {256, 32, 256, 8}) {
        const auto input = randomComplex(n, 11);
        auto aligned = input;
        std::vector<float> shifted(2 * n + 1);
        std::copy(input.begin(), input.end(), shifted.begin() + 1);
        engine.complexForward(aligned.data(), n);
        engine.complexForward(shifted.data() + 1, n);
        for (std::int64_t i = 0; i < 2 * n; ++i) ASSERT_FLOAT_EQ(shifted[i + 1], aligned[i]) << n << " " << i;
        // The real-input transform (misaligned too) against the naive DFT of the real parts.
        std::vector<float> realIn(n + 1), realOut(n + 3), realAsComplex(2 * n, 0.0f);
        for (std::int64_t i = 0; i < n; ++i) realIn[i + 1] = realAsComplex[2 * i] = input[2 * i];
        engine.realForward(realIn.data() + 1, realOut.data() + 1, n);
        for (std::int64_t k = 0; k <= n / 2; ++k) {
            const Complex expected = naiveBin(realAsComplex, n, k, -1.0);
            ASSERT_NEAR(realOut[1 + 2 * k], expected.real(), 1e-4) << n << " " << k;
            ASSERT_NEAR(realOut[2 + 2 * k], expected.imag(), 1e-4) << n << " " << k;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, FftEngineTest, ::testing::Values(Path::Platform, Path::Portable),
                         [](const auto& info) { return info.param == Path::Platform ? "Platform" : "Portable"; });

}  // namespace
}  // namespace orvex
