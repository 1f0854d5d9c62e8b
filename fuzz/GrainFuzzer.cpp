// Grain decoder: any bytes stored as a grain file decode to finite samples grain by grain,
// and stream (decode plus overlap-add) to its end without a crash or an out-of-range access.

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "FuzzScratch.h"
#include "store/KVGrainCollection.h"

namespace {

using orvex::KVEncodedGrain;

void decodeEach(const std::uint8_t* data, std::size_t size) {
    KVEncodedGrain grain;
    std::vector<float> samples(KVEncodedGrain::kSampleCount);
    for (std::size_t at = 0; at < size; at += sizeof grain) {
        grain.clear();
        std::memcpy(static_cast<void*>(&grain), data + at, std::min(sizeof grain, size - at));
        grain.decode(samples.data());
        for (const float x : samples)
            if (!std::isfinite(x)) std::abort();
    }
}

// Streams the collection from its first record to one hop past its last.
void stream(const std::string& path) {
    auto collection = orvex::KVGrainCollection::initByOpeningFileAtPath(path, true, false);
    if (!collection) return;
    const orvex::FrameCount samples = (collection->frameCount() + 1) * orvex::KVGrainCollection::kHop;
    std::vector<float> out(static_cast<std::size_t>(orvex::KVGrainCollection::kHop));
    float* buffers[] = {out.data()};
    collection->seekGrainRecord(0);
    for (orvex::FrameCount done = 0; done < samples; done += orvex::KVGrainCollection::kHop)
        collection->readAudio(orvex::KVGrainCollection::kHop, buffers);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    decodeEach(data, size);
    const auto& scratch = orvex::fuzz::FuzzScratch::shared();
    scratch.write("g.asp.noindex", data, size);
    stream(scratch.path("g.kva"));
    return 0;
}
