#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/Types.h"
#include "store/KVRecordFile.h"

namespace orvex {

// The data files of a chunk file as they were when a whole-segment step began, kept under the
// step's names and read while the step writes fresh files under the chunk file's own paths:
// every frame the step has not written yet reads from here, so the step sees the segment it
// started from without a copy of it. Frames from cut(n) on are gone for the step.
// Not synchronised: the chunk file calls it under its monitor.
class KeptStepFiles {
public:
    // The kept files, in the order of the data files they were kept from; a file that cannot
    // be opened reads as empty.
    KeptStepFiles(const std::vector<std::string>& paths, const std::vector<std::size_t>& recordSizes);

    // Frames [0, frames()) that the step has not written read from here.
    FrameCount frames() const { return mFrames; }
    bool readsFrame(FramePos frame) const;
    void wrote(FramePos start, FrameCount count);
    // The step ends the segment at frames (shorter or longer than the kept files).
    void cut(FrameCount frames);
    // Whether the step has written no frame and kept the segment's length.
    bool untouched() const { return !mChanged; }
    // The runs of frames the step left unwritten, first frame and length, in frame order.
    std::vector<std::pair<FramePos, FrameCount>> unwrittenRuns() const;
    KVRecordFile& file(std::size_t index) { return *mFiles[index]; }

private:
    std::vector<std::unique_ptr<KVRecordFile>> mFiles;
    std::vector<bool> mWritten;
    FrameCount mFrames = 0;
    bool mChanged = false;
};

}  // namespace orvex
