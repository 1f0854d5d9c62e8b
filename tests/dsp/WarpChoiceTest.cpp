#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <tuple>
#include <vector>

#include "dsp/SpectralProcessor.h"
#include "support/Signals.h"

namespace orvex {
namespace {

constexpr std::int64_t kN = 4096;
constexpr double kRate = 44100.0;

// Straightforward double-precision reference of the warp choice: positions, linear
// interpolation, Welch window, a plain radix-2 FFT and the entropy sum with std::log.
class ReferenceWarpChooser {
public:
    ReferenceWarpChooser() {
        float f = 1.0f;
        const float step = static_cast<float>(0.1 / 11.0);
        mFactors.push_back(1.0f);
        for (int i = 0; i < 12; ++i) {
            f = f + step;
            mFactors.push_back(f);
            mFactors.push_back(-f);
        }
        for (float s : mFactors) mPositions.push_back(positions(s));
    }

    double entropy(const std::vector<double>& frame) const {
        std::vector<std::complex<double>> data(kN);
        for (std::int64_t k = 0; k < kN; ++k) {
            const double t = (double(k) - kN / 2.0) / (kN / 2.0);
            data[k] = frame[k] * (1.0 - t * t);
        }
        fft(data);
        double sum = 0;
        for (std::int64_t k = 0; k < kN / 2; ++k) {
            const double m = std::abs(data[k]) / double(kN);
            if (m > 0) sum += m * std::log(m);
        }
        return -sum / std::numbers::ln2;
    }

    std::vector<double> warped(const std::vector<double>& x, size_t table) const {
        std::vector<double> y(kN);
        for (std::int64_t k = 0; k < kN; ++k) {
            const double p = mPositions[table][k];
            const auto i = static_cast<std::int64_t>(std::floor(p));
            const double t = p - double(i);
            y[k] = (1 - t) * x[i] + t * x[std::min(i + 1, kN - 1)];
        }
        return y;
    }

    // Returns the chosen table index (0 = unwarped) and fills every table's entropy.
    size_t choose(const std::vector<double>& x, std::vector<double>& entropies) const {
        entropies.assign(mFactors.size() + 1, 0.0);
        entropies[0] = entropy(x);
        size_t best = 0;
        for (size_t t = 0; t < mFactors.size(); ++t) {
            entropies[t + 1] = entropy(warped(x, t));
            if (entropies[t + 1] < entropies[best]) best = t + 1;
        }
        return best;
    }

    float factorOf(size_t choice) const { return choice == 0 ? 1.0f : mFactors[choice - 1]; }

private:
    static std::vector<double> positions(double s) {
        const double a = s > 0 ? 1 / s : -s, b = s > 0 ? s : -1 / s;
        std::vector<double> rate(kN), p(kN);
        double sum = 0;
        for (std::int64_t k = 0; k < kN; ++k) sum += rate[k] = double(k) / kN * b + (1 - double(k) / kN) * a;
        const double excess = (sum - kN) / kN;
        for (std::int64_t k = 0; k + 1 < kN; ++k) p[k + 1] = std::min(p[k] - excess + rate[k], double(kN - 1));
        return p;
    }

    static void fft(std::vector<std::complex<double>>& a) {
        const size_t n = a.size();
        for (size_t i = 1, j = 0; i < n; ++i) {
            size_t bit = n >> 1;
            for (; j & bit; bit >>= 1) j ^= bit;
            j |= bit;
            if (i < j) std::swap(a[i], a[j]);
        }
        for (size_t len = 2; len <= n; len <<= 1) {
            const auto root = std::polar(1.0, -2 * std::numbers::pi / double(len));
            for (size_t start = 0; start < n; start += len) {
                std::complex<double> w = 1;
                for (size_t k = 0; k < len / 2; ++k, w *= root) {
                    const auto u = a[start + k], v = a[start + k + len / 2] * w;
                    a[start + k] = u + v;
                    a[start + k + len / 2] = u - v;
                }
            }
        }
    }

    std::vector<float> mFactors;
    std::vector<std::vector<double>> mPositions;
};

// Glides up and down, steady tones (glides from a frequency to itself), noise, a glide over
// noise and a tone with a slow glide: one second each.
std::vector<std::vector<float>> corpus() {
    const std::int64_t length = kRate;
    std::vector<std::vector<float>> signals;
    const std::tuple<double, double, double> glides[] = {{500, 2500, 0.5},  {4000, 1000, 0.5}, {200, 600, 0.5},
                                                         {3000, 9000, 0.3}, {440, 440, 0.5},   {5123, 5123, 0.2}};
    for (const auto& [from, to, amplitude] : glides) signals.push_back(test::chirp(from, to, kRate, length, amplitude));
    signals.push_back(test::noise(length, 0.3, 21));
    signals.push_back(test::chirp(800, 2000, kRate, length, 0.4));
    test::mixInto(signals.back(), test::noise(length, 0.05, 22));
    signals.push_back(test::sine(330, kRate, length, 0.2));
    test::mixInto(signals.back(), test::chirp(1200, 1500, kRate, length, 0.2));
    return signals;
}

// The fast single-precision choice (vector math, real FFTs) picks the same warp as the
// double-precision reference; where it does not, the two warps are a near tie.
TEST(WarpChoice, FastChoiceAgreesWithDoublePrecisionReference) {
    SpectralProcessor processor(kN, 32, 4, kRate);
    const ReferenceWarpChooser reference;
    int frames = 0, agreeing = 0, warpedFrames = 0;
    for (const auto& signal : corpus()) {
        for (std::int64_t start = 0; start + kN <= std::int64_t(signal.size()); start += 1664) {
            const float* frame = signal.data() + start;
            const std::vector<double> x(frame, frame + kN);
            std::vector<double> entropies;
            const size_t choice = reference.choose(x, entropies);
            const WarpChoice fast = processor.chooseWarp(frame);
            const float expected = reference.factorOf(choice);
            ++frames;
            warpedFrames += expected != 1.0f;
            EXPECT_NEAR(processor.spectralEntropy(frame), entropies[0], 1e-4 * entropies[0] + 1e-6);
            if (fast.factor == expected) {
                ++agreeing;
                continue;
            }
            const auto& factors = processor.warpFactors();
            const size_t fastChoice = fast.factor == 1.0f && choice != 0 ? 0
                                      : size_t(std::find(factors.begin(), factors.end(), fast.factor) - factors.begin()) + 1;
            ASSERT_LT(fastChoice, entropies.size());
            EXPECT_NEAR(entropies[fastChoice], entropies[choice], 1e-5 * entropies[choice])
                << "frame at " << start << ": fast " << fast.factor << ", reference " << expected;
        }
    }
    std::printf("warp choice agreement: %d of %d frames (%d warped)\n", agreeing, frames, warpedFrames);
    EXPECT_GE(frames, 200);
    EXPECT_GT(warpedFrames, frames / 4);
    EXPECT_GE(agreeing, frames * 97 / 100);
}

}  // namespace
}  // namespace orvex
