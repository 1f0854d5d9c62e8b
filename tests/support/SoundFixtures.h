#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/Shell.h"

namespace orvex::test {

using Bytes = std::vector<std::uint8_t>;

// A WAVE file assembled byte by byte (integer PCM, little-endian), with extra chunks placed
// before "data" in the given order. samples are interleaved full-scale integers.
struct RawChunk {
    std::string id;
    Bytes bytes;
};
void writeRiffWave(const std::string& path, int channels, int rate, int bits, const std::vector<std::int32_t>& samples,
                   const std::vector<RawChunk>& chunks);

// A file examined by Python: the RIFF chunk list is checked for consistency (sizes, pad bytes,
// total length), each non-audio chunk's bytes are returned, and the audio is read with the
// wave module as integers.
struct PythonWaveView {
    bool ok = false;
    std::string output;  // Python's report, for failure messages
    std::vector<std::string> chunkOrder;
    std::map<std::string, Bytes> chunks;
    int channels = 0, sampleWidth = 0, rate = 0;
    std::int64_t frames = 0;
    std::vector<std::int32_t> samples;  // interleaved
};
PythonWaveView readWithPython(const std::string& path);

// Encodes a file with the ffmpeg command-line tool; false when it is missing or fails.
bool encodeWithFfmpeg(const std::string& input, const std::string& output, const std::string& options = "");

// Sample bytes that exercise odd lengths, NULs and high bytes.
Bytes patternBytes(std::size_t length, std::uint8_t start);

// Amplitude of the component at frequency f (Hz) in x, by correlation over the whole run.
double amplitudeAt(const std::vector<float>& x, double f, double rate);

}  // namespace orvex::test
