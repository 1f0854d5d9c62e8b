#include "engine/KVAnalyseCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "engine/KVAnalysisController.h"
#include "engine/KVAnalysisRunner.h"
#include "history/KVEditHistory.h"
#include "platform/Platform.h"
#include "store/KVAnalysisFileSet.h"
#include "store/KVAnalysisPaths.h"
#include "utilities/KVUtilities.h"
#include "utilities/ParamDictKeys.h"
#include "utilities/KVParamDictionary.h"

namespace orvex {

namespace {
constexpr std::int64_t kBytesPerFrameRecord = 181368;
// The longest segment there is (900 s), with room for the rounding of its ends.
constexpr FrameCount kLongestSegmentFrames = 900 * 44100 + 2 * 4096;
using namespace paramkeys;

FrameCount recordsInFile(const std::string& basePath) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(KVAnalysisPaths::dataFilePath(basePath, ".ana.noindex"), error);
    return error ? 0 : static_cast<FrameCount>(bytes / sizeof(FrameRecord));
}
}  // namespace

std::int64_t KVAnalyseCommand::requiredBytes(std::int32_t channels, FrameCount length) {
    return (std::int64_t(channels + 1) * length / kAnalysisHop) * kBytesPerFrameRecord;
}

// Bytes the analysis files of the working file hold now: a fresh analysis cuts them away or
// writes over them, so they count as room for it.
std::int64_t KVAnalyseCommand::storedBytes(const std::string& workingFilePath, std::int32_t channels) {
    std::vector<std::string> bases = {KVAnalysisPaths::overviewChunkPath(workingFilePath)};
    for (std::int32_t c = 0; c < channels; ++c) bases.push_back(KVAnalysisPaths::channelChunkPath(workingFilePath, c));
    std::int64_t bytes = 0;
    for (const std::string& base : bases)
        for (const char* suffix : {".ana.noindex", ".asp.noindex", ".dsp.noindex", ".trk.noindex", ".cdx.noindex"}) {
            std::error_code error;
            const auto size = std::filesystem::file_size(KVAnalysisPaths::dataFilePath(base, suffix), error);
            if (!error) bytes += static_cast<std::int64_t>(size);
        }
    return bytes;
}

Result KVAnalyseCommand::checkDiskSpace(const std::string& workingFilePath, std::int32_t channels, FrameCount length,
                                        FrameCount framesStored) {
    if (length < 0 || length > kLongestSegmentFrames || channels < 1 || channels > 2)
        return Result::failure("Damaged analysis range",
                               "The segment to analyse is not one of 2 to 900 seconds of a mono or stereo file; the "
                               "stored analysis range is probably damaged. Choose the segment again.");
    const FrameCount expected = std::max<FrameCount>(KVAnalysisRunner::expectedFrameCount(length), 1);
    const std::int64_t whole = requiredBytes(channels, length);
    const std::int64_t required =
        framesStored > 0 ? whole / expected * std::max<FrameCount>(expected - framesStored, 0)
                         : std::max<std::int64_t>(whole - storedBytes(workingFilePath, channels), 0);
    const std::int64_t available = Platform::shared().freeBytesOfVolume(workingFilePath);
    if (available < 0 || required <= available) return Result::success();
    char message[256];
    std::snprintf(message, sizeof message,
                  "Working with this file requires %1.2f GB of free disk space. You have %1.2f GB of disk space left",
                  double(required) * 1e-9, double(available) * 1e-9);
    return Result::failure("Not enough disk space", message);
}

bool KVAnalyseCommand::storedRangeMatches(const std::string& workingFilePath, FramePos start, FramePos end) {
    const auto dict = Platform::shared().readDictionary(KVUtilities::paramDictPathForAnalysisOfFileAtPath(workingFilePath));
    return dict && dict->getInt(kAnalysisStartFrame) == start && dict->getInt(kAnalysisEndFrame) == end;
}

FrameCount KVAnalyseCommand::storedFrameCount(const std::string& workingFilePath, std::int32_t channels) {
    FrameCount fewest = recordsInFile(KVAnalysisPaths::overviewChunkPath(workingFilePath));
    for (std::int32_t c = 0; c < channels; ++c)
        fewest = std::min(fewest, recordsInFile(KVAnalysisPaths::channelChunkPath(workingFilePath, c)));
    return fewest;
}

bool KVAnalyseCommand::needsFreshAnalysis(const std::string& workingFilePath, std::int32_t channels,
                                          FramePos start, FramePos end, bool optionHeld) {
    if (optionHeld || !storedRangeMatches(workingFilePath, start, end)) return true;
    return storedFrameCount(workingFilePath, channels) < KVAnalysisRunner::expectedFrameCount(end - start);
}

void KVAnalyseCommand::recordAnalysisRange(const std::string& workingFilePath, FramePos start, FramePos end,
                                           bool fresh) {
    KVParamDictionary::change(
        workingFilePath,
        [start, end, fresh](PropertyList& dict) {
            dict.setInt(kSelectionStartFrame, start);
            dict.setInt(kSelectionEndFrame, end);
            dict.setInt(kAnalysisStartFrame, start);
            dict.setInt(kAnalysisEndFrame, end);
            if (!fresh) return;
            dict.setBool(kAnalysisDataSelected, false);
            dict.setBool(kAnalysisCompleteForSelection, false);
        },
        KVParamDictionary::Stamp::CurrentVersion);
}

KVAnalyseResult KVAnalyseCommand::analyzeSegment(KVAnalyseRequest request,
                                                 std::shared_ptr<KVAnalysisController>& current) {
    KVAnalyseResult result;
    const std::string& path = request.workingFilePath;
    const FramePos start = request.start;
    const FramePos end = request.end;
    // Frames of this segment already stored need no more room: analysed again, their files are
    // replaced and their bytes come free.
    const bool continues = !request.optionHeld && storedRangeMatches(path, start, end);
    const FrameCount stored = continues ? storedFrameCount(path, request.channels) : 0;
    result.reason = checkDiskSpace(path, request.channels, end - start, stored);
    if (!result.reason) return result;

    if (current) {
        current->setDelegate(nullptr);
        current->shutdown();
        current.reset();
    }
    result.segmentHistory = KVEditHistory::initWithSegmentOfFile(path, kWorkingSampleRate, start, end);
    if (!result.segmentHistory) {
        result.reason = Result::failure("The analysis could not be started", "The working file cannot be read: " + path);
        return result;
    }

    // An Apply Selection cut short left the analysis uneven: it is put back before it is judged.
    if (!request.optionHeld) KVAnalysisFileSet::restoreInterruptedApply(path, request.channels);
    result.forced = needsFreshAnalysis(path, request.channels, start, end, request.optionHeld);
    result.segmentStartFrame = start;
    result.segmentOverviewPosition = start / kAnalysisHop;
    recordAnalysisRange(path, start, end, result.forced);

    result.controller = KVAnalysisController::initWithEditHistory(result.segmentHistory, request.view, result.forced,
                                                                  std::move(request.output));
    if (!result.controller) {
        result.reason = Result::failure("The analysis could not be started", "The analysis files cannot be opened");
        return result;
    }
    result.controller->setDelegate(request.delegate);
    result.controller->setSelectionMode(SelectionMode::Add);
    current = result.controller;
    result.started = true;
    return result;
}

}  // namespace orvex
