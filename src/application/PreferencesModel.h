#pragma once

namespace orvex {

// The values the preferences panel edits.
struct PreferenceValues {
    static constexpr double kLowestA4 = 400.0, kHighestA4 = 480.0;
    static constexpr int kShortestMedianMs = 100, kLongestMedianMs = 5000;
    static constexpr int kNarrowestMedianHz = 10, kWidestMedianHz = 1000;
    static constexpr int kLowestPowerTenths = 5, kHighestPowerTenths = 80;
    static constexpr int kFewestUndoLevels = 1, kMostUndoLevels = 100;
    static constexpr int kLeastUndoPercent = 1, kMostUndoPercent = 90;

    bool perceptual = true;
    bool chime = true;
    bool replace = true;
    bool openFile = true;
    bool fastDrawing = false;
    bool startup = true;
    double a4Tuning = 440.0;  // Hz, to a tenth, kLowestA4 .. kHighestA4
    // The separator of keep sustained and keep transients, and the median separator's settings.
    bool medianSeparation = false;
    int medianTimeMs = 1000;
    int medianBandHz = 75;
    int medianPowerTenths = 30;
    // The undo history's limits: levels, and percent of the disk's room for its copies.
    int undoLevels = 20;
    int undoDiskPercent = 20;
    bool operator==(const PreferenceValues&) const = default;
};

// The values behind the preferences panel, read from and written to the platform's user
// defaults (Platform::shared()). Main thread only.
class PreferencesModel {
public:
    // What a missing key reads as once preferences were saved.
    static PreferenceValues defaults();
    // What the panel shows before preferences were ever saved (chime off).
    static PreferenceValues firstLaunchSet();

    PreferencesModel() { readPrefs(); }

    // Reads the stored values: the first-launch set while "General_PrefsVersion" is 0, else
    // each present key, a missing one taking its default.
    void readPrefs();
    // Writes the version 301 and the values and synchronises.
    void save();
    // Drops the values edited since the last read or save by reading the stored ones again.
    void cancel() { readPrefs(); }

    const PreferenceValues& values() const { return mValues; }
    void setValues(const PreferenceValues& values) { mValues = values; }
    void setPerceptual(bool on) { mValues.perceptual = on; }
    void setChime(bool on) { mValues.chime = on; }
    void setReplace(bool on) { mValues.replace = on; }
    void setOpenFile(bool on) { mValues.openFile = on; }
    void setFastDrawing(bool on) { mValues.fastDrawing = on; }
    void setStartup(bool on) { mValues.startup = on; }
    // Rounded to a tenth and kept within its range.
    void setA4Tuning(double hertz);
    void setMedianSeparation(bool on) { mValues.medianSeparation = on; }
    // Each kept within its range.
    void setMedianTimeMs(int ms);
    void setMedianBandHz(int hertz);
    void setMedianPowerTenths(int tenths);
    void setUndoLevels(int levels);
    void setUndoDiskPercent(int percent);

    bool openFileOnLaunch() const { return mValues.openFile; }
    bool doFastDrawing() const { return mValues.fastDrawing; }

private:
    PreferenceValues mValues;
};

}  // namespace orvex
