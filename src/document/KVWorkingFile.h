#pragma once

#include <functional>
#include <optional>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "common/Result.h"
#include "common/Types.h"

namespace orvex {

// Decides on, or produces, the 44 100 Hz working file of a sound file. A linear PCM file at
// exactly 44 100 Hz is its own working file; anything else is converted into a peak-normalised
// 24-bit WAVE copy "<folder>/<name>[orvx].wav" beside it, carrying the source's "bext" and
// "iXML" chunks. An existing copy is reused as it is, unless the analysis folder beside it
// records that it was made from another source (a "take.aif" and a "take.mp3" in one folder):
// the second source then gets "<folder>/<name with extension>[orvx].wav" ("take.mp3[orvx].wav").
// The conversion is written under a
// temporary name and renamed when complete, so a failed conversion never leaves a file that a
// later open would take for a finished copy. Main thread (alerts go through the platform).
class KVWorkingFile {
public:
    // Longest working copy made: 24 hours. A header that asks for more (a rate field of 1 Hz)
    // is damaged, and the copy would fill the disk.
    static constexpr FrameCount kMaximumFrames = FrameCount(24) * 3600 * 44100;

    // Called with whole percents while a copy is converted (two passes: 0-50, 50-100).
    void setProgressHandler(std::function<void(int)> handler) { mProgress = std::move(handler); }

    // The working file's path, or nothing after an alert (failure() tells it). A copy longer
    // than kMaximumFrames, or larger than the free space of its volume, is refused before
    // anything is written.
    std::optional<std::string> workingFileForPath(const std::string& source);
    const Result& failure() const { return mFailure; }
    // "Unsupported File Format / File Unreadable".
    static Result unreadableFailure();

    // The converted copy in use (empty when the source is its own working file).
    const std::string& temporaryOutFilePath() const { return mTemporaryOutFilePath; }
    // Deletes the converted copy, if one is in use.
    void removeTemporaryOutFile();

    // "<folder>/<name without extension>[orvx].wav" for a source path.
    static std::string convertedPathFor(const std::string& source);
    // "<folder>/<name with extension>[orvx].wav": the copy of a source whose usual copy was made
    // from another source.
    static std::string alternateConvertedPathFor(const std::string& source);
    // Records in the copy's parameter dictionary which source it was made from (the analysis
    // folder must exist); a copy that records a source already keeps it.
    static void recordSourceOfCopy(const std::string& copy, const std::string& source);

private:
    // Two passes over the source: the peak, then the normalised audio into path.
    bool convert(const std::string& source, const std::string& path, std::int32_t channels, FrameCount frames);
    double peakOf(KVAudioFileReader& reader, float** buffers, std::int32_t channels, FrameCount frames);
    bool copyFits(const std::string& source, const std::string& path, std::int32_t channels,
                         FrameCount frames);
    void reportBlock(FrameCount done, FrameCount total, int pass);

    // The copy for source: the usual one unless that one records another source.
    static std::string copyPathFor(const std::string& source);
    Result fail(std::string title, std::string message);

    std::string mTemporaryOutFilePath;
    Result mFailure = Result::success();
    std::function<void(int)> mProgress;
};

}  // namespace orvex
