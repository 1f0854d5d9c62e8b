#pragma once

#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <numbers>
#include <vector>

#include "dsp/FrameRecord.h"
#include "dsp/SpectralProcessor.h"

namespace orvex::test {

// Collects copies of the records a processor delivers, with the channel they came with.
struct RecordSink {
    std::vector<std::unique_ptr<FrameRecord>> records;
    std::vector<std::int32_t> channels;

    static void receive(FrameRecord* record, std::int32_t channel, void* userData) {
        auto* sink = static_cast<RecordSink*>(userData);
        auto copy = FrameRecord::create();
        FrameRecord::copy(*record, *copy);
        sink->records.push_back(std::move(copy));
        sink->channels.push_back(channel);
    }
    void attach(SpectralProcessor& processor, std::int32_t channel = 0) {
        processor.setAnalysisCallback(&RecordSink::receive, this, channel);
    }
};

// Double-precision DFT of x at bin k of an m-point transform (x zero beyond its length).
inline std::complex<double> dftBin(const std::vector<double>& x, std::int64_t m, double k) {
    std::complex<double> sum = 0;
    for (size_t n = 0; n < x.size(); ++n) sum += x[n] * std::polar(1.0, -2.0 * std::numbers::pi * k * double(n) / double(m));
    return sum;
}

// Periodic Hann window in double precision.
inline double hann(std::int64_t k, std::int64_t n) { return 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(k) / double(n)); }

}  // namespace orvex::test
