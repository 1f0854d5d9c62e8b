#include "engine/KVFileSetRecordSource.h"

#include "store/KVAnalysisFileSet.h"

namespace orvex {

std::int32_t KVFileSetRecordSource::numberOfChannels() const { return mSet.numberOfChannels(); }

Status KVFileSetRecordSource::readFrameRecord(FramePos frame, FrameRecord& into, std::int32_t channel) {
    return mSet.readFrameRecord(frame, into, channel);
}

Status KVFileSetRecordSource::writeFrameRecord(const FrameRecord& record, FramePos frame, std::int32_t channel) {
    return mSet.writeFrameRecord(record, frame, channel);
}

}  // namespace orvex
