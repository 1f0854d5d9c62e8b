#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "common/Types.h"
#include "history/KVEditStep.h"

namespace orvex {

// A stack of edit steps over one sound file, oldest first; reads go to the newest step, which
// renders the layers below it. Built on the main thread and read from several threads.
// Threading: every operation runs under the history's own recursive monitor; a caller that
// needs several operations to be atomic (a read and a length query) takes monitor() itself.
class KVEditHistory {
    struct Token {
        explicit Token() = default;
    };

public:
    KVEditHistory(Token, std::string path, double sampleRate, std::shared_ptr<KVEditStep> firstStep);
    KVEditHistory(const KVEditHistory&) = delete;
    KVEditHistory& operator=(const KVEditHistory&) = delete;

    // A history whose first step plays the whole file at rate sr. Null unless the file is a
    // readable sound file; unless skipFormatCheck, also null when its format cannot be queried
    // or has fewer than 8 bits per channel (compressed formats report 0).
    static std::shared_ptr<KVEditHistory> initWithContentsOfFile(const std::string& path, double sr,
                                                                 bool skipFormatCheck);
    // A history over the file whose newest step plays its frames [segmentStart, segmentEnd)
    // from frame 0, so that the segment reads like a file of its own. Null as above.
    static std::shared_ptr<KVEditHistory> initWithSegmentOfFile(const std::string& path, double sr,
                                                                FramePos segmentStart, FramePos segmentEnd);

    const std::string& sourceFilePath() const { return mFilePath; }
    // Where the segment of a segment history starts in the file; -1 for any other history.
    FramePos segmentStart() const { return mSegmentStart; }
    // Reads length frames of the file itself (the oldest step) at start, in the file's own
    // frames; silence before its start and after its end.
    FrameCount readFileAt(FramePos start, FrameCount length, float* const* buffers) const;

    // Opens a new step on the newest one; does nothing while a step is already open.
    void beginEditStepWithInfo(const std::string& info);
    // Makes the newest step play [sourceStart, sourceEnd) of the step below it at
    // [playStart, playEnd). Ignored when the newest step is the first one.
    void addRangeOfPreviousStepWithInfo(const std::string& info, FramePos playStart, FramePos playEnd,
                                        FramePos sourceStart, FramePos sourceEnd);
    void endEditStep();
    // Rebuilds the play list of every step, oldest first.
    void refreshSteps();
    bool isEditing() const;

    // Of the newest step.
    FrameCount numberOfFrames() const;
    double sampleRate() const;
    std::int32_t numberOfChannels() const;
    // Reads length frames of the newest step at start; see KVEditStep::readAt.
    FrameCount readAt(FramePos start, FrameCount length, float* const* buffers) const;

    // The newest step: the current audio of the document.
    std::shared_ptr<KVEditStep> currentStep() const;
    std::size_t numberOfSteps() const;
    std::shared_ptr<KVEditStep> stepAt(std::size_t index) const;
    double workingSampleRate() const { return mSampleRate; }

    std::recursive_mutex& monitor() const { return mMonitor; }

private:
    std::vector<std::shared_ptr<KVEditStep>> mSteps;
    bool mIsEditing = false;
    const std::string mFilePath;
    FramePos mSegmentStart = -1;  // set once while a segment history is built
    const double mSampleRate;
    mutable std::recursive_mutex mMonitor;
};

}  // namespace orvex
