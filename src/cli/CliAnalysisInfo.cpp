#include "CliAnalysisInfo.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "control/KVStoredRanges.h"
#include "engine/KVAnalyseCommand.h"
#include "engine/KVAnalysisRunner.h"
#include "engine/KVDocumentMode.h"
#include "utilities/KVUtilities.h"

namespace orvex::cli {

std::filesystem::path analysisFolderOf(const std::string& workingPath) {
    return KVUtilities::analysisFolderPathOfFileAtPath(workingPath);
}

bool storedAnalysisRange(const std::string& workingPath, FramePos& start, FramePos& end) {
    start = end = 0;
    std::error_code error;
    if (!std::filesystem::exists(analysisFolderOf(workingPath), error)) return false;
    KVStoredRanges::analysisRangeForFileAtPath(workingPath, start, end);
    return end > start;
}

void printAnalysisInfo(const std::string& workingPath, std::int32_t channels) {
    FramePos start = 0, end = 0;
    if (!storedAnalysisRange(workingPath, start, end)) return;
    std::printf("analysed segment: %.3f s to %.3f s (frames %lld to %lld)\n", double(start) / kWorkingSampleRate,
                double(end) / kWorkingSampleRate, static_cast<long long>(start), static_cast<long long>(end));
    const FrameCount stored = KVAnalyseCommand::storedFrameCount(workingPath, channels);
    const FrameCount expected = KVAnalysisRunner::expectedFrameCount(end - start);
    if (stored >= expected)
        std::printf("analysis: complete (%lld frames)\n", static_cast<long long>(stored));
    else
        std::printf("analysis: partial (%lld of %lld frames)\n", static_cast<long long>(stored),
                    static_cast<long long>(expected));
    const auto mode = KVDocumentMode::storedMode(workingPath);
    std::printf("mode: %s\n", mode ? KVDocumentMode::nameOfMode(*mode) : "not set");
}

}  // namespace orvex::cli
