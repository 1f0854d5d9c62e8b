#include "support/Signals.h"

#include <sndfile.h>

#include <cmath>
#include <random>
#include <stdexcept>

namespace orvex::test {

std::vector<float> sine(double frequency, double sampleRate, std::int64_t frames, double amplitude, double phase) {
    std::vector<float> out(static_cast<std::size_t>(frames));
    for (std::int64_t i = 0; i < frames; ++i)
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * frequency * i / sampleRate + phase));
    return out;
}

std::vector<float> chirp(double f0, double f1, double sampleRate, std::int64_t frames, double amplitude) {
    std::vector<float> out(static_cast<std::size_t>(frames));
    const double duration = frames / sampleRate;
    for (std::int64_t i = 0; i < frames; ++i) {
        const double t = i / sampleRate;
        out[i] = static_cast<float>(amplitude * std::sin(2.0 * M_PI * (f0 * t + 0.5 * (f1 - f0) / duration * t * t)));
    }
    return out;
}

std::vector<float> noise(std::int64_t frames, double amplitude, std::uint32_t seedValue) {
    std::mt19937 generator(seedValue);
    std::uniform_real_distribution<double> uniform(-amplitude, amplitude);
    std::vector<float> out(static_cast<std::size_t>(frames));
    for (auto& v : out) v = static_cast<float>(uniform(generator));
    return out;
}

void mixInto(std::vector<float>& a, const std::vector<float>& b) {
    for (std::size_t i = 0; i < a.size() && i < b.size(); ++i) a[i] += b[i];
}

Channels toneClicksAndNoise(std::int64_t frames, int channels) {
    Channels out;
    for (int c = 0; c < channels; ++c) {
        std::vector<float> signal(std::size_t(frames), 0.0f);
        for (int h = 1; h <= 5; ++h) mixInto(signal, sine(220.0 * h, 44100.0, frames, (c ? 0.15 : 0.2) / h));
        for (std::int64_t t = 5000; t < frames; t += 11025)
            for (int i = 0; i < 8; ++i) signal[std::size_t(t + i)] += (i % 2 ? -0.6f : 0.6f) * float(8 - i) / 8.0f;
        mixInto(signal, noise(frames, 0.01, std::uint32_t(c + 1)));
        out.push_back(std::move(signal));
    }
    return out;
}

Channels musicLike(std::int64_t frames) {
    Channels out;
    for (int c = 0; c < 2; ++c) {
        std::vector<float> signal = noise(frames, 0.01, std::uint32_t(c + 3));
        for (const double root : {220.0, 277.2, 329.6}) {
            const double f0 = root * (c ? 1.26 : 1.0);
            double phase = 0.0;
            for (std::int64_t t = 0; t < frames; ++t) {
                const double f = f0 * (1.0 + 0.004 * std::sin(2.0 * M_PI * 5.0 * double(t) / 44100.0));
                phase += 2.0 * M_PI * f / 44100.0;
                float v = 0.0f;
                for (int h = 1; h <= 5; ++h) v += float(0.08 / h * std::sin(double(h) * phase));
                signal[std::size_t(t)] += v;
            }
        }
        for (std::int64_t t = 1000; t + 400 < frames; t += 22050)
            for (int i = 0; i < 400; ++i)
                signal[std::size_t(t + i)] += float(0.5 * std::exp(-i / 60.0) * std::sin(2.0 * M_PI * 60.0 * i / 44100.0));
        out.push_back(std::move(signal));
    }
    return out;
}

void writeWave(const std::string& path, const Channels& channels, int sampleRate, int subtype) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = static_cast<int>(channels.size());
    info.format = SF_FORMAT_WAV | (subtype ? subtype : SF_FORMAT_PCM_24);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) throw std::runtime_error("cannot write " + path + ": " + sf_strerror(nullptr));
    const std::size_t frames = channels.empty() ? 0 : channels[0].size();
    std::vector<float> interleaved(frames * channels.size());
    for (std::size_t i = 0; i < frames; ++i)
        for (std::size_t c = 0; c < channels.size(); ++c) interleaved[i * channels.size() + c] = channels[c][i];
    sf_writef_float(file, interleaved.data(), static_cast<sf_count_t>(frames));
    sf_close(file);
}

Channels readSound(const std::string& path, int* sampleRate) {
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) throw std::runtime_error("cannot read " + path);
    std::vector<float> interleaved(static_cast<std::size_t>(info.frames) * info.channels);
    const sf_count_t got = sf_readf_float(file, interleaved.data(), info.frames);
    sf_close(file);
    Channels out(info.channels, std::vector<float>(static_cast<std::size_t>(got)));
    for (sf_count_t i = 0; i < got; ++i)
        for (int c = 0; c < info.channels; ++c) out[c][i] = interleaved[i * info.channels + c];
    if (sampleRate) *sampleRate = info.samplerate;
    return out;
}

std::vector<float> channelMean(const Channels& channels) {
    const float share = 1.0f / static_cast<float>(channels.size());
    std::vector<float> mix(channels[0].size());
    for (std::size_t i = 0; i < mix.size(); ++i) {
        float sum = 0.0f;
        for (const std::vector<float>& channel : channels) sum += channel[i] * share;
        mix[i] = sum;
    }
    return mix;
}

}  // namespace orvex::test
