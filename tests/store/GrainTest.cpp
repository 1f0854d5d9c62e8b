// The grain codec against hand-computed words, and grain collections streaming back grains
// with the emphasis and delay worked out by hand (a whole signal path, analysis to stream, is
// checked against its closed form in SignalPathTest).

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <vector>

#include "dsp/FastMath.h"
#include "store/KVEncodedGrain.h"
#include "store/KVGrainCollection.h"
#include "support/PlatformFixture.h"
#include "support/Signals.h"

namespace orvex {
namespace {

constexpr int kN = KVEncodedGrain::kSampleCount;

std::uint16_t expectedWord(long q, int index) {
    if (index & 1) q = -q;
    return static_cast<std::uint16_t>(static_cast<std::uint16_t>(q) ^ 0x6C93);
}

TEST(EncodedGrain, SilenceEncodesToTheMaskAndDecodesToZeros) {
    std::vector<float> zeros(kN, 0.0f), out(kN, 9.0f);
    KVEncodedGrain grain;
    std::memset(&grain, 0xAB, sizeof grain);
    grain.encode(zeros.data());
    EXPECT_EQ(grain.marker, 0.0f);
    EXPECT_EQ(grain.scale, 0.0001f);
    EXPECT_EQ(grain.minimum, 0.0f);
    EXPECT_EQ(grain.maximum, 0.0f);
    for (int i = 0; i < kN; ++i) ASSERT_EQ(grain.words[i], 0x6C93) << i;
    grain.decode(out.data());
    for (float v : out) ASSERT_EQ(v, 0.0f);

    // Unwritten file space (all bytes zero) and damaged scales are silence as well, whatever
    // the words say.
    for (const float scale : {0.0f, -1.0f, NAN, INFINITY}) {
        grain.clear();
        grain.scale = scale;
        grain.words[3] = 0x1234;
        grain.decode(out.data());
        for (float v : out) ASSERT_EQ(v, 0.0f) << scale;
    }
}

TEST(EncodedGrain, RoundTripMatchesIndependentQuantisation) {
    std::vector<float> x = test::noise(kN, 0.8, 7);
    x[100] = -0.9f;  // the largest magnitude is negative
    x[5] = NAN;      // non-finite input is stored as silence
    KVEncodedGrain grain;
    grain.encode(x.data());
    EXPECT_EQ(grain.scale, 0.9f);
    EXPECT_EQ(grain.minimum, -0.9f);
    std::vector<float> out(kN);
    grain.decode(out.data());
    double largest = 0.0;
    for (int i = 0; i < kN; ++i) {
        if (i == 5) {
            EXPECT_EQ(out[i], 0.0f);
            continue;
        }
        largest = std::max(largest, double(x[i]));
        // Single-precision arithmetic may round a value within a hair of a tie either way.
        const double exact = double(x[i]) / double(0.9f) * 32766.0;
        const long q = std::lround(exact);
        const bool nearTie = std::fabs(std::fabs(exact - std::trunc(exact)) - 0.5) < 1e-3;
        if (!nearTie) {
            ASSERT_EQ(grain.words[i], expectedWord(q, i)) << i;
        }
        ASSERT_NEAR(out[i], q / 32767.0 * 0.9, nearTie ? 1e-4 : 1e-6) << i;
    }
    EXPECT_FLOAT_EQ(grain.maximum, float(largest));
}

// Single-precision quotients that land exactly on a half go away from zero, as lround does,
// in the baseline and the AVX2 loops alike.
TEST(EncodedGrain, ExactHalvesRoundAwayFromZeroInBothLoopBuilds) {
    std::vector<float> x(kN, 0.0f);
    x[0] = 1.0f;  // the scale, so that a word is round(x x 32766) of a single-precision product
    int ties = 0;
    for (int i = 1; i < kN; ++i) {
        const float half = float(i % 3000) + 0.5f;
        float v = half / 32766.0f;
        for (int step = 0; step < 8 && v * 32766.0f != half; ++step)
            v = std::nextafter(v, v * 32766.0f < half ? 1.0f : 0.0f);
        ties += v * 32766.0f == half;
        x[i] = (i % 2 == 0 ? -v : v) * (i % 5 == 0 ? 0.999f : 1.0f);
    }
    ASSERT_GT(ties, kN / 2);
    for (const bool wide : {false, true}) {
        fastmath::wideVectorsAllowed() = wide;
        KVEncodedGrain grain;
        grain.encode(x.data());
        for (int i = 0; i < kN; ++i) ASSERT_EQ(grain.words[i], expectedWord(std::lround(x[i] * 32766.0f), i)) << i;
    }
    fastmath::wideVectorsAllowed() = true;
}

class GrainCollectionTest : public test::PlatformFixture {
protected:
    std::string base() { return temp().file("grains.kva"); }
    std::unique_ptr<KVGrainCollection> writable() { return KVGrainCollection::initByOpeningFileAtPath(base(), false, false); }
    static void put(KVGrainCollection& c, const std::vector<float>& samples, FramePos index) {
        KVEncodedGrain grain;
        grain.encode(samples.data());
        ASSERT_EQ(c.writeRecord(grain, index), 0);
    }
    static std::vector<float> stream(KVGrainCollection& c, FrameCount n, Status* status = nullptr) {
        std::vector<float> out(n, -99.0f);
        float* channels[1] = {out.data()};
        const Status s = c.readAudio(n, channels);
        if (status) *status = s;
        return out;
    }
};

TEST_F(GrainCollectionTest, OpeningCountingReadingAndStreamingFromASeekPosition) {
    EXPECT_EQ(KVGrainCollection::initByOpeningFileAtPath(base(), true, false), nullptr);
    EXPECT_FALSE(std::filesystem::exists(temp().file("grains.asp.noindex")));
    auto c = writable();
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->filePath(), temp().file("grains.asp.noindex"));
    put(*c, std::vector<float>(kN, 0.25f), 2);
    EXPECT_EQ(c->writeRecord(KVEncodedGrain{}, -1), 0);  // ignored
    EXPECT_EQ(std::filesystem::file_size(c->filePath()), 3u * 8208u);
    EXPECT_EQ(c->numberOfSamples(), 3 * 128);

    auto reader = KVGrainCollection::initByOpeningFileAtPath(base(), true, false);
    ASSERT_NE(reader, nullptr);
    std::vector<KVEncodedGrain> records(5);
    records[4].scale = 42.0f;
    EXPECT_EQ(reader->readRecords(records.data(), 1, 5), 2);  // a short read stops quietly
    EXPECT_EQ(records[0].scale, 0.0f);                        // the gap reads as zero bytes
    EXPECT_EQ(records[1].scale, 0.25f);
    EXPECT_EQ(records[4].scale, 42.0f);
    // Recreating empties the file in place: readers on the path see it too.
    KVGrainCollection::initByOpeningFileAtPath(base(), false, true);
    EXPECT_EQ(reader->frameCount(), 0);

    // Seeking positions the stream on a record, and its end is silence.
    c = writable();
    for (int k = 0; k < 6; ++k) {
        std::vector<float> g(kN, 0.0f);
        g[0] = float(k + 1);  // one impulse at the start of each grain
        put(*c, g, k);
    }
    c->setPlayPosition(3 * 128 + 77);
    EXPECT_EQ(c->currentSample(), 3 * 128);
    Status status = 1;
    const std::vector<float> out = stream(*c, 3 * 128, &status);
    EXPECT_EQ(status, 0);
    // Grain 3 arrives at 128, grain 4 at 256, each impulse followed by the emphasis tail.
    const float code = 32766.0f / 32767.0f;
    EXPECT_FLOAT_EQ(out[128], 4.0f * 1.25f * code);
    EXPECT_FLOAT_EQ(out[129], -4.0f * 0.25f * code);
    EXPECT_FLOAT_EQ(out[256], 5.0f * 1.25f * code);
    float rest = 0.0f;
    for (int i = 0; i < 3 * 128; ++i) rest += (i == 128 || i == 129 || i == 256 || i == 257) ? 0.0f : std::fabs(out[i]);
    EXPECT_EQ(rest, 0.0f);

    // The stream runs past the last record: silence after its tail, and the status says so.
    stream(*c, 4096, &status);
    EXPECT_EQ(status, -1);
    for (float v : stream(*c, 512)) ASSERT_EQ(v, 0.0f);
}

}  // namespace
}  // namespace orvex
