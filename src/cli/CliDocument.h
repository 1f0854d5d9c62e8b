#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "CliAnalysisView.h"
#include "common/Types.h"

namespace orvex {
class KVAnalysisController;
class KVOutputController;
}  // namespace orvex

namespace orvex::cli {

// A sound file opened the way the document opens it, for one command: the opening checks, the
// working file, the master output (with its prefill) and the analysis controller of the stored
// or requested segment, all working on the analysis folder beside the working file.
// Failures print one line on standard error (CliCommand::fail) and return false or null.
// Main thread; worker results arrive by pumping the headless platform's main queue.
class CliDocument {
public:
    static std::unique_ptr<CliDocument> open(const std::string& file);
    ~CliDocument();
    CliDocument(const CliDocument&) = delete;
    CliDocument& operator=(const CliDocument&) = delete;

    const std::string& workingPath() const { return mWorkingPath; }
    std::int32_t channels() const { return mChannels; }
    FrameCount frames() const { return mFrames; }
    FramePos segmentStart() const { return mStart; }
    FramePos segmentEnd() const { return mEnd; }

    // The segment for start/end in seconds after the segment rules; without either, the
    // stored analysis range, else the file from its start.
    bool resolveSegment(std::optional<double> startSeconds, std::optional<double> endSeconds, FramePos& start,
                        FramePos& end) const;
    // Analyses start..end (reusing a stored analysis of that range unless forced) and waits
    // for the runner, with a progress bar.
    bool analyse(FramePos start, FramePos end, bool force);
    // The stored analysis range, analysed (or just reopened) as analyse does.
    bool openStoredAnalysis();
    KVAnalysisController& controller() const { return *mController; }
    // Runs a controller command and waits until its worker has finished.
    bool runAndWait(const std::function<void(KVAnalysisController&)>& command);
    // Applies (and stores) a mode given by name, or the stored mode when name is empty.
    bool applyMode(const std::string& name);

    // The master output, opened on first use.
    KVOutputController* output();
    // Writes the rendered selection into the master at the segment's position.
    bool commitEditToMaster();
    // Exports the rendered selection (exactly the segment's frames) to path.
    bool exportSegment(const std::string& path);
    // Exports the whole master to path once its prefill has finished.
    bool exportMaster(const std::string& path);
    bool resetMaster();

private:
    CliDocument() = default;
    bool waitForPrefill();

    std::string mWorkingPath;
    std::int32_t mChannels = 0;
    FrameCount mFrames = 0;
    FramePos mStart = 0;
    FramePos mEnd = 0;
    CliAnalysisView mView;
    std::shared_ptr<KVAnalysisController> mController;
    std::unique_ptr<KVOutputController> mOutput;
};

// The last alert the platform showed, as "title: message", or fallback when there was none.
std::string lastAlertOr(const std::string& fallback);

}  // namespace orvex::cli
