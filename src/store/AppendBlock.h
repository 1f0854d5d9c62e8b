#pragma once

#include <memory>

#include "common/Types.h"
#include "dsp/DisplayColumn.h"
#include "dsp/DisplaySummary.h"
#include "dsp/FrameRecord.h"
#include "store/KVEncodedGrain.h"

namespace orvex {

// Consecutive frames appended (or written inside an undo step) to a chunk file and not yet
// written: their records, grains and display records each lie back to back as in their files,
// so that a block goes to every file in one positional write instead of one write per frame and
// file. A block of writes that keep undo copies also holds the place of its first copy.
// Not synchronised: the chunk file's monitor guards it.
class AppendBlock {
public:
    // Frames a block holds: about 800 KB of records.
    static constexpr FrameCount kCapacity = 16;

    AppendBlock();

    bool empty() const { return mCount == 0; }
    bool full() const { return mCount == kCapacity; }
    FramePos start() const { return mStart; }
    FramePos end() const { return mStart + mCount; }
    FrameCount count() const { return mCount; }

    // Slots of the next frame; fill them, then take(frame). frame must be end() unless the
    // block is empty.
    FrameRecord& nextRecord() { return mRecords[mCount]; }
    KVEncodedGrain& nextGrain() { return mGrains[mCount]; }
    DisplayColumn& nextSpectral() { return mSpectral[mCount]; }
    DisplayColumn& nextHarmonic() { return mHarmonic[mCount]; }
    FrameSummary& nextSummary() { return mSummaries[mCount]; }
    void take(FramePos frame);
    void clear() {
        mCount = 0;
        mUndoStart = -1;
    }

    // The block's frames get undo copies, the first at index of the undo file.
    void keepUndoFrom(FramePos index) { mUndoStart = index; }
    bool keepsUndo() const { return mUndoStart >= 0; }
    FramePos undoStart() const { return mUndoStart; }
    // Room for the undo copies of a full block, made at first use.
    FrameRecord* undoCopies();

    const FrameRecord* records() const { return mRecords.get(); }
    const KVEncodedGrain* grains() const { return mGrains.get(); }
    const DisplayColumn* spectral() const { return mSpectral.get(); }
    const DisplayColumn* harmonic() const { return mHarmonic.get(); }
    const FrameSummary* summaries() const { return mSummaries.get(); }

private:
    std::unique_ptr<FrameRecord[]> mRecords;
    std::unique_ptr<KVEncodedGrain[]> mGrains;
    std::unique_ptr<DisplayColumn[]> mSpectral, mHarmonic;
    std::unique_ptr<FrameSummary[]> mSummaries;
    std::unique_ptr<FrameRecord[]> mUndoCopies;
    FramePos mStart = 0;
    FramePos mUndoStart = -1;
    FrameCount mCount = 0;
};

}  // namespace orvex
