#include "document/KVWorkingFile.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "audiofile/OwnedChannelBuffers.h"
#include "audiofile/SoundFileDiagnosis.h"
#include "control/KVOwnedMetadataChunks.h"
#include "document/KVOpenFileCheck.h"
#include "platform/DurableFile.h"
#include "platform/Platform.h"
#include "utilities/KVOutputTarget.h"
#include "utilities/KVUtilities.h"

namespace orvex {

namespace {

namespace fs = std::filesystem;

constexpr FrameCount kBlockFrames = 441000;  // ten seconds at the working rate
constexpr int kBytesPerWorkingSample = 3;
constexpr std::int64_t kHeaderBytes = 4096;  // the header and the chunks before the audio, at most

// Calls body(frames) for consecutive blocks covering total frames, 441 000 at a time; stops
// early when body returns false.
template <typename Body>
bool forEachBlock(FrameCount total, Body body) {
    for (FrameCount done = 0, block = std::min(kBlockFrames, total); block > 0;
         done += block, block = std::min(kBlockFrames, total - done))
        if (!body(block)) return false;
    return true;
}

// A sentence for a header whose rate is implausibly low (a damaged rate field), else nothing.
std::string damagedRateHint(double rate) {
    if (rate >= 4000.0) return "";
    char text[128];
    std::snprintf(text, sizeof text, " Its header gives a sample rate of %g Hz, so it is probably damaged.", rate);
    return text;
}

std::string gigabytes(std::int64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f GB", double(bytes) * 1e-9);
    return text;
}

}  // namespace

Result KVWorkingFile::fail(std::string title, std::string message) {
    Platform::shared().runAlert(title, message, {"Okay"});
    mFailure = Result::failure(std::move(title), std::move(message));
    return mFailure;
}

Result KVWorkingFile::unreadableFailure(const std::string& path) {
    return Result::failure("Unsupported File Format / File Unreadable",
                           SoundFileDiagnosis::ofUnreadableFile(path).sentence);
}

std::string KVWorkingFile::convertedPathFor(const std::string& source) {
    const fs::path path(source);
    return (path.parent_path() / (path.stem().string() + "[orvx].wav")).string();
}

std::string KVWorkingFile::alternateConvertedPathFor(const std::string& source) {
    const fs::path path(source);
    return (path.parent_path() / (path.filename().string() + "[orvx].wav")).string();
}

std::optional<KVWorkingFile::Choice> KVWorkingFile::chooseCopy(const WorkingCopyOwner::Source& source) {
    const std::string usual = convertedPathFor(source.path), alternate = alternateConvertedPathFor(source.path);
    for (const std::string& path : {usual, alternate}) {
        const WorkingCopyOwner::Verdict verdict = WorkingCopyOwner::of(path, source);
        if (verdict != WorkingCopyOwner::Verdict::Another) return Choice{path, verdict == WorkingCopyOwner::Verdict::Ours};
    }
    fail("No name for a working copy of \"" + displayNameOfPath(source.path) + "\"",
         "Both names its working copy could have, " + displayNameOfPath(usual) + " and " +
             displayNameOfPath(alternate) +
             ", hold files that are not its copy (another sound file's copy, or a file of your own). Move or rename "
             "one of them so that a copy of this file can be made.");
    return std::nullopt;
}

bool KVWorkingFile::copyFits(const WorkingCopyOwner::Source& source, const std::string& path, double sourceRate) {
    const std::int64_t audio = source.frames * source.channels * kBytesPerWorkingSample;
    const std::int64_t needed = audio + kHeaderBytes;
    const std::string folder = DurableFile::folderOf(path);
    const std::int64_t available = Platform::shared().freeBytesOfVolume(folder);
    const std::string hint = damagedRateHint(sourceRate);
    if (available >= 0 && needed > available) {
        fail("Not enough disk space",
             "The working copy of \"" + displayNameOfPath(source.path) + "\" needs " + gigabytes(needed) +
                 " of free disk space, but the disk holding " + folder + " has " + gigabytes(available) + " free." +
                 hint);
        return false;
    }
    if (audio > kLargestWaveData) {
        fail("File too long \"" + displayNameOfPath(source.path) + "\"",
             "Its working copy would need " + gigabytes(needed) + ", more than the " + gigabytes(kLargestWaveData) +
                 " a WAVE file can hold" + (available >= 0 ? " (the disk has " + gigabytes(available) + " free)." : ".") +
                 hint);
        return false;
    }
    return true;
}

void KVWorkingFile::reportBlock(FrameCount done, FrameCount total, int pass) {
    if (mProgress && total > 0) mProgress(static_cast<int>(pass * 50 + done * 50 / total));
}

std::optional<std::string> KVWorkingFile::workingFileForPath(const std::string& source) {
    double rate = 0;
    std::int32_t channels = 0, bits = 0;
    std::int64_t length = 0;
    if (KVAudioFileReader::infoForFileAtPath(source, &rate, &channels, &bits, nullptr, &length) != 0) {
        const Result unreadable = unreadableFailure(source);
        fail(unreadable.title(), unreadable.message());
        return std::nullopt;
    }
    if (rate == kWorkingSampleRate && bits != 0) return source;
    const WorkingCopyOwner::Source wanted{source, channels,
                                          static_cast<FrameCount>(double(length) * kWorkingSampleRate / rate)};
    const std::optional<Choice> copy = chooseCopy(wanted);
    if (!copy) return std::nullopt;
    mTemporaryOutFilePath = copy->path;
    if (copy->reuse) return copy->path;
    if (!copyFits(wanted, copy->path, rate)) {
        mTemporaryOutFilePath.clear();
        return std::nullopt;
    }
    if (!convert(wanted, copy->path)) {
        mTemporaryOutFilePath.clear();
        fail("Cannot create working file \"" + displayNameOfPath(source) + "\"",
             "The converted copy of this file could not be written beside it. Make sure the folder is writable and "
             "the disk has enough free space.");
        return std::nullopt;
    }
    return copy->path;
}

double KVWorkingFile::peakOf(KVAudioFileReader& reader, float** buffers, std::int32_t channels, FrameCount frames) {
    double peak = 0.0;
    FrameCount done = 0;
    forEachBlock(frames, [&](FrameCount block) {
        if (reader.readFrames(block, buffers) < 0) return false;
        reportBlock(done += block, frames, 0);
        for (std::int32_t c = 0; c < channels; ++c)
            for (FrameCount i = 0; i < block; ++i) peak = std::max(peak, double(std::fabs(buffers[c][i])));
        return true;
    });
    return peak;
}

bool KVWorkingFile::writeNormalised(KVAudioFileReader& reader, KVAudioFileWriter& writer, float** buffers,
                                    std::int32_t channels, FrameCount frames, double peak) {
    const auto gain = static_cast<float>(1.0 / peak);
    FrameCount done = 0;
    return forEachBlock(frames, [&](FrameCount block) {
        if (reader.readFrames(block, buffers) < 0) return false;
        reportBlock(done += block, frames, 1);
        if (peak > 0)
            for (std::int32_t c = 0; c < channels; ++c)
                for (FrameCount i = 0; i < block; ++i) buffers[c][i] *= gain;
        return writer.writeFrames(block, buffers) == 0;
    });
}

// The copy is synced before it takes its name and the folder after, so that neither a failure
// nor a power cut leaves a partial copy under the working name.
bool KVWorkingFile::convert(const WorkingCopyOwner::Source& source, const std::string& path) {
    auto reader = KVAudioFileReader::initWithFileAtPath(source.path, kWorkingSampleRate, source.channels);
    KVOutputTarget::removeStalePartials(DurableFile::folderOf(path));
    const std::string partial = KVOutputTarget::partialPathFor(path);
    auto writer =
        KVAudioFileWriter::initWithFile(partial, kWorkingSampleRate, source.channels, 24, KVAudioFileWriter::kTypeWAVE);
    const OwnedChannelBuffers buffers(source.channels, kBlockFrames);
    bool done = reader && writer && buffers.complete();
    if (done) {
        // The chunks go in before the audio so that they precede the "data" chunk in the copy.
        KVUtilities::writeMetadataChunks(KVOwnedMetadataChunks::ofReader(*reader).view(), *writer);
        WorkingCopyOwner::record(*writer, source.path);
        const double peak = peakOf(*reader, buffers.get(), source.channels, source.frames);
        reader = KVAudioFileReader::initWithFileAtPath(source.path, kWorkingSampleRate, source.channels);
        done = reader && writeNormalised(*reader, *writer, buffers.get(), source.channels, source.frames, peak);
    }
    done = writer && writer->closeFile() == 0 && done;
    if (done && DurableFile::replace(partial, path) == 0) return true;
    ::unlink(partial.c_str());
    return false;
}

void KVWorkingFile::removeTemporaryOutFile() {
    if (mTemporaryOutFilePath.empty()) return;
    std::error_code ec;
    fs::remove(mTemporaryOutFilePath, ec);
    mTemporaryOutFilePath.clear();
}

}  // namespace orvex
