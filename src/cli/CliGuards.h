#pragma once

#include <string>

#include "common/Types.h"

namespace orvex::cli {

// Checks orvex-cli makes before a command writes or relies on stored state. Each prints one
// line on standard error (CliCommand::fail) when it refuses.
class CliGuards {
public:
    CliGuards() = delete;

    // A sound file named on the command line: present and readable, or a line that says what
    // is wrong with it (missing, a symbolic link loop, a folder that may not be entered).
    static bool inputExists(const std::string& file);
    // An output path: not the source or the working file, not inside an analysis folder, a new
    // path or an existing regular file. A WAVE output whose name does not end in ".wav" is
    // written all the same, with a warning line saying so.
    static bool outputAllowed(const std::string& output, const std::string& source, const std::string& workingPath,
                              bool isWave);
    // The stored analysis of start..end is whole: every record file of the analysis holds the
    // segment's frames. Otherwise says what is missing.
    static bool analysisIsWhole(const std::string& workingPath, std::int32_t channels, FramePos start, FramePos end);
    // The stored selection's data files are all present and hold as many grains as records.
    // The analysis folder's dictionary is a file, or missing (it is then made): anything else
    // (a folder in its place) is refused, since nothing the analysis records could be kept.
    static bool dictionaryIsFile(const std::string& workingPath);
    static bool selectionIsWhole(const std::string& workingPath, std::int32_t channels);
};

}  // namespace orvex::cli
