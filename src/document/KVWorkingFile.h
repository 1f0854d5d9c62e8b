#pragma once

#include <functional>
#include <optional>
#include <string>

#include "audiofile/KVAudioFileReader.h"
#include "audiofile/KVAudioFileWriter.h"
#include "common/Result.h"
#include "common/Types.h"
#include "document/WorkingCopyOwner.h"

namespace orvex {

// Decides on, or produces, the 44 100 Hz working file of a sound file. A linear PCM file at
// exactly 44 100 Hz is its own working file; anything else is converted into a peak-normalised
// 24-bit WAVE copy "<folder>/<name>[orvx].wav" beside it, carrying the source's "bext" and
// "iXML" chunks and the name of its source (WorkingCopyOwner). An existing copy is reused only
// when it is this source's: a second source with the same name ("take.aif" beside "take.flac")
// gets "<folder>/<name with extension>[orvx].wav" ("take.flac[orvx].wav"), and a source whose
// two names both hold something else is refused. A copy that would not fit on its volume, or in
// a WAVE file, is refused before anything is written. The conversion is written under a
// temporary name, synced and renamed when complete, so a failed conversion (or a power cut)
// never leaves a file that a later open would take for a finished copy. Main thread (alerts go
// through the platform).
class KVWorkingFile {
public:
    // The most audio bytes a WAVE file holds: its sizes are 32-bit, less the header.
    static constexpr std::int64_t kLargestWaveData = 0xFFFFFFFFLL - 4096;

    // Called with whole percents while a copy is converted (two passes: 0-50, 50-100).
    void setProgressHandler(std::function<void(int)> handler) { mProgress = std::move(handler); }

    // The working file's path, or nothing after an alert (failure() tells it).
    std::optional<std::string> workingFileForPath(const std::string& source);
    const Result& failure() const { return mFailure; }
    // "Unsupported File Format / File Unreadable", saying what is wrong with path.
    static Result unreadableFailure(const std::string& path);

    // The converted copy in use (empty when the source is its own working file).
    const std::string& temporaryOutFilePath() const { return mTemporaryOutFilePath; }
    // Deletes the converted copy, if one is in use.
    void removeTemporaryOutFile();

    // "<folder>/<name without extension>[orvx].wav" for a source path.
    static std::string convertedPathFor(const std::string& source);
    // "<folder>/<name with extension>[orvx].wav": the copy of a source whose usual copy belongs
    // to another source.
    static std::string alternateConvertedPathFor(const std::string& source);

private:
    struct Choice {
        std::string path;
        bool reuse = false;  // the path already holds this source's copy
    };
    // The usual copy name unless something else holds it, then the alternate one; nothing
    // (after an alert) when both are taken.
    std::optional<Choice> chooseCopy(const WorkingCopyOwner::Source& source);
    // Two passes over the source: the peak, then the normalised audio into path.
    bool convert(const WorkingCopyOwner::Source& source, const std::string& path);
    double peakOf(KVAudioFileReader& reader, float** buffers, std::int32_t channels, FrameCount frames);
    bool writeNormalised(KVAudioFileReader& reader, KVAudioFileWriter& writer, float** buffers,
                         std::int32_t channels, FrameCount frames, double peak);
    // Refuses (with an alert naming the figures) a copy larger than the free space of its
    // volume or than a WAVE file holds.
    bool copyFits(const WorkingCopyOwner::Source& source, const std::string& path, double sourceRate);
    void reportBlock(FrameCount done, FrameCount total, int pass);

    Result fail(std::string title, std::string message);

    std::string mTemporaryOutFilePath;
    Result mFailure = Result::success();
    std::function<void(int)> mProgress;
};

}  // namespace orvex
