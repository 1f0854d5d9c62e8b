#include "store/KVAnalysisPaths.h"

#include <filesystem>
#include <system_error>

#include "utilities/KVUtilities.h"

namespace orvex {

std::string KVAnalysisPaths::dataFilePath(const std::string& basePath, const std::string& suffix) {
    std::filesystem::path base(basePath);
    base.replace_extension();
    return base.string() + suffix;
}

std::string KVAnalysisPaths::inAnalysisFolder(const std::string& path, const std::string& nameSuffix) {
    const std::string name = std::filesystem::path(path).stem().string();
    return KVUtilities::analysisFolderForFileAtPath(path) + "/" + name + nameSuffix;
}

std::string KVAnalysisPaths::channelChunkPath(const std::string& path, int channel) {
    std::string suffix = "_";
    suffix += std::to_string(channel);
    suffix += ".kva";
    return inAnalysisFolder(path, suffix);
}

std::string KVAnalysisPaths::overviewChunkPath(const std::string& path) { return inAnalysisFolder(path, "_ovw.kva"); }

std::string KVAnalysisPaths::selectionFileSetPath(const std::string& path) {
    return inAnalysisFolder(path, "-selection.analysis");
}

std::string KVAnalysisPaths::openStepMarkerPath(const std::string& path) {
    return inAnalysisFolder(path, "_open-step.noindex");
}

std::string KVAnalysisPaths::historyPath(const std::string& path) { return inAnalysisFolder(path, "_history.noindex"); }

std::string KVAnalysisPaths::mixdownFolderPath(const std::string& path) {
    const std::string folder = inAnalysisFolder(path, "-collection.analysis");
    std::error_code ignored;  // an unwritable folder shows up when its files are created
    std::filesystem::create_directories(folder, ignored);
    return folder;
}

std::string KVAnalysisPaths::mixdownLeftPath(const std::string& path) { return mixdownFolderPath(path) + "/mxl.xxx"; }

std::string KVAnalysisPaths::mixdownRightPath(const std::string& path) { return mixdownFolderPath(path) + "/mxr.xxx"; }

}  // namespace orvex
