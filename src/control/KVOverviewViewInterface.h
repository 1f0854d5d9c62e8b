#pragma once

#include <cstdint>
#include <mutex>

#include "common/Types.h"

namespace orvex {

// The part of a waveform overview view that its controller feeds: column count, channels,
// one min/max column at a time, the analysed range and the play cursor.
// Threads: setMinL is called from the controller's overview thread with monitor() held; every
// other call comes from the main thread.
class KVOverviewViewInterface {
public:
    virtual ~KVOverviewViewInterface() = default;

    virtual void setNumberOfColumns(std::int64_t columns) = 0;
    virtual void setHighQuality(bool highQuality) = 0;
    virtual void setNumberOfChannels(std::int64_t channels) = 0;
    // Replaces column index; ignored unless 0 <= index < the column count.
    virtual void setMinL(float minL, float minR, float maxL, float maxR, std::int64_t index) = 0;
    // The cached picture must be rebuilt.
    virtual void setNeedsRedraw() = 0;
    // Only recomposite (new columns arrived); called on the main thread.
    virtual void setNeedsDisplay() = 0;
    virtual void setAnalysisStartFrame(FramePos frame) = 0;
    virtual void setAnalysisEndFrame(FramePos frame) = 0;
    virtual void setPlayCursor(FramePos frame) = 0;
    // The view's own lock, held by the overview thread while it stores a column.
    virtual std::recursive_mutex& monitor() = 0;
};

}  // namespace orvex
