#include "dsp/FrameRecord.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <numbers>
#include <random>
#include <vector>

using namespace orvex;

namespace {

constexpr double kPi = std::numbers::pi;

// Raw little-endian bytes for the whole-record comparisons; field offsets and the byte order are
// pinned by static_asserts next to FrameRecord, so the other tests use the fields.
using Bytes = std::vector<std::uint8_t>;
void putU16(Bytes& b, std::size_t at, std::uint16_t v) { b[at] = v & 0xFF; b[at + 1] = v >> 8; }
void putU32(Bytes& b, std::size_t at, std::uint32_t v) { for (int i = 0; i < 4; ++i) b[at + i] = (v >> (8 * i)) & 0xFF; }
void putF32(Bytes& b, std::size_t at, float v) { std::uint32_t u; std::memcpy(&u, &v, 4); putU32(b, at, u); }

Bytes bytesOf(const FrameRecord& r) {
    Bytes b(50228);
    std::memcpy(b.data(), &r, b.size());
    return b;
}
std::unique_ptr<FrameRecord> recordOf(const Bytes& b) {
    auto r = FrameRecord::create();
    std::memcpy(static_cast<void*>(r.get()), b.data(), b.size());
    return r;
}
// A valid record with B = 8 bins (P 1, N 16).
std::unique_ptr<FrameRecord> smallValidRecord() {
    auto r = FrameRecord::create();
    r->zeroPaddingFactor = 1;
    r->frameSize = 16;
    r->valid = 1;
    return r;
}

}  // namespace

TEST(FrameRecordLayout, NewRecordHasOnlyTheDefaultHeaderBytes) {
    Bytes b = bytesOf(*FrameRecord::create());
    Bytes expected(50228, 0);
    putU32(expected, 0, 50228);
    putU32(expected, 4, 0xFFFFFFFFu);
    putU16(expected, 8, 259);
    putF32(expected, 32, 1.0f);
    putF32(expected, 36, 1.0f);
    EXPECT_EQ(b, expected);

    auto r = recordOf(Bytes(50228, 0xAB));
    r->reset();
    EXPECT_EQ(bytesOf(*r), expected);
}

TEST(FrameRecordLayout, HandBuiltRecordDecodesItsBins) {
    auto r = smallValidRecord();
    r->frequencyScale = 1000.0f;
    r->magnitudeScale = 2.0f;
    const std::uint16_t freq[8] = {0, 65535, 32768, 1, 100, 200, 300, 400};
    const std::uint16_t mag[8] = {65535, 0, 16384, 7, 8, 9, 10, 11};
    const std::uint16_t phase[8] = {32767, 1, 65533, 0, 16384, 49150, 2, 65532};
    for (int k = 0; k < 8; ++k) r->bins[k] = {freq[k], mag[k], phase[k]};
    r->bins[8] = {999, 999, 999};  // beyond B: never decoded
    ASSERT_EQ(r->binCount(), 8);

    auto f = r->decodeFrequencies();
    auto m = r->decodeMagnitudes();
    auto p = r->decodePhases();
    ASSERT_EQ(f.size(), 8u);
    ASSERT_EQ(p.size(), 8u);
    for (int k = 0; k < 8; ++k) {
        EXPECT_NEAR(f[k], freq[k] * 1000.0 / 65535.0, 1e-3) << k;
        EXPECT_NEAR(m[k], mag[k] * 2.0 / 65535.0, 1e-6) << k;
        if (phase[k] == 0)
            EXPECT_EQ(p[k], 4660.0f);
        else
            EXPECT_NEAR(p[k], ((phase[k] - 1) / 32766.0 - 1.0) * kPi, 1e-6) << k;
        EXPECT_EQ(r->binFrequency(k), f[k]);
        EXPECT_EQ(r->binMagnitude(k), m[k]);
        EXPECT_EQ(r->binPhase(k), p[k]);
    }

    // A buffer longer than B gets the B values and zeros after them, whatever it held.
    using Decode = void (FrameRecord::*)(std::span<float>) const;
    const std::pair<Decode, const std::vector<float>*> decodes[] = {
        {&FrameRecord::decodeMagnitudesInto, &m}, {&FrameRecord::decodeFrequenciesInto, &f}, {&FrameRecord::decodePhasesInto, &p}};
    for (const auto& [decode, expected] : decodes) {
        std::vector<float> longer(12, 7.0f);
        ((*r).*decode)(longer);
        for (std::size_t k = 0; k < longer.size(); ++k) EXPECT_EQ(longer[k], k < 8 ? (*expected)[k] : 0.0f) << k;
    }

    // The same bins with valid 0 decode to zeros.
    r->valid = 0;
    for (float v : r->decodePhases()) EXPECT_EQ(v, 0.0f);
    std::vector<float> buffer(12, 7.0f);
    r->decodeMagnitudesInto(buffer);
    for (float v : buffer) EXPECT_EQ(v, 0.0f);
}

TEST(FrameRecordLayout, EncodingWritesCodesAndScales) {
    auto r = FrameRecord::create();
    r->zeroPaddingFactor = 1;
    r->frameSize = 8;  // B = 4
    r->valid = 1;
    std::vector<float> mags = {0.0f, 1.0f, 3.0f, 4.0f, 50.0f};  // the fifth lies beyond B
    std::vector<float> freqs = {100.0f, -20.0f, 300.0f, 50.0f};
    std::vector<float> phases = {0.0f, 3.14159265f, -3.14159265f, 4660.0f};
    r->encode(mags, freqs, phases);
    EXPECT_EQ(r->magnitudeScale, 4.0f);
    EXPECT_EQ(r->frequencyScale, 300.0f);
    const std::uint16_t magCodes[4] = {0, 16384, 49151, 65535};  // lround(m / 4 x 65535)
    const std::uint16_t freqCodes[4] = {21845, 0, 65535, 10923};  // lround(f / 300 x 65535)
    const std::uint16_t phaseCodes[4] = {32767, 65533, 1, 0};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(r->bins[k].frequency, freqCodes[k]) << k;
        EXPECT_EQ(r->bins[k].magnitude, magCodes[k]) << k;
        EXPECT_EQ(r->bins[k].phase, phaseCodes[k]) << k;
    }
    const Bytes b = bytesOf(*r);
    for (std::size_t at = offsetof(FrameRecord, bins) + 4 * 6; at < b.size(); ++at) ASSERT_EQ(b[at], 0) << at;
    EXPECT_EQ(freqs[1], 0.0f);  // negative inputs are cleared in the caller's array
}

TEST(FrameRecordLayout, CopyHeaderCopiesExactlyTheListedFields) {
    auto from = FrameRecord::create();
    Bytes src(50228);
    for (std::size_t i = 0; i < src.size(); ++i) src[i] = std::uint8_t(i * 7 + 3);
    std::memcpy(static_cast<void*>(from.get()), src.data(), src.size());
    auto to = FrameRecord::create();
    Bytes before = bytesOf(*to);
    FrameRecord::copyHeader(*from, *to);
    Bytes after = bytesOf(*to);
    // Copied: size 0-3, noisiness through fundamental 12-31, P/overlap/N/valid/regenerate 40-49.
    auto copied = [](std::size_t at) { return at < 4 || (at >= 12 && at < 32) || (at >= 40 && at < 50); };
    for (std::size_t at = 0; at < after.size(); ++at)
        ASSERT_EQ(after[at], copied(at) ? src[at] : before[at]) << at;

    FrameRecord::copy(*from, *to);
    EXPECT_EQ(bytesOf(*to), src);
}

// The codes of 0, pi, -pi and the unknown mark are written out in EncodingWritesCodesAndScales,
// and the bulk encoding is held to this single-phase rule in ScalesAndMagnitudeRoundTrip.
TEST(FrameRecordCodec, PhaseCodesAtTheEndsTheUnknownMarkAndOutsideTheCircle) {
    EXPECT_EQ(FrameRecord::encodePhase(4660.75f), 0);
    EXPECT_EQ(FrameRecord::decodePhase(0), kPhaseUnknown);
    EXPECT_EQ(FrameRecord::encodePhase(1.0f), std::lround((1.0 / kPi + 1.0) * 32766.0) + 1);
    // Every in-range phase comes back within half a code step.
    for (double p = -kPi; p <= kPi; p += 0.001)
        ASSERT_NEAR(FrameRecord::decodePhase(FrameRecord::encodePhase(float(p))), p, kPi / 32766.0 * 0.5 + 1e-6);
    // Phases outside the circle keep their angle: left unwrapped these codes would overflow
    // 16 bits or read back as "unknown".
    for (double p : {4.0, -3.2, 7.0, -9.5, 100.0}) {
        std::uint16_t code = FrameRecord::encodePhase(float(p));
        ASSERT_NE(code, 0) << p;
        double decoded = FrameRecord::decodePhase(code);
        EXPECT_NEAR(std::cos(decoded), std::cos(p), 1e-3) << p;
        EXPECT_NEAR(std::sin(decoded), std::sin(p), 1e-3) << p;
    }
    EXPECT_EQ(FrameRecord::encodePhase(std::nanf("")), 0);
}

TEST(FrameRecordCodec, ScalesAndMagnitudeRoundTrip) {
    auto r = FrameRecord::create();
    r->valid = 1;
    std::vector<float> zeros(8192, 0.0f);
    r->encodeMagnitudes(zeros);
    EXPECT_EQ(r->magnitudeScale, 0.001f);
    for (int k = 0; k < 8192; ++k) ASSERT_EQ(r->bins[k].magnitude, 0) << k;

    // The bulk encoding of every bin: magnitudes and frequencies rounded to the nearest code,
    // phases (well outside the circle and at its edges too) coded as the single-phase rule codes
    // them; decoding comes back within half a code step.
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> dist(0.0f, 1.0f), phase(-7.0f, 7.0f);
    for (float scale : {0.0013f, 0.5f, 1.0f, 3.7f, 123.456f, 20000.0f, 1e6f}) {
        std::vector<float> m(8192), p(8192);
        for (float& v : m) v = dist(gen) * scale;
        for (float& v : p) v = phase(gen);
        const float edges[] = {float(kPi), float(-kPi), std::nextafter(float(kPi), 0.0f), -0.0f, 1e-9f, kPhaseUnknown};
        std::copy(std::begin(edges), std::end(edges), p.begin());
        m[100] = scale;
        m[101] = -scale;
        m[102] = std::nanf("");
        std::vector<float> f = m;
        r->encode(m, f, p);
        EXPECT_EQ(m[101], 0.0f);
        EXPECT_EQ(m[102], 0.0f);
        EXPECT_EQ(r->bins[100].magnitude, 65535);
        auto decoded = r->decodeMagnitudes();
        EXPECT_EQ(decoded[100], scale);  // a value equal to the scale comes back exactly
        for (int k = 0; k < 8192; ++k) {
            ASSERT_EQ(r->bins[k].magnitude, std::lround(m[k] / r->magnitudeScale * 65535.0f)) << k;
            ASSERT_EQ(r->bins[k].frequency, std::lround(f[k] / r->frequencyScale * 65535.0f)) << k;
            ASSERT_EQ(r->bins[k].phase, FrameRecord::encodePhase(p[k])) << k;
            ASSERT_NEAR(decoded[k], m[k], scale / 65535.0 * 0.51) << k;
        }
    }
}

TEST(FrameRecordCodec, BinCountFollowsTheHeaderAndNeverExceedsTheRecord) {
    auto r = FrameRecord::create();
    EXPECT_EQ(r->decodeMagnitudes(), std::vector<float>(8192, 0.0f));  // new record: 8192 zeros
    r->frameSize = 2048;
    r->zeroPaddingFactor = 0;
    EXPECT_EQ(r->binCount(), 8192);
    r->zeroPaddingFactor = 1;
    EXPECT_EQ(r->binCount(), 1024);
    EXPECT_EQ(r->unknownPhases(), std::vector<float>(1024, 4660.0f));
    r->frameSize = 4096;
    r->zeroPaddingFactor = 4;
    EXPECT_EQ(r->binCount(), 8192);
    r->frameSize = 65535;  // the product overflows 32 bits and exceeds the record
    r->zeroPaddingFactor = 65535;
    EXPECT_EQ(r->binCount(), 8192);
    EXPECT_EQ(r->binFrequency(8192), 0.0f);
    EXPECT_EQ(r->binFrequency(-1), 0.0f);
}

TEST(FrameRecordHelpers, NearestPeakBinPicksTheClosestEarlierEntry) {
    auto r = smallValidRecord();
    r->frequencyScale = 65535.0f;  // frequency code = Hz
    const std::uint16_t hz[8] = {0, 100, 200, 300, 400, 500, 600, 700};
    for (int k = 0; k < 8; ++k) r->bins[k].frequency = hz[k];
    EXPECT_EQ(r->nearestPeakBin(450.0f), 0);  // empty peak list: every entry is bin 0 at 0 Hz
    r->peakBins[0] = 2;
    r->peakBins[1] = 4;
    r->peakBins[2] = 6;
    for (int j = 3; j < 254; ++j) r->peakBins[j] = 6;
    r->peakBins[254] = 7;  // entry 254 is not a peak
    EXPECT_EQ(r->nearestPeakBin(330.0f), 4);
    EXPECT_EQ(r->nearestPeakBin(300.0f), 2);  // tie between 200 and 400 Hz keeps the earlier entry
    EXPECT_EQ(r->nearestPeakBin(9000.0f), 6);
    r->peakBins[1] = 60000;  // damaged entry outside the bins is skipped
    EXPECT_EQ(r->nearestPeakBin(390.0f), 2);
    EXPECT_EQ(r->nearestPeakBin(3e10f), 0);  // nothing within 1e10 Hz
}
