#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <random>
#include <thread>
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

TEST_P(FftEngineTest, OneSidedInverseClearsUpperHalfAndScalesByOneOverSize) {
    FftEngine engine(4096, GetParam());
    for (std::int64_t n : {16, 256, 4096}) {
        auto input = randomComplex(n, 7);
        auto halfOnly = input;
        std::fill(halfOnly.begin() + n, halfOnly.end(), 0.0f);
        const auto bins = checkedBins(n);
        std::vector<Complex> reference;
        for (std::int64_t k : bins) reference.push_back(naiveBin(halfOnly, n, k, +1.0) / double(n));
        engine.oneSidedInverse(input.data(), n);
        EXPECT_LT(relativeError(input, reference, bins), 2e-6) << "size " << n;
    }
}

TEST_P(FftEngineTest, RealForwardEqualsComplexForwardOfRealInput) {
    FftEngine engine(8192, GetParam());
    const std::int64_t n = 8192;
    const auto random = randomComplex(n, 3);
    std::vector<float> real(random.begin(), random.begin() + n);
    std::vector<float> asComplex(2 * n, 0.0f);
    for (std::int64_t i = 0; i < n; ++i) asComplex[2 * i] = real[i];
    engine.complexForward(asComplex.data(), n);
    std::vector<float> out(n + 2, -99.0f);
    engine.realForward(real.data(), out.data(), n);
    for (std::int64_t i = 0; i < n + 2; ++i) ASSERT_NEAR(out[i], asComplex[i], 2e-3) << i;
    EXPECT_EQ(real[5], random[5]) << "input left untouched";
}

// The real part of the one-sided inverse of a real signal's spectrum is half the signal
// (a sine has no DC or centre-bin content).
TEST_P(FftEngineTest, HalfSpectrumRoundTripGivesHalfTheSignal) {
    FftEngine engine(1024, GetParam());
    const std::int64_t n = 1024;
    std::vector<float> data(2 * n, 0.0f);
    for (std::int64_t i = 0; i < n; ++i) data[2 * i] = float(std::sin(2 * std::numbers::pi * 37.0 * double(i) / double(n)));
    const auto original = data;
    engine.complexForward(data.data(), n);
    engine.oneSidedInverse(data.data(), n);
    for (std::int64_t i = 0; i < n; ++i) ASSERT_NEAR(data[2 * i], 0.5f * original[2 * i], 1e-5) << i;
}

// Callers' buffers need not be aligned; sizes may change from call to call.
TEST_P(FftEngineTest, MisalignedBuffersAndChangingSizesGiveTheSameResults) {
    FftEngine engine(256, GetParam());
    for (std::int64_t n : {256, 32, 256, 8}) {
        const auto input = randomComplex(n, 11);
        auto aligned = input;
        std::vector<float> shifted(2 * n + 1);
        std::copy(input.begin(), input.end(), shifted.begin() + 1);
        engine.complexForward(aligned.data(), n);
        engine.complexForward(shifted.data() + 1, n);
        for (std::int64_t i = 0; i < 2 * n; ++i) ASSERT_FLOAT_EQ(shifted[i + 1], aligned[i]) << n << " " << i;
        // DC of the real transform is the plain sum of the samples.
        std::vector<float> realIn(n + 1), realOut(n + 3);
        std::copy(input.begin(), input.begin() + n, realIn.begin() + 1);
        engine.realForward(realIn.data() + 1, realOut.data() + 1, n);
        double sum = 0;
        for (std::int64_t i = 0; i < n; ++i) sum += input[i];
        EXPECT_NEAR(realOut[1], sum, 1e-4);
        EXPECT_NEAR(realOut[2], 0.0, 1e-4);
    }
}

INSTANTIATE_TEST_SUITE_P(BothPaths, FftEngineTest, ::testing::Values(Path::Platform, Path::Portable),
                         [](const auto& info) { return info.param == Path::Platform ? "Platform" : "Portable"; });

TEST(FftEnginePaths, PlatformAndPortableAgree) {
    FftEngine platform(2048), portable(2048, Path::Portable);
    auto a = randomComplex(2048, 5);
    auto b = a;
    platform.complexForward(a.data(), 2048);
    portable.complexForward(b.data(), 2048);
    for (size_t i = 0; i < a.size(); ++i) ASSERT_NEAR(a[i], b[i], 2e-4) << i;
}

// Engines made on several threads at once (planning is serialised inside the library).
TEST(FftEnginePaths, EnginesCanBeCreatedOnSeveralThreads) {
    std::vector<std::thread> threads;
    std::vector<float> results(4);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([t, &results] {
            const std::int64_t n = 512 << t;
            FftEngine engine(n);
            std::vector<float> data(2 * n, 0.0f);
            data[0] = 1.0f;
            engine.complexForward(data.data(), n);
            results[t] = data[2 * (n - 1)];
        });
    }
    for (auto& thread : threads) thread.join();
    for (float r : results) EXPECT_FLOAT_EQ(r, 1.0f);
}

}  // namespace
}  // namespace orvex
