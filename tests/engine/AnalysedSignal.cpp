#include "AnalysedSignal.h"

#include <cmath>
#include <map>

#include "dsp/SpectralProcessor.h"
#include "support/TempDir.h"

namespace orvex::test {

namespace {
constexpr double kRate = 44100.0;

void appendRecord(FrameRecord* record, std::int32_t channel, void* userData) {
    static_cast<KVAnalysisFileSet*>(userData)->appendFrameRecord(*record, channel);
}

Channels stereo(const std::vector<float>& left, float rightGain) {
    std::vector<float> right(left);
    for (float& v : right) v *= rightGain;
    return {left, right};
}
}  // namespace

ToneClicksNoise makeToneClicksNoise(std::int64_t frames, double fundamental, std::int64_t clickInterval,
                                    double noiseAmplitude) {
    ToneClicksNoise s;
    s.fundamental = fundamental;
    std::vector<float> tone(static_cast<std::size_t>(frames), 0.0f);
    const double amplitudes[5] = {0.2, 0.1, 0.07, 0.05, 0.04};
    for (int h = 0; h < 5; ++h) mixInto(tone, sine(fundamental * (h + 1), kRate, frames, amplitudes[h], 0.3 * h));
    std::vector<float> clicks(static_cast<std::size_t>(frames), 0.0f);
    // Each click: 32 samples of alternating sign decaying from 0.8.
    for (std::int64_t at = clickInterval / 2; at + 32 < frames; at += clickInterval) {
        s.clickPositions.push_back(at);
        for (int j = 0; j < 32; ++j)
            clicks[static_cast<std::size_t>(at + j)] = float((j % 2 ? -0.8 : 0.8) * std::exp(-j / 8.0));
    }
    s.tone = stereo(tone, 0.8f);
    s.clicks = stereo(clicks, 0.9f);
    s.noise = {noise(frames, noiseAmplitude, 7), noise(frames, noiseAmplitude, 11)};
    s.mix = s.tone;
    for (int c = 0; c < 2; ++c) {
        mixInto(s.mix[c], s.clicks[c]);
        mixInto(s.mix[c], s.noise[c]);
    }
    return s;
}

std::unique_ptr<KVAnalysisFileSet> analyseIntoFileSet(const std::string& soundPath, const Channels& channels,
                                                      bool keepsUndo) {
    const auto count = static_cast<std::int32_t>(channels.size());
    auto set = KVAnalysisFileSet::initByOpeningFileAtPath(soundPath, kRate, 4, 4096, 32, count, keepsUndo, true);
    if (!set) return nullptr;
    set->markComplete();
    std::vector<float> mean(channels[0].size(), 0.0f);
    for (const auto& channel : channels)
        for (std::size_t i = 0; i < mean.size(); ++i) mean[i] += channel[i] / float(count);
    for (std::int32_t c = -1; c < count; ++c) {
        SpectralProcessor processor(4096, 32, 4, kRate);
        processor.setAnalysisCallback(appendRecord, set.get(), c);
        const std::vector<float>& input = c < 0 ? mean : channels[static_cast<std::size_t>(c)];
        processor.feedSamples(static_cast<std::int64_t>(input.size()), input.data());
    }
    return set;
}

std::unique_ptr<KVAnalysisFileSet> openEmptyFileSet(const std::string& path, int channels) {
    return KVAnalysisFileSet::initByOpeningFileAtPath(path, kRate, 4, 4096, 32, channels, true, true);
}

std::vector<float> renderChannel(KVAnalysisFileSet& set, std::int32_t channel, std::int64_t frames) {
    std::vector<float> out(static_cast<std::size_t>(frames), 0.0f);
    float* buffers[1] = {out.data()};
    set.setPlayPosition(0);
    set.readAudio(frames, buffers, channel);
    return out;
}

SharedAnalysis& sharedAnalysis(std::int64_t frames) {
    static TempDir folder;
    static std::map<std::int64_t, SharedAnalysis> analyses;
    auto found = analyses.find(frames);
    if (found != analyses.end()) return found->second;
    SharedAnalysis& shared = analyses[frames];
    shared.signal = makeToneClicksNoise(frames, 220.0, 22050, 0.005);
    shared.set = analyseIntoFileSet(folder.file("take" + std::to_string(frames) + ".wav"), shared.signal.mix, false);
    return shared;
}

}  // namespace orvex::test
