#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Types.h"
#include "history/KVEditEntry.h"

namespace orvex {

// What a step says about itself.
struct KVEditStepInfo {
    std::string humanReadableInfo;
    FrameCount fragmentNumFrames = 0;       // length of the step in frames
    std::int64_t fragmentUndoGroupId = 0;   // unique to the step object
    double fragmentSampleRate = 0.0;        // the source file's own sample rate
    std::int32_t fragmentNumChannels = 0;
};

// One layer of an edit: a list of entries, each playing a range of a sound file or of the
// step below it. Entries added later win where play ranges overlap; reads use the resolved,
// sorted play list built when editing ends. Positions and ranges are half open.
// Threading: every operation runs under the step's own recursive monitor, so reads from
// several threads may share a step; a read also locks the steps and readers it reads from.
class KVEditStep {
    struct Token {
        explicit Token() = default;
    };

public:
    KVEditStep(Token, double sampleRate, KVEditStepInfo info, std::shared_ptr<KVEditStep> previous);
    KVEditStep(const KVEditStep&) = delete;
    KVEditStep& operator=(const KVEditStep&) = delete;

    // A step playing the whole file at the working rate sampleRate; null unless the file is
    // a readable sound file.
    static std::shared_ptr<KVEditStep> initWithFile(const std::string& path, const std::string& info,
                                                    double sampleRate);
    // An empty step on top of previous, with its length, rate and channel count; null when
    // previous is null.
    static std::shared_ptr<KVEditStep> initWithStep(std::shared_ptr<KVEditStep> previous,
                                                    const std::string& info);

    void beginEditing();
    // Appends an entry playing [from, to) of the fragment, or of the file at path when the
    // fragment is null, at [playStart, playEnd). Ignored unless editing. A file that cannot be
    // opened leaves the entry without reader: its range plays as silence.
    void addEntryWithInfo(const std::string& info, const std::string& path,
                          std::shared_ptr<const KVEditStep> fragment, FramePos from, FramePos to,
                          FramePos playStart, FramePos playEnd);
    // Builds the play list and closes the step; a negative numFrames means the play list's length.
    void endEditingWithNumFrames(FrameCount numFrames);
    void buildPlayList();

    // Resolves overlaps: each entry keeps only the parts of its play range that no later entry
    // covers, each part aligned to the source frames it had. Empty parts are dropped.
    static std::vector<KVEditEntry> copyBySortingToFront(const std::vector<KVEditEntry>& entries);

    // The end of the last play-list entry (0 before the play list is built).
    FrameCount numberOfFrames() const;
    std::int32_t numberOfChannels() const;
    // The source file's own rate ("fragmentSampleRate"); reads always deliver workingSampleRate.
    double sampleRate() const;
    double workingSampleRate() const { return mSampleRate; }
    std::string info() const;
    KVEditStepInfo stepInfo() const;
    std::shared_ptr<KVEditStep> previousStep() const { return mPreviousStep; }
    std::vector<KVEditEntry> entries() const;
    std::vector<KVEditEntry> playList() const;
    bool isEditing() const;

    // Reads length frames of the step's timeline starting at start into numberOfChannels()
    // per-channel buffers (null channels skipped). Frames no entry covers, before 0 or past the
    // end, are silence. Returns the frames that lie before the end of the step.
    FrameCount readAt(FramePos start, FrameCount length, float* const* buffers) const;

    std::recursive_mutex& monitor() const { return mMonitor; }

private:
    void readEntry(const KVEditEntry& entry, FramePos position, FrameCount count, float* const* buffers,
                   FrameCount offset) const;
    FrameCount playListEnd() const;
    // True when reading this step may read other (it is this step, below it, or read by an entry).
    bool readsFrom(const KVEditStep* other) const;

    const std::shared_ptr<KVEditStep> mPreviousStep;
    std::vector<KVEditEntry> mEntries;
    KVEditStepInfo mStepInfo;
    std::vector<KVEditEntry> mPlayList;
    bool mIsEditing = false;
    const double mSampleRate;
    std::int64_t mEntryCounter = 0;
    mutable std::recursive_mutex mMonitor;
};

}  // namespace orvex
