#include "application/PreferencesModel.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "application/PreferenceKeys.h"
#include "platform/Platform.h"

namespace orvex {

namespace {

// A present key's value, else the fallback.
bool storedOr(Platform& platform, const char* key, bool fallback) {
    return platform.hasDefaultForKey(key) ? platform.boolForKey(key) : fallback;
}
int storedOr(Platform& platform, const char* key, int fallback) {
    return platform.hasDefaultForKey(key) ? int(std::clamp<std::int64_t>(platform.integerForKey(key), -1'000'000, 1'000'000))
                                          : fallback;
}

}  // namespace

PreferenceValues PreferencesModel::defaults() { return PreferenceValues{}; }

PreferenceValues PreferencesModel::firstLaunchSet() {
    PreferenceValues values;
    values.chime = false;
    return values;
}

void PreferencesModel::readPrefs() {
    Platform& platform = Platform::shared();
    if (platform.integerForKey(prefkeys::kPrefsVersion) == 0) {
        mValues = firstLaunchSet();
        return;
    }
    const PreferenceValues d = defaults();
    mValues.perceptual = storedOr(platform, prefkeys::kPerceptualModelling, d.perceptual);
    mValues.replace = storedOr(platform, prefkeys::kReplaceSelected, d.replace);
    mValues.chime = storedOr(platform, prefkeys::kChimeWhenDone, d.chime);
    mValues.startup = storedOr(platform, prefkeys::kPlayStartupSound, d.startup);
    mValues.openFile = storedOr(platform, prefkeys::kOpenFileOnLaunch, d.openFile);
    mValues.fastDrawing = storedOr(platform, prefkeys::kUseFastDrawing, d.fastDrawing);
    mValues.a4Tuning = d.a4Tuning;
    if (platform.hasDefaultForKey(prefkeys::kA4TuningTenths))
        setA4Tuning(double(platform.integerForKey(prefkeys::kA4TuningTenths)) / 10.0);
    mValues.medianSeparation = platform.stringForKey(prefkeys::kSeparationMethod) == std::string("median");
    setMedianTimeMs(storedOr(platform, prefkeys::kMedianTimeMs, d.medianTimeMs));
    setMedianBandHz(storedOr(platform, prefkeys::kMedianBandHz, d.medianBandHz));
    setMedianPowerTenths(storedOr(platform, prefkeys::kMedianPowerTenths, d.medianPowerTenths));
    setUndoLevels(storedOr(platform, prefkeys::kUndoLevels, d.undoLevels));
    setUndoDiskPercent(storedOr(platform, prefkeys::kUndoDiskPercent, d.undoDiskPercent));
}

void PreferencesModel::setUndoLevels(int levels) {
    mValues.undoLevels = std::clamp(levels, PreferenceValues::kFewestUndoLevels, PreferenceValues::kMostUndoLevels);
}

void PreferencesModel::setUndoDiskPercent(int percent) {
    mValues.undoDiskPercent = std::clamp(percent, PreferenceValues::kLeastUndoPercent, PreferenceValues::kMostUndoPercent);
}

void PreferencesModel::setMedianTimeMs(int ms) {
    mValues.medianTimeMs = std::clamp(ms, PreferenceValues::kShortestMedianMs, PreferenceValues::kLongestMedianMs);
}

void PreferencesModel::setMedianBandHz(int hertz) {
    mValues.medianBandHz = std::clamp(hertz, PreferenceValues::kNarrowestMedianHz, PreferenceValues::kWidestMedianHz);
}

void PreferencesModel::setMedianPowerTenths(int tenths) {
    mValues.medianPowerTenths =
        std::clamp(tenths, PreferenceValues::kLowestPowerTenths, PreferenceValues::kHighestPowerTenths);
}

void PreferencesModel::setA4Tuning(double hertz) {
    if (!std::isfinite(hertz)) return;
    mValues.a4Tuning = std::round(std::clamp(hertz, PreferenceValues::kLowestA4, PreferenceValues::kHighestA4) * 10.0) / 10.0;
}

void PreferencesModel::save() {
    Platform& platform = Platform::shared();
    platform.setIntegerForKey(prefkeys::kPrefsVersion, prefkeys::kCurrentPrefsVersion);
    platform.setBoolForKey(prefkeys::kPerceptualModelling, mValues.perceptual);
    platform.setBoolForKey(prefkeys::kReplaceSelected, mValues.replace);
    platform.setBoolForKey(prefkeys::kChimeWhenDone, mValues.chime);
    platform.setBoolForKey(prefkeys::kPlayStartupSound, mValues.startup);
    platform.setBoolForKey(prefkeys::kOpenFileOnLaunch, mValues.openFile);
    platform.setBoolForKey(prefkeys::kUseFastDrawing, mValues.fastDrawing);
    platform.setIntegerForKey(prefkeys::kA4TuningTenths, std::lround(mValues.a4Tuning * 10.0));
    platform.setStringForKey(prefkeys::kSeparationMethod, mValues.medianSeparation ? "median" : "described");
    platform.setIntegerForKey(prefkeys::kMedianTimeMs, mValues.medianTimeMs);
    platform.setIntegerForKey(prefkeys::kMedianBandHz, mValues.medianBandHz);
    platform.setIntegerForKey(prefkeys::kMedianPowerTenths, mValues.medianPowerTenths);
    platform.setIntegerForKey(prefkeys::kUndoLevels, mValues.undoLevels);
    platform.setIntegerForKey(prefkeys::kUndoDiskPercent, mValues.undoDiskPercent);
    platform.synchronizeDefaults();
}

}  // namespace orvex
