#pragma once

#include <cstdint>

#include "common/Types.h"

namespace orvex {

struct FrameRecord;

// A store of frame records by frame and channel (0, 1, ... for the channels, -1 for their
// mix), as the harmonic processor reads and writes them. The analysis file set provides one.
// Threads: implementations lock themselves; callers take no lock.
class FrameRecordSource {
public:
    virtual ~FrameRecordSource() = default;
    virtual std::int32_t numberOfChannels() const = 0;
    // 0 when the record of (frame, channel) was read whole into `into`, nonzero otherwise.
    virtual Status readFrameRecord(FramePos frame, FrameRecord& into, std::int32_t channel) = 0;
    virtual Status writeFrameRecord(const FrameRecord& record, FramePos frame, std::int32_t channel) = 0;
};

}  // namespace orvex
