#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "common/Types.h"

namespace orvex::cli {

// The analysis folder beside a working file, D/N.analysis (not created).
std::filesystem::path analysisFolderOf(const std::string& workingPath);

// The stored analysis range of a working file; false (and 0, 0) when none is stored. Reading
// never makes the analysis folder of a file that was never analysed.
bool storedAnalysisRange(const std::string& workingPath, FramePos& start, FramePos& end);

// The analysis lines of `info`: the stored segment, how much of it is analysed and the mode.
// Prints nothing when the file has no stored analysis range.
void printAnalysisInfo(const std::string& workingPath, std::int32_t channels);

}  // namespace orvex::cli
