#include "document/KVWorkingFile.h"

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "audiofile/KVAudioFileWriter.h"
#include "audiofile/OwnedChannelBuffers.h"
#include "control/KVOwnedMetadataChunks.h"
#include "document/KVOpenFileCheck.h"
#include "platform/Platform.h"
#include "utilities/KVUtilities.h"
#include "utilities/KVOutputTarget.h"
#include "utilities/ParamDictKeys.h"

namespace orvex {

namespace {

namespace fs = std::filesystem;

constexpr FrameCount kBlockFrames = 441000;  // ten seconds at the working rate

// Calls body(frames) for consecutive blocks covering total frames, 441 000 at a time; stops
// early when body returns false.
template <typename Body>
bool forEachBlock(FrameCount total, Body body) {
    for (FrameCount done = 0, block = std::min(kBlockFrames, total); block > 0;
         done += block, block = std::min(kBlockFrames, total - done))
        if (!body(block)) return false;
    return true;
}


// The source name a copy's dictionary records, read without making the analysis folder.
std::string recordedSourceOf(const std::string& copy) {
    std::error_code ec;
    if (!fs::is_directory(KVUtilities::analysisFolderPathOfFileAtPath(copy), ec)) return {};
    const auto dict = Platform::shared().readDictionary(KVUtilities::paramDictPathForAnalysisOfFileAtPath(copy));
    return dict ? dict->getString(paramkeys::kConvertedFrom) : std::string();
}

constexpr int kBytesPerWorkingSample = 3;

}  // namespace

Result KVWorkingFile::fail(std::string title, std::string message) {
    Platform::shared().runAlert(title, message, {"Okay"});
    mFailure = Result::failure(std::move(title), std::move(message));
    return mFailure;
}

Result KVWorkingFile::unreadableFailure() {
    return Result::failure("Unsupported File Format / File Unreadable",
                           "The audio file cannot be opened. Make sure you have the necessary access privileges to "
                           "open it and that it is a valid sound file format.");
}

std::string KVWorkingFile::alternateConvertedPathFor(const std::string& source) {
    const fs::path path(source);
    return (path.parent_path() / (path.filename().string() + "[orvx].wav")).string();
}

std::string KVWorkingFile::copyPathFor(const std::string& source) {
    const std::string usual = convertedPathFor(source);
    const std::string recorded = recordedSourceOf(usual);
    return recorded.empty() || recorded == displayNameOfPath(source) ? usual : alternateConvertedPathFor(source);
}

void KVWorkingFile::recordSourceOfCopy(const std::string& copy, const std::string& source) {
    PropertyList dict = KVUtilities::paramDictForAnalysisOfFileAtPath(copy);
    if (!dict.getString(paramkeys::kConvertedFrom).empty()) return;
    dict.setString(paramkeys::kConvertedFrom, displayNameOfPath(source));
    KVUtilities::saveParamDictForAnalysisOfFileAtPath(copy, dict);
}

bool KVWorkingFile::copyFits(const std::string& source, const std::string& path, std::int32_t channels,
                             FrameCount frames) {
    char message[256];
    if (frames > kMaximumFrames) {
        std::snprintf(message, sizeof message,
                      "Its working copy would hold %.1f hours of audio, more than 24 hours. The file's header is "
                      "probably damaged.",
                      double(frames) / kWorkingSampleRate / 3600.0);
        fail("File too long \"" + displayNameOfPath(source) + "\"", message);
        return false;
    }
    const std::int64_t needed = frames * channels * kBytesPerWorkingSample;
    const fs::path folder = fs::path(path).parent_path();
    const std::int64_t available = Platform::shared().freeBytesOfVolume(folder.empty() ? "." : folder.string());
    if (available < 0 || needed <= available) return true;
    std::snprintf(message, sizeof message,
                  "Its working copy requires %1.2f GB of free disk space. You have %1.2f GB of disk space left",
                  double(needed) * 1e-9, double(available) * 1e-9);
    fail("Not enough disk space", message);
    return false;
}

void KVWorkingFile::reportBlock(FrameCount done, FrameCount total, int pass) {
    if (mProgress && total > 0) mProgress(static_cast<int>(pass * 50 + done * 50 / total));
}

std::string KVWorkingFile::convertedPathFor(const std::string& source) {
    const fs::path path(source);
    return (path.parent_path() / (path.stem().string() + "[orvx].wav")).string();
}

std::optional<std::string> KVWorkingFile::workingFileForPath(const std::string& source) {
    double rate = 0;
    std::int32_t channels = 0, bits = 0;
    std::int64_t length = 0;
    if (KVAudioFileReader::infoForFileAtPath(source, &rate, &channels, &bits, nullptr, &length) != 0) {
        fail(unreadableFailure().title(), unreadableFailure().message());
        return std::nullopt;
    }
    const auto frames = static_cast<FrameCount>(static_cast<double>(length) * kWorkingSampleRate / rate);
    if (rate == kWorkingSampleRate && bits != 0) return source;

    const std::string converted = copyPathFor(source);
    mTemporaryOutFilePath = converted;
    std::error_code ec;
    if (fs::exists(converted, ec)) return converted;
    if (!copyFits(source, converted, channels, frames)) {
        mTemporaryOutFilePath.clear();
        return std::nullopt;
    }
    if (!convert(source, converted, channels, frames)) {
        mTemporaryOutFilePath.clear();
        fail("Cannot create working file \"" + displayNameOfPath(source) + "\"",
             "The converted copy of this file could not be written beside it. Make sure the folder is writable and "
             "the disk has enough free space.");
        return std::nullopt;
    }
    return converted;
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

bool KVWorkingFile::convert(const std::string& source, const std::string& path, std::int32_t channels,
                            FrameCount frames) {
    auto reader = KVAudioFileReader::initWithFileAtPath(source, kWorkingSampleRate, channels);
    KVOutputTarget::removeStalePartials(fs::path(path).parent_path().string());
    const std::string partial = KVOutputTarget::partialPathFor(path);
    auto writer = KVAudioFileWriter::initWithFile(partial, kWorkingSampleRate, channels, 24, KVAudioFileWriter::kTypeWAVE);
    const OwnedChannelBuffers buffers(channels, kBlockFrames);
    if (!reader || !writer || !buffers.complete()) {
        writer.reset();
        ::unlink(partial.c_str());
        return false;
    }
    // The chunks go in before the audio so that they precede the "data" chunk in the copy.
    KVUtilities::writeMetadataChunks(KVOwnedMetadataChunks::ofReader(*reader).view(), *writer);

    const double peak = peakOf(*reader, buffers.get(), channels, frames);
    reader = KVAudioFileReader::initWithFileAtPath(source, kWorkingSampleRate, channels);
    const auto gain = static_cast<float>(1.0 / peak);
    FrameCount done = 0;
    const bool written = reader && forEachBlock(frames, [&](FrameCount block) {
        if (reader->readFrames(block, buffers.get()) < 0) return false;
        reportBlock(done += block, frames, 1);
        if (peak > 0)
            for (std::int32_t c = 0; c < channels; ++c)
                for (FrameCount i = 0; i < block; ++i) buffers.get()[c][i] *= gain;
        return writer->writeFrames(block, buffers.get()) == 0;
    });
    const bool finished = writer->closeFile() == 0;
    std::error_code ec;
    if (written && finished) fs::rename(partial, path, ec);
    if (!written || !finished || ec) {
        ::unlink(partial.c_str());
        return false;
    }
    return true;
}

void KVWorkingFile::removeTemporaryOutFile() {
    if (mTemporaryOutFilePath.empty()) return;
    std::error_code ec;
    fs::remove(mTemporaryOutFilePath, ec);
    mTemporaryOutFilePath.clear();
}

}  // namespace orvex
