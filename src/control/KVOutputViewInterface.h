#pragma once

#include "common/Result.h"
#include "control/KVOverviewViewInterface.h"

namespace orvex {

class KVOutputController;

// The master output view as its controller sees it. Main thread unless stated otherwise.
class KVOutputViewInterface : public KVOverviewViewInterface {
public:
    // Length in records of 128 frames.
    virtual void setNumberOfRecords(std::int64_t records) = 0;
    virtual FramePos playCursor() const = 0;
    virtual FramePos editCursor() const = 0;
};

// The document's side of the output controller; every message is optional (the defaults do
// nothing). Called on the main thread.
class KVOutputControllerDelegate {
public:
    virtual ~KVOutputControllerDelegate() = default;
    virtual void cursorWasMoved(KVOutputController&) {}
    virtual void togglePlayStop(KVOutputController&) {}
    // Percent of a running export; -1 when it has ended.
    virtual void setProgressValue(int) {}
    // An export started with exportToPath has ended (after the last progress value); a failed
    // result carries the alert's title and text for the delegate to show.
    virtual void exportFinished(KVOutputController&, const Result&) {}
};

}  // namespace orvex
