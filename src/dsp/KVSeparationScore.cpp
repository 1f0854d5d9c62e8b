#include "dsp/KVSeparationScore.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>

#include "dsp/FftEngine.h"

namespace orvex {

namespace {

// Float FFT round-off on a block's correlation stays near 1e-6 of |x| |y|; candidates within
// this much (relative to the summed block norms) of the best are re-evaluated in double.
constexpr double kCandidateTolerance = 1e-4;
constexpr std::size_t kMaxCandidates = 32;

std::int64_t nextPowerOfTwo(std::int64_t n) {
    std::int64_t m = 1;
    while (m < n) m <<= 1;
    return m;
}

double decibels(double numerator, double denominator) {
    if (!(numerator > 0.0)) return -KVSeparationScore::kCapDb;
    if (!(denominator > 0.0)) return KVSeparationScore::kCapDb;
    return std::clamp(10.0 * std::log10(numerator / denominator), -KVSeparationScore::kCapDb,
                      KVSeparationScore::kCapDb);
}

template <class Sample>
double energy(const std::vector<Sample>& x) {
    double sum = 0.0;
    for (Sample v : x) sum += double(v) * double(v);
    return sum;
}

// KVSeparationScore::figures for float or double samples (no copies of float channels).
template <class R, class E>
KVSeparationScore::Figures figuresOf(const std::vector<R>& reference, const std::vector<E>& estimate,
                                     std::int64_t lag) {
    const auto length = static_cast<std::int64_t>(reference.size());
    const auto estimateLength = static_cast<std::int64_t>(estimate.size());
    const auto aligned = [&](std::int64_t n) {
        const std::int64_t m = n + lag;
        return m >= 0 && m < estimateLength ? double(estimate[m]) : 0.0;
    };
    double referenceEnergy = 0.0, crossed = 0.0, error = 0.0;
    for (std::int64_t n = 0; n < length; ++n) {
        const double s = reference[n], e = aligned(n);
        referenceEnergy += s * s;
        crossed += s * e;
        error += (s - e) * (s - e);
    }
    KVSeparationScore::Figures result;
    result.snr = decibels(referenceEnergy, error);
    const double gain = referenceEnergy > 0.0 ? crossed / referenceEnergy : 0.0;
    double target = 0.0, distortion = 0.0;
    for (std::int64_t n = 0; n < length; ++n) {
        const double scaled = gain * double(reference[n]), e = aligned(n);
        target += scaled * scaled;
        distortion += (scaled - e) * (scaled - e);
    }
    result.siSdr = decibels(target, distortion);
    return result;
}

// Orders lag candidates: larger correlation first, then nearer zero, then the negative one.
bool better(double value, std::int64_t lag, double otherValue, std::int64_t otherLag) {
    return std::make_tuple(-value, std::llabs(lag), lag) < std::make_tuple(-otherValue, std::llabs(otherLag), otherLag);
}

}  // namespace

std::vector<double> KVSeparationScore::monoOf(const Channels& channels) {
    std::size_t length = 0;
    for (const auto& channel : channels) length = std::max(length, channel.size());
    std::vector<double> mono(length, 0.0);
    if (channels.empty()) return mono;
    for (const auto& channel : channels)
        for (std::size_t i = 0; i < channel.size(); ++i) mono[i] += channel[i];
    const double count = static_cast<double>(channels.size());
    if (channels.size() > 1)
        for (double& v : mono) v /= count;
    return mono;
}

double KVSeparationScore::correlationAt(const std::vector<double>& reference, const std::vector<double>& estimate,
                                        std::int64_t lag) {
    const auto length = static_cast<std::int64_t>(reference.size());
    const auto estimateLength = static_cast<std::int64_t>(estimate.size());
    const std::int64_t first = std::max<std::int64_t>(0, -lag);
    const std::int64_t last = std::min(length, estimateLength - lag);
    double sum = 0.0;
    for (std::int64_t n = first; n < last; ++n) sum += reference[n] * estimate[n + lag];
    return sum;
}

std::int64_t KVSeparationScore::bestLag(const std::vector<double>& reference, const std::vector<double>& estimate,
                                        std::int64_t maxLag) {
    maxLag = std::max<std::int64_t>(0, maxLag);
    const auto length = static_cast<std::int64_t>(reference.size());
    const auto estimateLength = static_cast<std::int64_t>(estimate.size());
    if (length == 0 || estimateLength == 0) return 0;

    // Blocks of the reference, each correlated with the estimate around it: block b holds
    // ref[n0 .. n0 + B) and est[n0 - maxLag .. n0 + B + maxLag), so the circular correlation of
    // size m = B + 2 maxLag has the wanted lags without wrap-around.
    const std::int64_t size =
        std::min(nextPowerOfTwo(std::max<std::int64_t>(8 * maxLag, 4096)), nextPowerOfTwo(length + 2 * maxLag));
    const std::int64_t block = size - 2 * maxLag;
    FftEngine fft(size);
    std::vector<float> x(static_cast<std::size_t>(size)), y(static_cast<std::size_t>(size));
    std::vector<float> xSpectrum(static_cast<std::size_t>(size + 2)), ySpectrum(static_cast<std::size_t>(size + 2));
    std::vector<float> product(static_cast<std::size_t>(2 * size));
    std::vector<double> correlation(static_cast<std::size_t>(2 * maxLag + 1), 0.0);
    double scale = 0.0;

    for (std::int64_t start = 0; start < length; start += block) {
        double xEnergy = 0.0, yEnergy = 0.0;
        for (std::int64_t i = 0; i < size; ++i) {
            const std::int64_t n = start + i;
            x[i] = i < block && n < length ? static_cast<float>(reference[n]) : 0.0f;
            const std::int64_t m = start - maxLag + i;
            y[i] = m >= 0 && m < estimateLength ? static_cast<float>(estimate[m]) : 0.0f;
            xEnergy += double(x[i]) * x[i];
            yEnergy += double(y[i]) * y[i];
        }
        if (xEnergy == 0.0 || yEnergy == 0.0) continue;
        scale += std::sqrt(xEnergy * yEnergy);
        fft.realForward(x.data(), xSpectrum.data(), size);
        fft.realForward(y.data(), ySpectrum.data(), size);
        // Z = conj(X) Y, Hermitian; its inverse is Re(forward(conj(Z))) / m over the full length.
        for (std::int64_t k = 0; k <= size / 2; ++k) {
            const float xr = xSpectrum[2 * k], xi = xSpectrum[2 * k + 1];
            const float yr = ySpectrum[2 * k], yi = ySpectrum[2 * k + 1];
            const float zr = xr * yr + xi * yi, zi = xr * yi - xi * yr;
            product[2 * k] = zr;
            product[2 * k + 1] = -zi;
            if (k > 0 && k < size / 2) {
                product[2 * (size - k)] = zr;
                product[2 * (size - k) + 1] = zi;
            }
        }
        fft.complexForward(product.data(), size);
        const double inverseSize = 1.0 / static_cast<double>(size);
        for (std::int64_t k = 0; k <= 2 * maxLag; ++k) correlation[k] += double(product[2 * k]) * inverseSize;
    }

    // The best few by the FFT sums, then exactly in double.
    const double top = *std::max_element(correlation.begin(), correlation.end());
    std::vector<std::int64_t> candidates;
    for (std::int64_t k = 0; k <= 2 * maxLag; ++k)
        if (correlation[k] >= top - kCandidateTolerance * scale) candidates.push_back(k - maxLag);
    const auto valueOf = [&](std::int64_t lag) { return correlation[lag + maxLag]; };
    const std::size_t keep = std::min(candidates.size(), kMaxCandidates);
    std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(keep), candidates.end(),
                      [&](std::int64_t a, std::int64_t b) { return better(valueOf(a), a, valueOf(b), b); });
    std::int64_t best = 0;
    double bestValue = 0.0;
    for (std::size_t i = 0; i < keep; ++i) {
        const std::int64_t lag = candidates[i];
        const double value = correlationAt(reference, estimate, lag);
        if (i == 0 || better(value, lag, bestValue, best)) {
            best = lag;
            bestValue = value;
        }
    }
    return best;
}

KVSeparationScore::Figures KVSeparationScore::figures(const std::vector<double>& reference,
                                                      const std::vector<double>& estimate, std::int64_t lag) {
    return figuresOf(reference, estimate, lag);
}

KVSeparationScore::Comparison KVSeparationScore::compare(const Channels& reference, const Channels& estimate,
                                                         std::int64_t maxLag) {
    Comparison comparison;
    const std::size_t referenceChannels = reference.size(), estimateChannels = estimate.size();
    if (referenceChannels == 0 || estimateChannels == 0) {
        comparison.failure = "a file without channels cannot be compared";
        return comparison;
    }
    if (referenceChannels != estimateChannels && referenceChannels != 1 && estimateChannels != 1) {
        comparison.failure = "a file of " + std::to_string(referenceChannels) +
                             " channels can only be compared with "
                             "one of as many channels or a mono file, not with one of " +
                             std::to_string(estimateChannels);
        return comparison;
    }
    if (reference.front().empty()) {
        comparison.failure = "the reference holds no samples";
        return comparison;
    }
    const std::vector<double> referenceMono = monoOf(reference), estimateMono = monoOf(estimate);

    bool allSilent = true;
    for (const auto& channel : reference)
        allSilent = allSilent && std::all_of(channel.begin(), channel.end(), [](float v) { return v == 0.0f; });
    if (allSilent) {
        comparison.failure = "the reference is silent";
        return comparison;
    }
    if (!(energy(referenceMono) > 0.0)) {
        comparison.failure = "the mono sum of the reference is silent (its channels cancel)";
        return comparison;
    }
    if (referenceChannels == estimateChannels && referenceChannels > 1)
        for (std::size_t c = 0; c < referenceChannels; ++c)
            if (!(energy(reference[c]) > 0.0)) {
                comparison.failure = "channel " + std::to_string(c) + " of the reference is silent";
                return comparison;
            }

    // The compared channels: one by one, or a mono file against the other's mono sum.
    comparison.lag = bestLag(referenceMono, estimateMono, maxLag);
    if (referenceChannels == estimateChannels) {
        for (std::size_t c = 0; c < referenceChannels; ++c)
            comparison.channels.push_back(figuresOf(reference[c], estimate[c], comparison.lag));
    } else if (referenceChannels == 1) {
        comparison.channels.push_back(figuresOf(reference.front(), estimateMono, comparison.lag));
    } else {
        comparison.channels.push_back(figuresOf(referenceMono, estimate.front(), comparison.lag));
    }
    comparison.mono = figuresOf(referenceMono, estimateMono, comparison.lag);
    return comparison;
}

}  // namespace orvex
