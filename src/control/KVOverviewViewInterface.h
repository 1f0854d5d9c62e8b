#pragma once

#include <cstdint>
#include <memory>

#include "common/Types.h"

namespace orvex {

class OverviewColumns;

// The part of a waveform overview view that its controller feeds: the columns to paint (the
// controller's own, which its overview thread fills), channels, the analysed range and the
// play cursor. Threads: every call comes from the main thread.
class KVOverviewViewInterface {
public:
    virtual ~KVOverviewViewInterface() = default;

    // The columns the view paints from; the controller keeps filling them.
    virtual void showColumns(std::shared_ptr<const OverviewColumns> columns) = 0;
    virtual void setHighQuality(bool highQuality) = 0;
    virtual void setNumberOfChannels(std::int64_t channels) = 0;
    // The cached picture must be rebuilt.
    virtual void setNeedsRedraw() = 0;
    // Only recomposite (new columns arrived); called on the main thread.
    virtual void setNeedsDisplay() = 0;
    virtual void setAnalysisStartFrame(FramePos frame) = 0;
    virtual void setAnalysisEndFrame(FramePos frame) = 0;
    virtual void setPlayCursor(FramePos frame) = 0;
};

}  // namespace orvex
