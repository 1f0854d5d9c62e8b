// The mix stream of an analysis (take_ovw) is the analysis of the mean of the channels: a stereo
// take's mix holds the records that a mono take of the mixed samples holds as its channel, up to
// float rounding; its channel streams are those of each channel analysed alone; and the mix of a
// mono take is its channel, byte for byte, digital silence with signed zeros included.
#include <gtest/gtest.h>

#include <sndfile.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "CliRunner.h"
#include "support/RecordComparison.h"
#include "support/Signals.h"
#include "support/TempDir.h"

namespace orvex::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t kFrames = 3 * 44100;
// About 0.28 s of digital silence in both channels: some 60 frames see nothing else.
constexpr std::int64_t kSilenceStart = 70000;
constexpr std::int64_t kSilenceFrames = 12288;
// Three seconds make about 1090 records; fewer means the analysis stopped early.
constexpr std::size_t kFewestRecords = 1000;

enum class Take { Stereo, Mix, Left, Right };

std::string nameOf(Take take) {
    switch (take) {
        case Take::Stereo: return "stereo";
        case Take::Mix: return "mix";
        case Take::Left: return "left";
        case Take::Right: return "right";
    }
    return "";
}

// The music-like channels with a stretch of silence: +0 and -0 in turn on the left, -0 on the
// right, so that a mono take of either channel holds zeros of a sign its mix does not.
Channels stereoSamples() {
    Channels channels = musicLike(kFrames);
    for (std::int64_t i = kSilenceStart; i < kSilenceStart + kSilenceFrames; ++i) {
        channels[0][std::size_t(i)] = i % 2 ? -0.0f : 0.0f;
        channels[1][std::size_t(i)] = -0.0f;
    }
    return channels;
}

Channels samplesOf(Take take) {
    const Channels stereo = stereoSamples();
    switch (take) {
        case Take::Stereo: return stereo;
        case Take::Mix: return {channelMean(stereo)};
        case Take::Left: return {stereo[0]};
        case Take::Right: return {stereo[1]};
    }
    return {};
}

fs::path folderOf(Take take) {
    static const TempDir temp;
    return temp.path() / nameOf(take);
}

// <take>/take.wav written as a 32-bit float WAVE file (so the analysis reads exactly these
// samples) and analysed by orvex-cli, on first use only: the tests of one run share the
// analyses, which take most of their time.
const CliRun& analysed(Take take) {
    static std::map<Take, CliRun> runs;
    if (const auto found = runs.find(take); found != runs.end()) return found->second;
    fs::create_directories(folderOf(take));
    const std::string sound = (folderOf(take) / "take.wav").string();
    writeWave(sound, samplesOf(take), 44100, SF_FORMAT_FLOAT);
    return runs[take] = runCli("analyse '" + sound + "'");
}

void expectAnalysed(Take take) {
    const CliRun& run = analysed(take);
    ASSERT_EQ(run.exitCode, 0) << nameOf(take) << ": " << run.err;
}

fs::path streamOf(Take take, const std::string& stream) {
    return folderOf(take) / "take.analysis" / (stream + ".ana.noindex");
}

// Two stream files hold the same bytes; the first difference is named by record and offset.
void expectSameBytes(const fs::path& a, const fs::path& b) {
    ASSERT_EQ(fs::file_size(a), fs::file_size(b)) << a << " / " << b;
    ASSERT_EQ(fs::file_size(a) % sizeof(FrameRecord), 0u) << a;
    const std::vector<FrameRecord> x = readRecords(a), y = readRecords(b);
    ASSERT_GE(x.size(), kFewestRecords) << a;
    for (std::size_t i = 0; i < x.size(); ++i) {
        const auto* p = reinterpret_cast<const unsigned char*>(&x[i]);
        const auto* q = reinterpret_cast<const unsigned char*>(&y[i]);
        const auto at = std::mismatch(p, p + sizeof(FrameRecord), q).first - p;
        ASSERT_EQ(at, std::ptrdiff_t(sizeof(FrameRecord))) << "record " << i << " differs at byte " << at << ": " << a
                                                           << " / " << b;
    }
}

TEST(CliMixStream, AStereoMixHoldsTheAnalysisOfTheMixedSamples) {
    ASSERT_NO_FATAL_FAILURE(expectAnalysed(Take::Stereo));
    ASSERT_NO_FATAL_FAILURE(expectAnalysed(Take::Mix));
    expectSameStream(readRecords(streamOf(Take::Stereo, "take_ovw")), readRecords(streamOf(Take::Mix, "take_0")),
                     "take_ovw", kFewestRecords);
}

TEST(CliMixStream, AStereoTakesChannelsHoldTheAnalysesOfEachChannelAlone) {
    ASSERT_NO_FATAL_FAILURE(expectAnalysed(Take::Stereo));
    ASSERT_NO_FATAL_FAILURE(expectAnalysed(Take::Left));
    ASSERT_NO_FATAL_FAILURE(expectAnalysed(Take::Right));
    expectSameBytes(streamOf(Take::Stereo, "take_0"), streamOf(Take::Left, "take_0"));
    expectSameBytes(streamOf(Take::Stereo, "take_1"), streamOf(Take::Right, "take_0"));
}

// The mono mix adds each sample to +0, so a -0 of the channel reaches it as +0: the stored
// analysis must not tell the two apart.
TEST(CliMixStream, AMonoMixIsItsChannelByteForByte) {
    for (const Take take : {Take::Mix, Take::Left, Take::Right}) {
        SCOPED_TRACE(nameOf(take));
        ASSERT_NO_FATAL_FAILURE(expectAnalysed(take));
        expectSameBytes(streamOf(take, "take_ovw"), streamOf(take, "take_0"));
    }
}

}  // namespace
}  // namespace orvex::test
