#pragma once

#include <memory>
#include <string>

#include "common/Types.h"
#include "store/KVGrainCollection.h"

namespace orvex {

// Reads the mixdown as samples on the working file's timeline. Record k of a mixdown
// collection holds the grain of frames [128 k - 3968, 128 k + 128), so after a seek to record
// k the stream delivers frame 128 k only after 4096 samples, once all 32 grains that overlap
// it have been added; seekToFrame discards that lead-in (plus the frame's offset in its
// block), so the next sample read is the frame asked for, complete.
// Threads: one consumer per stream, as for the collections themselves.
class KVMixdownStream {
public:
    // Samples between a seek to record k and frame 128 k.
    static constexpr FrameCount kLeadIn = KVGrainCollection::kGrainSize;

    // Positions collection so that its next sample is frame of the working file.
    static void seekToFrame(KVGrainCollection& collection, FramePos frame);

    // Independent read-only streams on the two mixdown collections of the working file;
    // nothing when either file is missing.
    static std::unique_ptr<KVMixdownStream> open(const std::string& workingFilePath);

    void seekToFrame(FramePos frame);
    // Reads the next n frames of each channel; right may be null. False when the mixdown ran
    // out of records (the missing part reads as silence).
    bool read(FrameCount n, float* left, float* right);
    // The first grain read that did not match its checksum, or success.
    Result damage() const;

private:
    KVMixdownStream(std::unique_ptr<KVGrainCollection> left, std::unique_ptr<KVGrainCollection> right);

    std::unique_ptr<KVGrainCollection> mLeft;
    std::unique_ptr<KVGrainCollection> mRight;
};

}  // namespace orvex
