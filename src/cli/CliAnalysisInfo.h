#pragma once

#include <cstdint>
#include <string>

namespace orvex::cli {

// The analysis lines of `info`: the stored segment, how much of it is analysed and the mode.
// Prints nothing when the file has no stored analysis range.
void printAnalysisInfo(const std::string& workingPath, std::int32_t channels);

}  // namespace orvex::cli
