// Analysis on a volume too small for it: the "Not enough disk space" text as the one error
// line, a failing exit code and nothing written beside the sound file. Once on a real small
// volume through the program, once in-process on a platform that reports little free space.

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>

#include "CliRunner.h"
#include "platform/HeadlessPlatform.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr const char* kRefusal = "orvex-cli: Not enough disk space: Working with this file requires ";

// A 3 s mono sound file alone in folder.
std::string soundIn(const fs::path& folder) {
    const std::string path = (folder / "take.wav").string();
    writeWave(path, {sine(220.0, 44100.0, 3 * 44100, 0.3)}, 44100);
    return path;
}

void expectRefusedLeavingOnlyTheSound(int exitCode, const std::string& err, const fs::path& folder) {
    EXPECT_EQ(exitCode, 1);
    EXPECT_EQ(errorLine(err).rfind(kRefusal, 0), 0u) << err;
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"take.wav"});
}

TEST(CliDiskSpace, AnalysisOnATooSmallVolumeIsRefused) {
    if (!fs::exists(cliProgram())) GTEST_SKIP() << "orvex-cli is not built";
    TempDir temp;
    // A tmpfs volume of a few megabytes, unmounted when the test ends.
    const fs::path volume = temp.path() / "volume";
    fs::create_directory(volume);
    if (::mount("tmpfs", volume.c_str(), "tmpfs", 0, "size=4m") != 0)
        GTEST_SKIP() << "mounting a small tmpfs volume was refused: " << std::strerror(errno);
    auto unmount = [](const char* path) { ::umount2(path, MNT_DETACH); };
    const std::unique_ptr<const char, decltype(unmount)> mounted(volume.c_str(), unmount);
    const CliRun run = runCli("analyse '" + soundIn(volume) + "'");
    expectRefusedLeavingOnlyTheSound(run.exitCode, run.err, volume);
}

class LittleSpacePlatform : public HeadlessPlatform {
public:
    std::int64_t freeBytesOfVolume(const std::string&) override { return 1'000'000; }
};

TEST(CliDiskSpace, AnalysisWithLittleFreeSpaceIsRefusedInProcess) {
    TempDir temp;
    auto platform = std::make_shared<LittleSpacePlatform>();
    platform->setEchoAlerts(false);
    Platform::install(platform);
    const std::string sound = soundIn(temp.path());
    std::string err;
    const int exitCode = runInProcess({"analyse", sound}, err);
    Platform::install(nullptr);
    expectRefusedLeavingOnlyTheSound(exitCode, err, temp.path());
}

}  // namespace
}  // namespace orvex::test
