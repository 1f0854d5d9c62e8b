#include "engine/KVAnalyseCommand.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "engine/KVAnalysisController.h"
#include "engine/KVAnalysisRunner.h"
#include "history/KVEditHistory.h"
#include "platform/Platform.h"
#include "store/KVAnalysisPaths.h"
#include "utilities/KVUtilities.h"

namespace orvex {

namespace {
constexpr std::int64_t kBytesPerFrameRecord = 181368;
const char* const kAnalysisStartKey = "ORVXFileGroup_AnalysisStartFrame";
const char* const kAnalysisEndKey = "ORVXFileGroup_AnalysisEndFrame";
const char* const kSelectionStartKey = "ORVXFileGroup_SelectionStartFrame";
const char* const kSelectionEndKey = "ORVXFileGroup_SelectionEndFrame";

FrameCount recordsInFile(const std::string& basePath) {
    std::error_code error;
    const auto bytes = std::filesystem::file_size(KVAnalysisPaths::dataFilePath(basePath, ".ana.noindex"), error);
    return error ? 0 : static_cast<FrameCount>(bytes / sizeof(FrameRecord));
}
}  // namespace

std::int64_t KVAnalyseCommand::requiredBytes(std::int32_t channels, FrameCount length) {
    return (std::int64_t(channels + 1) * length / kAnalysisHop) * kBytesPerFrameRecord;
}

Result KVAnalyseCommand::checkDiskSpace(const std::string& workingFilePath, std::int32_t channels, FrameCount length) {
    const std::int64_t required = requiredBytes(channels, length);
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
    return dict && dict->getInt(kAnalysisStartKey) == start && dict->getInt(kAnalysisEndKey) == end;
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

void KVAnalyseCommand::recordAnalysisRange(const std::string& workingFilePath, FramePos start, FramePos end) {
    PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(workingFilePath);
    dict.setInt(kSelectionStartKey, start);
    dict.setInt(kSelectionEndKey, end);
    dict.setInt(kAnalysisStartKey, start);
    dict.setInt(kAnalysisEndKey, end);
    KVUtilities::updateAndSaveParamDictForAnalysisOfFileAtPath(workingFilePath, &dict);
}

KVAnalyseResult KVAnalyseCommand::analyzeSegment(KVAnalyseRequest request,
                                                 std::shared_ptr<KVAnalysisController>& current) {
    KVAnalyseResult result;
    const std::string& path = request.workingFilePath;
    const FramePos start = request.start;
    const FramePos end = request.end;
    result.reason = checkDiskSpace(path, request.channels, end - start);
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

    result.forced = needsFreshAnalysis(path, request.channels, start, end, request.optionHeld);
    result.segmentStartFrame = start;
    result.segmentOverviewPosition = start / kAnalysisHop;
    recordAnalysisRange(path, start, end);

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
