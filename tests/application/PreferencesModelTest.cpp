#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "application/PreferenceKeys.h"
#include "application/PreferencesModel.h"
#include "support/PlatformFixture.h"
#include "support/Shell.h"

namespace orvex {
namespace {

using test::PlatformFixture;

class PreferencesModelTest : public PlatformFixture {
protected:
    // Installs a platform whose defaults live in a property-list file, as a new process would.
    void useDefaultsFile(const std::string& path) {
        mPlatform = std::make_shared<HeadlessPlatform>(path);
        mPlatform->setEchoAlerts(false);
        Platform::install(mPlatform);
    }
};

// Keys alone (without the version) do not count as saved preferences; after a save missing
// keys take their defaults.
TEST_F(PreferencesModelTest, StoredKeysCountOnlyOnceAVersionWasSaved) {
    platform().setBoolForKey(prefkeys::kPerceptualModelling, false);
    platform().setBoolForKey(prefkeys::kUseFastDrawing, true);
    EXPECT_EQ(PreferencesModel().values(), (PreferenceValues{true, false, true, true, false, true}));
    platform().setIntegerForKey(prefkeys::kPrefsVersion, 301);
    EXPECT_EQ(PreferencesModel().values(), (PreferenceValues{false, true, true, true, true, true}));
}

// The tuning is kept in tenths of a hertz, rounded and within 400 .. 480 Hz; the separation
// method by name, the median separator's settings and the undo limits as integers within their
// ranges.
TEST_F(PreferencesModelTest, SaveWritesTheVersionAndTheKeysThatASecondPlatformReadsBack) {
    const std::string path = temp().file("orvex.plist");
    useDefaultsFile(path);
    PreferencesModel model;
    PreferenceValues edited{false, true, false, false, true, false, 415.3, true, 500, 1000, 25, 100, 15};
    model.setValues(edited);
    model.setA4Tuning(415.3049);
    model.setMedianBandHz(5000);
    model.setMedianPowerTenths(25);
    model.setUndoLevels(500);
    EXPECT_EQ(model.values(), edited);
    model.save();

    // Read by Python's plistlib, independently of the code that wrote it.
    EXPECT_EQ(test::plistText(path),
              "Edit_UndoDiskPercent=15 Edit_UndoLevels=100 "
              "General_ChimeWhenDone=True General_OpenFileOnLaunch=False General_PlayStartupSound=False "
              "General_PrefsVersion=301 General_UseFastDrawing=True ORVX_PerceptualModelling=False "
              "ORVX_ReplaceSelected=False Process_MedianBandHz=1000 Process_MedianMaskPowerTenths=25 "
              "Process_MedianTimeMs=500 Process_SeparationMethod=median View_A4TuningTenthsOfHz=4153\n");

    useDefaultsFile(path);
    EXPECT_EQ(PreferencesModel().values(), edited);
    for (const auto& [stored, read] : {std::pair{3000, 400.0}, std::pair{9999, 480.0}}) {
        platform().setIntegerForKey(prefkeys::kA4TuningTenths, stored);
        EXPECT_EQ(PreferencesModel().values().a4Tuning, read);
    }
}

}  // namespace
}  // namespace orvex
