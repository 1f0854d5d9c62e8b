#pragma once

#include <optional>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "common/Types.h"

namespace orvex {

// Decides on, or produces, the 44 100 Hz working file of a sound file. A linear PCM file at
// exactly 44 100 Hz is its own working file; anything else is converted into a peak-normalised
// 24-bit WAVE copy "<folder>/<name>[orvx].wav" beside it, carrying the source's "bext" and
// "iXML" chunks. An existing copy is reused as it is. The conversion is written under a
// temporary name and renamed when complete, so a failed conversion never leaves a file that a
// later open would take for a finished copy. Main thread (alerts go through the platform).
class KVWorkingFile {
public:
    // The working file's path, or nothing after an alert.
    std::optional<std::string> workingFileForPath(const std::string& source);

    // The converted copy in use (empty when the source is its own working file).
    const std::string& temporaryOutFilePath() const { return mTemporaryOutFilePath; }
    // Deletes the converted copy, if one is in use.
    void removeTemporaryOutFile();

    // "<folder>/<name without extension>[orvx].wav" for a source path.
    static std::string convertedPathFor(const std::string& source);

private:
    // Two passes over the source: the peak, then the normalised audio into path.
    bool convert(const std::string& source, const std::string& path, std::int32_t channels, FrameCount frames);
    static double peakOf(KVAudioFileReader& reader, float** buffers, std::int32_t channels, FrameCount frames);

    std::string mTemporaryOutFilePath;
};

}  // namespace orvex
