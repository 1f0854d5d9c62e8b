#include <gtest/gtest.h>

#include <sys/utsname.h>

#include "application/AppVersion.h"
#include "application/LaunchBookkeeping.h"
#include "application/RecentDocuments.h"
#include "support/PlatformFixture.h"

namespace orvex {
namespace {

using test::PlatformFixture;

class LaunchBookkeepingTest : public PlatformFixture {};

// The version recorded at quit and read back at the next launch is tried by the application
// controller's test, which launches twice.
TEST_F(LaunchBookkeepingTest, QuickStartIsDueOncePerVersion) {
    struct Case { std::int64_t build, stored; bool due; };
    for (const Case c : {Case{100, 0, true}, Case{100, 100, false}, Case{100, 99, true}, Case{0, 0, true},
                         Case{0, 100, true}, Case{100, 10100, true}}) {
        EXPECT_EQ(LaunchBookkeeping::isFirstLaunchOfVersion(c.build, c.stored), c.due) << c.build << " " << c.stored;
    }
}

TEST(AppVersionTest, SplashTextNamesVersionArchitectureWordSizeAndEdition) {
    struct Case { const char* machine; const char* family; };
    for (const Case c : {Case{"x86_64", "x86"}, Case{"i686", "x86"}, Case{"i386", "x86"}, Case{"aarch64", "arm"},
                         Case{"armv7l", "arm"}, Case{"riscv64", "riscv64"}, Case{"ia64", "ia64"}}) {
        EXPECT_EQ(AppVersion::architectureFamily(c.machine), c.family) << c.machine;
    }
    EXPECT_EQ(AppVersion::splashText("2.3.1", "x86"), "v2.3.1 (x86/" + std::to_string(sizeof(void*) * 8) + "bit/Retail)");
    // The build's own text carries the project version and the machine uname reports.
    utsname names{};
    ASSERT_EQ(uname(&names), 0);
    EXPECT_EQ(AppVersion::splashText(), AppVersion::splashText(AppVersion::string(), AppVersion::architectureFamily(names.machine)));
    // The number and the text are defined apart by the build: they must name the same version.
    const std::string v = AppVersion::string();
    const auto dot1 = v.find('.'), dot2 = v.rfind('.');
    EXPECT_EQ(AppVersion::number(), std::stoll(v.substr(0, dot1)) * 10000 + std::stoll(v.substr(dot1 + 1)) * 100 +
                                        std::stoll(v.substr(dot2 + 1)));
}

TEST_F(LaunchBookkeepingTest, RecentDocumentsMostRecentFirstWithoutDuplicatesOrVanishedFiles) {
    std::vector<std::string> files;
    for (int i = 0; i < 12; ++i) {
        files.push_back(temp().file("f" + std::to_string(i) + ".wav"));
        std::fclose(std::fopen(files.back().c_str(), "w"));
        RecentDocuments::add(files.back());
    }
    RecentDocuments::add(files[5]);
    RecentDocuments::add("bad\npath.wav");
    std::remove(files[11].c_str());
    const std::vector<std::string> expected{files[5], files[10], files[9], files[8], files[7], files[6], files[4], files[3], files[2]};
    EXPECT_EQ(RecentDocuments::load(), expected);
}

}  // namespace
}  // namespace orvex
