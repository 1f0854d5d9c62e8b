#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex::test {

// Deterministic test signals, one vector per channel.
using Channels = std::vector<std::vector<float>>;

std::vector<float> sine(double frequency, double sampleRate, std::int64_t frames, double amplitude = 0.5,
                        double phase = 0.0);
// Linear chirp from f0 to f1 Hz over the whole length.
std::vector<float> chirp(double f0, double f1, double sampleRate, std::int64_t frames, double amplitude = 0.5);
// Uniform white noise in [-amplitude, amplitude] from a generator with a fixed start state.
std::vector<float> noise(std::int64_t frames, double amplitude, std::uint32_t seedValue = 1);
// Adds b into a (sizes must match).
void mixInto(std::vector<float>& a, const std::vector<float>& b);
// A 220 Hz tone with 5 partials (amplitude 0.2 / h), a click every quarter second and quiet
// noise; further channels hold the tone softer and other noise.
Channels toneClicksAndNoise(std::int64_t frames, int channels = 2);
// Two channels at 44.1 kHz: a chord of three voices with vibrato and decaying partials, a
// kick-like click twice a second and a little noise; the right channel plays a third higher.
Channels musicLike(std::int64_t frames);
// The channels' mix as the analysis forms it: 0 + x_1 / C + x_2 / C + ... in float, summed in
// channel order.
std::vector<float> channelMean(const Channels& channels);

// Writes a WAVE file through libsndfile (independent of the system's own writer).
// subtype is an SF_FORMAT_* subtype such as SF_FORMAT_PCM_16 (0 means PCM_24).
void writeWave(const std::string& path, const Channels& channels, int sampleRate, int subtype = 0);
// Reads any file libsndfile opens, de-interleaved; sampleRate receives the file's rate.
Channels readSound(const std::string& path, int* sampleRate = nullptr);

}  // namespace orvex::test
