#include "engine/KVMedianMask.h"

#include <algorithm>
#include <cmath>

#include "common/MathConstants.h"
#include "dsp/FftEngine.h"

namespace orvex {

namespace {

// Where the window of analysis frame f is centred, in samples of the segment: the analysis
// emits a 4096-sample window each time 128 new samples have come in.
double analysisFrameCentre(FramePos f) { return double((f + 1) * kAnalysisHop) - double(kAnalysisFrameSize) / 2.0; }

// The nearest odd count of at least one.
int oddCells(double cells) {
    const int n = std::max(1, int(std::lround(cells)));
    return n % 2 == 1 ? n : n + 1;
}

// The median of values (reordered); the upper middle one of an even count.
float median(std::vector<float>& values) {
    const auto middle = values.begin() + std::ptrdiff_t(values.size() / 2);
    std::nth_element(values.begin(), middle, values.end());
    return *middle;
}

}  // namespace

KVMedianMask::KVMedianMask(FrameCount frames, int bins, const KVMedianSettings& settings)
    : mFrames(std::max<FrameCount>(0, frames)),
      mBins(std::max(0, bins)),
      mColumns(int(kTransformSize / 2 + 1)),
      // Spectrogram frames centred at 0, 2048, ... up to past the last analysis frame's centre.
      mBlocks(std::max<std::int64_t>(1, std::int64_t(std::ceil(analysisFrameCentre(mFrames) / kTransformHop)) + 1)),
      mPower(settings.maskPower),
      mTimeCells(oddCells(settings.timeSeconds * kWorkingSampleRate / double(kTransformHop))),
      mFrequencyCells(oddCells(settings.frequencyHertz * double(kTransformSize) / kWorkingSampleRate)) {}

bool KVMedianMask::build(const AudioReader& read, int channels, const std::function<bool()>& cancelled) {
    std::vector<float> level(std::size_t(mBlocks) * std::size_t(mColumns), 0.0f);
    if (!addSpectrogram(read, channels, cancelled, level)) return false;
    std::vector<float> steady(level.size()), smooth(level.size());
    medianAlongTime(level, steady);
    if (cancelled && cancelled()) return false;
    medianAlongFrequency(level, smooth);
    mShare.assign(level.size(), 0.5f);
    for (std::size_t i = 0; i < level.size(); ++i) {
        const double s = std::pow(double(steady[i]), mPower), t = std::pow(double(smooth[i]), mPower);
        if (s + t > 0.0 && std::isfinite(s + t))
            mShare[i] = float(s / (s + t));
        else if (steady[i] != smooth[i])
            mShare[i] = steady[i] > smooth[i] ? 1.0f : 0.0f;
    }
    return true;
}

// The magnitude of every spectrogram frame and bin: the root of the power summed over channels.
bool KVMedianMask::addSpectrogram(const AudioReader& read, int channels, const std::function<bool()>& cancelled,
                                  std::vector<float>& level) const {
    const std::size_t n = std::size_t(kTransformSize);
    std::vector<float> window(n);
    for (std::size_t i = 0; i < n; ++i) window[i] = float(0.5 - 0.5 * std::cos(kTwoPi * double(i) / double(n)));
    std::vector<std::vector<float>> samples(std::size_t(std::max(1, channels)), std::vector<float>(n));
    std::vector<float*> buffers;
    for (auto& channel : samples) buffers.push_back(channel.data());
    std::vector<float> input(n), spectrum(n + 2);
    FftEngine fft(kTransformSize);
    for (std::int64_t b = 0; b < mBlocks; ++b) {
        if (cancelled && cancelled()) return false;
        read(b * kTransformHop - kTransformSize / 2, kTransformSize, buffers.data());
        float* row = level.data() + cell(b, 0);
        for (const std::vector<float>& channel : samples) {
            for (std::size_t i = 0; i < n; ++i) input[i] = channel[i] * window[i];
            fft.realForward(input.data(), spectrum.data(), kTransformSize);
            for (int j = 0; j < mColumns; ++j)
                row[j] += spectrum[2 * std::size_t(j)] * spectrum[2 * std::size_t(j)] +
                          spectrum[2 * std::size_t(j) + 1] * spectrum[2 * std::size_t(j) + 1];
        }
        for (int j = 0; j < mColumns; ++j) row[j] = std::sqrt(row[j]);
    }
    return true;
}

void KVMedianMask::medianAlongTime(const std::vector<float>& level, std::vector<float>& out) const {
    const std::int64_t half = mTimeCells / 2;
    std::vector<float> window;
    for (int j = 0; j < mColumns; ++j)
        for (std::int64_t b = 0; b < mBlocks; ++b) {
            window.clear();
            for (std::int64_t i = std::max<std::int64_t>(0, b - half); i <= std::min(mBlocks - 1, b + half); ++i)
                window.push_back(level[cell(i, j)]);
            out[cell(b, j)] = median(window);
        }
}

void KVMedianMask::medianAlongFrequency(const std::vector<float>& level, std::vector<float>& out) const {
    const int half = mFrequencyCells / 2;
    std::vector<float> window;
    for (std::int64_t b = 0; b < mBlocks; ++b)
        for (int j = 0; j < mColumns; ++j) {
            window.clear();
            for (int i = std::max(0, j - half); i <= std::min(mColumns - 1, j + half); ++i)
                window.push_back(level[cell(b, i)]);
            out[cell(b, j)] = median(window);
        }
}

void KVMedianMask::sustainedShare(FramePos f, std::span<float> out) const {
    std::fill(out.begin(), out.end(), 0.5f);
    if (mShare.empty() || f < 0 || f >= mFrames) return;
    const double position = std::clamp(analysisFrameCentre(f) / double(kTransformHop), 0.0, double(mBlocks - 1));
    const std::int64_t first = std::int64_t(std::floor(position));
    const std::int64_t second = std::min(mBlocks - 1, first + 1);
    const float w = float(position - double(first));
    const float* a = mShare.data() + cell(first, 0);
    const float* b = mShare.data() + cell(second, 0);
    // Analysis bin k lies at spectrogram bin k / 2 (the analysis transform is twice as long).
    const int bins = std::min<int>(mBins, int(out.size()));
    for (int k = 0; k < bins; ++k) {
        const int j = std::min(mColumns - 2, k / 2);
        const float low = a[j] + w * (b[j] - a[j]);
        if (k % 2 == 0) {
            out[k] = low;
        } else {
            const float high = a[j + 1] + w * (b[j + 1] - a[j + 1]);
            out[k] = 0.5f * (low + high);
        }
    }
}

}  // namespace orvex
