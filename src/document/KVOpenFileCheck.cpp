#include "document/KVOpenFileCheck.h"

#include <filesystem>

#include "audiofile/KVAudioFileReader.h"
#include "audiofile/SoundFileDiagnosis.h"
#include "platform/Platform.h"

namespace orvex {

std::string displayNameOfPath(const std::string& path) {
    std::filesystem::path p(path);
    if (!p.has_filename()) p = p.parent_path();
    return p.filename().string();
}

namespace {

std::string quoted(const char* prefix, const std::string& path) {
    return std::string(prefix) + " \"" + displayNameOfPath(path) + "\"";
}

// Shows the alert with one button and gives its text back.
Result shown(std::string title, std::string message, const char* button) {
    Platform::shared().runAlert(title, message, {button});
    return Result::failure(std::move(title), std::move(message));
}

}  // namespace

KVOpenFileCheck KVOpenFileCheck::checkFileAtPath(const std::string& path) {
    KVOpenFileCheck check;
    const Status status = KVAudioFileReader::infoForFileAtPath(path, &check.sampleRate, &check.channels,
                                                               &check.bitsPerChannel, &check.formatID, &check.length);
    // An empty sound file has nothing to analyse or convert; it is refused like an unreadable one.
    if (status != 0 || check.length <= 0) {
        const SoundFileDiagnosis diagnosis =
            status != 0 ? SoundFileDiagnosis::ofUnreadableFile(path) : SoundFileDiagnosis::ofSilentFile();
        check.problem = diagnosis.problem;
        check.reason = shown(quoted("Unreadable file", path), diagnosis.sentence, "Bummer");
        check.outcome = Outcome::Unreadable;
        return check;
    }
    if (check.channels > 2) {
        check.reason = shown(quoted("Unsupported number of channels in", path),
                             "This file is neither a mono or stereo recording", "Ok");
        check.outcome = Outcome::UnsupportedChannels;
        return check;
    }
    if (check.sampleRate != 44100.0 && check.sampleRate != 48000.0) {
        check.warning = shown(quoted("Sample rate warning", path),
                              "This file has a sample rate that is out of range and will be automatically converted "
                              "during analysis",
                              "Ok");
        check.rateWarningShown = true;
    }
    check.outcome = Outcome::Ok;
    return check;
}

}  // namespace orvex
