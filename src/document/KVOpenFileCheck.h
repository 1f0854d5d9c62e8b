#pragma once

#include <cstdint>
#include <string>

#include "audiofile/SoundFileDiagnosis.h"
#include "common/Result.h"
#include "common/Types.h"

namespace orvex {

// The checks made on a sound file before a document is created for it: readable (and not
// empty; the refusal says what is wrong with the file), at most two channels, and a warning for rates other than 44 100 and 48 000 Hz.
// Failures and the warning are shown as alerts through the platform. Main thread.
class KVOpenFileCheck {
public:
    enum class Outcome { Ok, Unreadable, UnsupportedChannels };

    // Runs the checks on path, showing the alerts; the result says whether opening goes on.
    static KVOpenFileCheck checkFileAtPath(const std::string& path);

    bool canOpen() const { return outcome == Outcome::Ok; }

    Outcome outcome = Outcome::Unreadable;
    // What is wrong with an Unreadable file (missing, a folder, not audio, ...); its alert says it.
    SoundFileDiagnosis::Problem problem = SoundFileDiagnosis::Problem::None;
    bool rateWarningShown = false;
    // The refusal, or the sample-rate warning, as the alert showed it.
    Result reason = Result::success();
    Result warning = Result::success();
    // What the file reported (valid unless Unreadable).
    double sampleRate = 0.0;
    std::int32_t channels = 0;
    std::int32_t bitsPerChannel = 0;
    std::uint32_t formatID = 0;
    std::int64_t length = 0;
};

// The last component of a path, as alert texts show it.
std::string displayNameOfPath(const std::string& path);

}  // namespace orvex
