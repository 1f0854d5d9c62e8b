// The analysis folder layout and the parameter dictionary, checked against paths spelled out by
// hand and against Python's own property-list reader.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "store/KVAnalysisPaths.h"
#include "support/PlatformFixture.h"
#include "support/Shell.h"
#include "utilities/KVParamDictionary.h"
#include "utilities/KVUtilities.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

class ParamDictTest : public test::PlatformFixture {
protected:
    std::string sound() { return temp().file("take.aif"); }
    std::string dictPath() { return temp().file("take.analysis/take.plist"); }
};

TEST_F(ParamDictTest, FolderLayoutFollowsTheWorkingFileName) {
    const std::string d = temp().path().string();
    EXPECT_EQ(KVUtilities::paramDictPathForAnalysisOfFileAtPath(sound()), d + "/take.analysis/take.plist");
    EXPECT_TRUE(fs::is_directory(d + "/take.analysis"));
    // A converted copy gets a folder of its own.
    EXPECT_EQ(KVUtilities::analysisFolderForFileAtPath(d + "/take[orvx].wav"), d + "/take[orvx].analysis");

    const std::string selection = KVAnalysisPaths::selectionFileSetPath(sound());
    EXPECT_EQ(selection, d + "/take.analysis/take-selection.analysis");
    EXPECT_EQ(KVUtilities::paramDictPathForAnalysisOfFileAtPath(selection),
              d + "/take.analysis/take-selection.analysis/take-selection.plist");
    EXPECT_EQ(KVAnalysisPaths::channelChunkPath(selection, 1),
              d + "/take.analysis/take-selection.analysis/take-selection_1.kva");
    EXPECT_EQ(KVAnalysisPaths::dataFilePath(KVAnalysisPaths::overviewChunkPath(sound()), ".ana.noindex"),
              d + "/take.analysis/take_ovw.ana.noindex");
    EXPECT_EQ(KVAnalysisPaths::mixdownRightPath(sound()), d + "/take.analysis/take-collection.analysis/mxr.xxx");
}

TEST_F(ParamDictTest, CompatibilityDependsOnlyOnTheStoredVersion) {
    EXPECT_TRUE(KVUtilities::chunkFileForFileAtPathIsCompatible(sound()));  // no dictionary yet
    const std::pair<std::int64_t, bool> cases[] = {{0, true}, {259, true}, {-3, true}, {258, false}, {260, false}, {1, false}};
    for (auto [version, compatible] : cases) {
        PropertyList dict;
        dict.setInt("ORVXFileGroup_Version", version);
        ASSERT_TRUE(KVUtilities::saveParamDictForAnalysisOfFileAtPath(sound(), dict));
        EXPECT_EQ(KVUtilities::chunkFileForFileAtPathIsCompatible(sound()), compatible) << version;
    }
    // An unreadable dictionary behaves like a missing one: empty and compatible.
    std::ofstream(dictPath()) << "<?xml this is not a property list";
    EXPECT_TRUE(KVUtilities::paramDictForAnalysisOfFileAtPath(sound()).empty());
    EXPECT_TRUE(KVUtilities::chunkFileForFileAtPathIsCompatible(sound()));
    EXPECT_FALSE(KVUtilities::keyExistsInDictForAnalysisOfFileAtPath(sound(), "ORVXFileGroup_Version"));
}

TEST_F(ParamDictTest, UpdateKeepsOtherKeysAndIsReadableByPython) {
    PropertyList dict;
    dict.setInt("ORVXFileGroup_AnalysisStartFrame", 5000000000LL);
    dict.setInt("ORVXFileGroup_AnalysisEndFrame", -7);
    dict.setBool("AnalysisCompleteForSelection", true);
    dict.setBool("AnalysisDataSelected", false);
    dict.setInt("ORVXFileGroup_Version", 258);
    ASSERT_TRUE(KVUtilities::saveParamDictForAnalysisOfFileAtPath(sound(), dict));
    EXPECT_EQ(KVUtilities::paramDictForAnalysisOfFileAtPath(sound()).getInt("ORVXFileGroup_Version"), 258);

    ASSERT_TRUE(KVUtilities::updateAndSaveParamDictForAnalysisOfFileAtPath(sound()));
    const PropertyList stored = KVUtilities::paramDictForAnalysisOfFileAtPath(sound());
    EXPECT_EQ(stored.getInt("ORVXFileGroup_AnalysisStartFrame"), 5000000000LL);
    EXPECT_EQ(stored.getInt("ORVXFileGroup_AnalysisEndFrame"), -7);
    EXPECT_TRUE(stored.getBool("AnalysisCompleteForSelection"));
    EXPECT_TRUE(KVUtilities::keyExistsInDictForAnalysisOfFileAtPath(sound(), "AnalysisDataSelected"));
    EXPECT_FALSE(KVUtilities::keyExistsInDictForAnalysisOfFileAtPath(sound(), "DocumentConfiguredForMode"));
    EXPECT_EQ(stored.getInt("DocumentConfiguredForMode"), 0);
    EXPECT_EQ(stored.getInt("ORVXFileGroup_Version"), 259);
    EXPECT_EQ(stored.getString("ORVXFileGroup_DictionaryPath"), dictPath());

    EXPECT_EQ(test::plistText(dictPath()),
              "AnalysisCompleteForSelection=True AnalysisDataSelected=False ORVXFileGroup_AnalysisEndFrame=-7 "
              "ORVXFileGroup_AnalysisStartFrame=5000000000 ORVXFileGroup_DictionaryPath=" + dictPath() +
                  " ORVXFileGroup_Version=259\n");
}

// The analysis runner changes its flags on a worker thread while the window records the mode and
// the ranges on the main thread: no change may undo another's key.
TEST_F(ParamDictTest, ChangesFromTwoThreadsKeepEachOthersKeys) {
    auto writeSteps = [this](const char* key) {
        for (std::int64_t step = 1; step <= 60; ++step)
            KVParamDictionary::change(sound(), [&](PropertyList& dict) { dict.setInt(key, step); });
    };
    std::thread worker(writeSteps, "AnalysisSteps");
    writeSteps("WindowSteps");
    worker.join();
    const PropertyList stored = KVUtilities::paramDictForAnalysisOfFileAtPath(sound());
    EXPECT_EQ(stored.getInt("AnalysisSteps"), 60);
    EXPECT_EQ(stored.getInt("WindowSteps"), 60);
}

}  // namespace
}  // namespace orvex
