#pragma once

#include "dsp/FrameRecordSource.h"

namespace orvex {

class KVAnalysisFileSet;

// Serves a file set (not owned; it must outlive the adapter) as the record store of the
// harmonic processor. Threads: the file set locks itself.
class KVFileSetRecordSource : public FrameRecordSource {
public:
    explicit KVFileSetRecordSource(KVAnalysisFileSet& set) : mSet(set) {}

    std::int32_t numberOfChannels() const override;
    Status readFrameRecord(FramePos frame, FrameRecord& into, std::int32_t channel) override;
    Status writeFrameRecord(const FrameRecord& record, FramePos frame, std::int32_t channel) override;

private:
    KVAnalysisFileSet& mSet;
};

}  // namespace orvex
