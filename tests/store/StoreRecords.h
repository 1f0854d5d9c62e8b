#pragma once

// Small hand-made frame records and raw file helpers for the store tests.

#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "dsp/FrameRecord.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVEncodedGrain.h"
#include "support/PlatformFixture.h"
#include "support/Shell.h"

namespace orvex::test {

// A valid record of the system's analysis parameters holding a few partials whose pattern
// depends on tag, with known phases (so its synthesis does not depend on earlier frames).
inline std::unique_ptr<FrameRecord> partialsRecord(int tag, std::uint16_t version = kFrameRecordVersion) {
    auto record = FrameRecord::create();
    record->version = version;
    record->valid = 1;
    record->frameSize = 4096;
    record->overlap = 32;
    record->zeroPaddingFactor = 4;
    record->warpFactor = 1.0f;
    record->noisiness = 0.01f * float(tag % 100);
    std::vector<float> magnitudes(8192, 0.0f), frequencies(8192, 0.0f), phases(8192, 0.0f);
    for (int p = 0; p < 3; ++p) {
        const int bin = 40 + 13 * p + 7 * (tag % 11);
        magnitudes[bin] = 20.0f + float(tag % 7) + 5.0f * float(p);
        frequencies[bin] = float(bin) * 44100.0f / 16384.0f;
        phases[bin] = 0.1f * float(tag % 13) - 0.5f;
        record->peakBins[p] = static_cast<std::uint16_t>(bin);
    }
    record->encode(magnitudes, frequencies, phases);
    return record;
}

// Bytes of a record apart from the sample range, which the store sets from the synthesis.
inline bool sameApartFromSampleRange(const FrameRecord& a, const FrameRecord& b) {
    const auto* x = reinterpret_cast<const unsigned char*>(&a);
    const auto* y = reinterpret_cast<const unsigned char*>(&b);
    const std::size_t from = offsetof(FrameRecord, minimumSample), to = offsetof(FrameRecord, fundamental);
    return std::memcmp(x, y, from) == 0 && std::memcmp(x + to, y + to, sizeof(FrameRecord) - to) == 0;
}

// A grain whose every sample is value.
inline KVEncodedGrain constantGrain(float value) {
    std::vector<float> samples(KVEncodedGrain::kSampleCount, value);
    KVEncodedGrain grain{};
    grain.encode(samples.data());
    return grain;
}

inline bool sameBytes(const void* a, const void* b, std::size_t n) { return std::memcmp(a, b, n) == 0; }

inline std::uintmax_t fileSize(const std::string& path) { return std::filesystem::file_size(path); }

// The file set of <name>.wav in the test's folder at the system's analysis parameters, and the
// data files of take.wav's set.
class FileSetFixture : public PlatformFixture {
protected:
    std::unique_ptr<KVAnalysisFileSet> open(int channels, bool recreate = false, bool keepsUndo = true,
                                            const std::string& name = "take") {
        return KVAnalysisFileSet::initByOpeningFileAtPath(temp().file(name + ".wav"), 44100.0, 4, 4096, 32, channels,
                                                          keepsUndo, recreate);
    }
    std::string data(const std::string& chunk, const std::string& suffix) {
        return temp().file("take.analysis/take_" + chunk + suffix);
    }
};

}  // namespace orvex::test
