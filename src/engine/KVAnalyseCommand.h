#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/Result.h"
#include "common/Types.h"
#include "playback/AudioOutputBackend.h"

namespace orvex {

class KVAnalysisController;
class KVAnalysisControllerDelegate;
class KVAnalysisViewInterface;
class KVEditHistory;

// What the document (or orvex-cli) asks to analyse.
struct KVAnalyseRequest {
    std::string workingFilePath;
    std::int32_t channels = 0;  // of the document's edit history
    FramePos start = 0;         // segment start S, in frames of the working file
    FramePos end = 0;           // segment end E (exclusive)
    bool optionHeld = false;    // forced re-analysis
    KVAnalysisViewInterface* view = nullptr;
    KVAnalysisControllerDelegate* delegate = nullptr;
    // The new controller's audio output; null: the sound card, or a paced silent output.
    std::unique_ptr<AudioOutputBackend> output;
};

// What the document keeps of a started analysis.
struct KVAnalyseResult {
    bool started = false;
    Result reason = Result::success();  // why it did not start
    std::shared_ptr<KVEditHistory> segmentHistory;  // plays S..E from frame 0
    std::shared_ptr<KVAnalysisController> controller;
    FramePos segmentStartFrame = 0;
    FramePos segmentOverviewPosition = 0;  // S / 128
    bool forced = false;
};

// The analyse command without its interface: disk check, the previous controller's shutdown,
// the segment history, the stored-range match, the force flag, the dictionary's range keys and
// the new controller. The range keys are read and written here directly in the working file's
// parameter dictionary. Main thread.
class KVAnalyseCommand {
public:
    KVAnalyseCommand() = delete;

    // current: the document's controller, shut down and released first when present.
    static KVAnalyseResult analyzeSegment(KVAnalyseRequest request, std::shared_ptr<KVAnalysisController>& current);

    // ((C + 1) x L / 128) x 181 368 bytes.
    static std::int64_t requiredBytes(std::int32_t channels, FrameCount length);
    // The "Not enough disk space" failure (for the caller to show, with a beep) when the
    // working file's volume has too little room for what is still to be written, or the
    // "Damaged analysis range" failure when the segment is not one that can be analysed.
    // framesStored: frames of this very segment already stored, which need no more room;
    // without them the bytes the stored analysis files hold count as room, since a fresh
    // analysis replaces them.
    static Result checkDiskSpace(const std::string& workingFilePath, std::int32_t channels, FrameCount length,
                                 FrameCount framesStored = 0);
    // Bytes the stored analysis files of the working file hold.
    static std::int64_t storedBytes(const std::string& workingFilePath, std::int32_t channels);
    // The dictionary exists and its analysis range is S..E.
    static bool storedRangeMatches(const std::string& workingFilePath, FramePos start, FramePos end);
    // Frames every stored record file of the analysis holds (the fewest of them).
    static FrameCount storedFrameCount(const std::string& workingFilePath, std::int32_t channels);
    // Whether the segment must be analysed from scratch: Option held, another stored range, or a
    // stored analysis of the same range with fewer frames than the segment needs.
    static bool needsFreshAnalysis(const std::string& workingFilePath, std::int32_t channels, FramePos start,
                                   FramePos end, bool optionHeld);
    // Saves S..E as the selection and the analysis range of the working file's dictionary.
    // fresh: the segment is analysed anew, so its selection starts empty; the flags that say
    // otherwise are cleared here, before the controller starts (its select-all reads them).
    static void recordAnalysisRange(const std::string& workingFilePath, FramePos start, FramePos end, bool fresh);
};

}  // namespace orvex
