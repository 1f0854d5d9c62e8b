#include <gtest/gtest.h>

#include <fstream>

#include "application/ResourceFinder.h"
#include "support/TempDir.h"

namespace orvex {
namespace {

namespace fs = std::filesystem;

TEST(ResourceFinderTest, InstalledLayoutComesFirstThenTheBuildTree) {
    test::TempDir temp;
    const fs::path prefix = temp.path() / "prefix";
    fs::create_directories(prefix / "bin");
    fs::create_directories(prefix / "share" / "orvex" / "icons");
    std::ofstream(prefix / "share" / "orvex" / "quickstart.html") << "installed";
    std::ofstream(prefix / "share" / "orvex" / "icons" / "orvex.png") << "png";

    const ResourceFinder installed = ResourceFinder::forExecutable(prefix / "bin" / "orvex");
    EXPECT_EQ(installed.directory(), prefix / "share" / "orvex");
    EXPECT_EQ(installed.pathForResource("quickstart", "html"), prefix / "share" / "orvex" / "quickstart.html");
    EXPECT_EQ(installed.pathForResource("icons/orvex", "png"), prefix / "share" / "orvex" / "icons" / "orvex.png");
    // Files the installed folder lacks come from the build tree.
    EXPECT_EQ(installed.pathForResource("demo", "wav"), fs::path(ORVEX_SOURCE_DIR_PATH) / "resources" / "demo.wav");

    const ResourceFinder buildTree = ResourceFinder::forExecutable(temp.path() / "build" / "src" / "app" / "orvex");
    EXPECT_EQ(buildTree.directory(), fs::path(ORVEX_SOURCE_DIR_PATH) / "resources");
    EXPECT_EQ(buildTree.pathForResource("quickstart", "html"), fs::path(ORVEX_SOURCE_DIR_PATH) / "resources" / "quickstart.html");
}

TEST(ResourceFinderTest, MissingNamesAndEscapingNamesFindNothing) {
    test::TempDir temp;
    std::ofstream(temp.path() / "secret.txt") << "x";
    fs::create_directories(temp.path() / "res");
    const ResourceFinder finder({temp.path() / "nowhere", temp.path() / "res"});
    EXPECT_EQ(finder.directory(), temp.path() / "res");
    for (const char* name : {"missing", "../secret", "", "res/../../secret"}) {
        EXPECT_FALSE(finder.pathForResource(name, "txt").has_value()) << name;
    }
    EXPECT_FALSE(finder.pathForResource((temp.path() / "secret").string(), "txt").has_value());
    EXPECT_FALSE(ResourceFinder({temp.path() / "nowhere"}).directory().has_value());
}

TEST(ResourceFinderTest, TheRunningProgramIsFound) {
    EXPECT_EQ(ResourceFinder::currentExecutable().filename(), "orvex_application_tests");
}

}  // namespace
}  // namespace orvex
