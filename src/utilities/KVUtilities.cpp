#include "utilities/KVUtilities.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "platform/Platform.h"

namespace orvex {

namespace {

struct TimeParts {
    unsigned hours, minutes, seconds, millis;
};

TimeParts splitSamples(std::uint64_t samples, double rate) {
    const auto ms = static_cast<std::uint64_t>(static_cast<double>(samples) / (rate * 0.001));
    const std::uint64_t withinHour = ms % 3600000;
    return {static_cast<unsigned>(ms / 3600000), static_cast<unsigned>(withinHour / 60000),
            static_cast<unsigned>((withinHour % 60000) / 1000), static_cast<unsigned>((withinHour % 60000) % 1000)};
}

template <typename... Args>
std::string format(const char* pattern, Args... args) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, args...);
    return text;
}

constexpr std::array<const char*, 12> kNoteNames = {"C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "Bb", "B"};

ThemeColor rgb(double red, double green, double blue, double alpha = 1.0) { return {red, green, blue, alpha}; }

}  // namespace

std::string KVUtilities::SamplesToTime(std::uint64_t samples, double rate) {
    if (rate == 0) return "00:00:00:000";
    const TimeParts t = splitSamples(samples, rate);
    return format("%02d:%02d:%02d:%03d", t.hours, t.minutes, t.seconds, t.millis);
}

std::string KVUtilities::SamplesToTimeShort(std::uint64_t samples, double rate) {
    if (rate == 0) return "0";
    const TimeParts t = splitSamples(samples, rate);
    if (t.hours != 0) return format("%02d:%02d:%02d.%03d", t.hours, t.minutes, t.seconds, t.millis);
    if (t.minutes != 0) return format("%02d:%02d.%03d", t.minutes, t.seconds, t.millis);
    if (t.seconds != 0) return format("%02d.%03d", t.seconds, t.millis);
    return format("%03dms", t.millis);
}

// Frequencies of 0 or below (and non-numbers) have no note: an empty name.
std::string KVUtilities::noteNumberFromFrequency(float frequency, double a4) {
    if (!(frequency > 0.0f) || !std::isfinite(frequency)) return {};
    const auto position = static_cast<float>(std::log2(frequency * (1.0 / a4)) * 12.0 + 69.0);
    const auto note = static_cast<long>(std::round(position));
    const long octave = std::max(-2L, static_cast<long>(std::trunc(note * 0.08333333333333333)) - 1);
    return format("%s %ld", kNoteNames[static_cast<std::size_t>(std::labs(note) % 12)], octave);
}

std::string KVUtilities::noteName(int midiNote) {
    const int note = std::max(0, midiNote);
    return format("%s%d", kNoteNames[static_cast<std::size_t>(note % 12)], note / 12 - 1);
}

void KVUtilities::playFinishedSound() {
    Platform& platform = Platform::shared();
    if (platform.integerForKey("General_PrefsVersion") != 0 && !platform.boolForKey("General_ChimeWhenDone")) return;
    if (platform.isMainThread()) {
        playFinishedSoundInMainThread();
        return;
    }
    // Posted without waiting: workers call this, and one must never wait on the main thread.
    platform.postToMainThread([] { playFinishedSoundInMainThread(); }, false);
}

void KVUtilities::playFinishedSoundInMainThread() { Platform::shared().playSound("finished-new", "aiff"); }

void KVUtilities::playStartupSound() {
    Platform& platform = Platform::shared();
    if (platform.hasDefaultForKey("General_PlayStartupSound") && !platform.boolForKey("General_PlayStartupSound")) return;
    platform.playSound("orvn", "aif");
}

ThemeColor KVUtilities::themeColorBlack() { return rgb(0.0, 0.0, 0.0); }
ThemeColor KVUtilities::themeColorWhiteWithAlpha(double alpha) { return rgb(1.0, 1.0, 1.0, alpha); }
ThemeColor KVUtilities::themeColorDarkGray() { return rgb(0.1, 0.1, 0.1); }
ThemeColor KVUtilities::themeColorMediumGray() { return rgb(0.6, 0.6, 0.6); }

// 00 is (0.05, 0.05, 0.1); i = 1..9 is (0.1 i, 0.1 i, 0.1 i + 0.1). Indices outside 0..9 are clamped.
ThemeColor KVUtilities::themeColor(int index) {
    index = std::clamp(index, 0, 9);
    if (index == 0) return rgb(0.05, 0.05, 0.1);
    const double level = 0.1 * index;
    return rgb(level, level, level + 0.1);
}

ThemeColor KVUtilities::themeColorHighlightWithAlpha(double alpha) { return rgb(1.0, 1.0, 0.0, alpha); }
ThemeColor KVUtilities::themeColorWaveformColor() { return rgb(0.05, 0.05, 0.1); }
ThemeColor KVUtilities::themeColorColdHighlightWithAlpha(double alpha) { return rgb(0.3, 0.3, 0.5, alpha); }
ThemeColor KVUtilities::themeColorDarkCanvas() { return rgb(0.068635, 0.07686, 0.138635); }
ThemeColor KVUtilities::themeColorMediumCanvas() { return rgb(0.1961, 0.2196, 0.3961); }
ThemeColor KVUtilities::themeColorLightCanvas() { return rgb(0.7451, 0.8118, 1.0); }
ThemeColor KVUtilities::themeColorSelection() { return rgb(0.2, 0.2, 1.0, 0.75); }
ThemeColor KVUtilities::themeColorEditCursor() { return rgb(1.0, 1.0, 1.0); }
ThemeColor KVUtilities::themeColorPlayCursor() { return rgb(1.0, 1.0, 1.0); }

}  // namespace orvex
