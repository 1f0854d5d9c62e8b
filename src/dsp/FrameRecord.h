#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "common/AnalysisConstants.h"

namespace orvex {

// Marks a bin whose phase is not stored; synthesis then regenerates the phase from the frequency.
inline constexpr float kPhaseUnknown = 4660.0f;

// Fixed values of the stored record.
inline constexpr std::uint32_t kFrameRecordSize = 50228;
inline constexpr std::uint16_t kFrameRecordVersion = 259;
inline constexpr int kFrameRecordMaxBins = kAnalysisBins;
// Peak list and region bounds hold 256 slots, of which entries 0..254 are used.
inline constexpr int kFrameRecordPeakSlots = 256;
inline constexpr int kFrameRecordMaxPeaks = kAnalysisMaxPeaks;
// Smallest frequency and magnitude scale the encoder stores.
inline constexpr float kFrameRecordMinScale = 0.001f;

// Quantised values of one bin, in stored order.
struct __attribute__((packed, aligned(2))) FrameBinCodes {
    std::uint16_t frequency;
    std::uint16_t magnitude;
    std::uint16_t phase;
};
static_assert(sizeof(FrameBinCodes) == 6);

// One analysed frame: the unit the analysis writes, the store keeps byte-for-byte, the editing
// operations reshape and synthesis plays. Little-endian, no padding; the in-memory record is
// the stored record. Frequencies and magnitudes are stored as 16-bit fractions of a per-record
// scale, phases as 16-bit fractions of [-pi, pi] with code 0 meaning "unknown".
// Not synchronised: a record belongs to one thread at a time.
struct __attribute__((packed, aligned(4))) FrameRecord {
    std::uint32_t size;                 // kFrameRecordSize
    std::int32_t frameIndex;            // -1 unless the store tags an undo copy with its frame
    std::uint16_t version;              // kFrameRecordVersion
    std::uint16_t reserved0;
    float noisiness;                    // 0..1
    float warpFactor;                   // signed chirp factor of the analysis, 1.0 = none
    float minimumSample;                // lowest windowed (or synthesised) sample, <= 0
    float maximumSample;                // highest, >= 0
    float fundamental;                  // Hz; 0 unless set by harmonic processing
    float frequencyScale;               // >= kFrameRecordMinScale
    float magnitudeScale;               // >= kFrameRecordMinScale
    std::uint16_t zeroPaddingFactor;    // P of the analysis
    std::uint16_t overlap;
    std::uint16_t frameSize;            // N of the analysis
    std::uint16_t valid;                // 1 = holds analysis data, 0 = empty
    std::uint16_t regeneratePhases;     // nonzero = synthesis ignores stored phases
    std::uint16_t reserved1;
    std::uint16_t peakBins[kFrameRecordPeakSlots];      // ascending; entry 255 stays 0
    std::uint16_t regionBounds[kFrameRecordPeakSlots];  // entry 255 stays 0
    FrameBinCodes bins[kFrameRecordMaxBins];            // bins from binCount() on stay 0

    // A new record with the default header: all zero except size, frame index -1, version,
    // both scales 1.0.
    static std::unique_ptr<FrameRecord> create();
    // Puts this record back into the state create() returns.
    void reset();
    // All bytes.
    static void copy(const FrameRecord& from, FrameRecord& to);
    // Size, noisiness, warp factor, sample range, fundamental, P, overlap, N, valid and
    // regenerate-phases only; not version, frame index, scales, peaks, regions or bins.
    static void copyHeader(const FrameRecord& from, FrameRecord& to);

    // B = P x N / 2; 8192 when that is 0. Never more than 8192 (a header claiming more bins
    // than the record holds is limited to what it holds).
    int binCount() const;

    // Decoded values of bins 0 .. B-1 (all 0 when the record is not valid).
    std::vector<float> decodeMagnitudes() const;
    std::vector<float> decodeFrequencies() const;
    std::vector<float> decodePhases() const;
    // The same into a caller buffer, which is cleared first; at most buffer.size() bins are
    // written.
    void decodeMagnitudesInto(std::span<float> buffer) const;
    void decodeFrequenciesInto(std::span<float> buffer) const;
    void decodePhasesInto(std::span<float> buffer) const;
    // B entries of kPhaseUnknown.
    std::vector<float> unknownPhases() const;

    // One decoded value; 0 for a bin outside the record. Not gated on the valid field.
    float binFrequency(int bin) const;
    float binMagnitude(int bin) const;
    float binPhase(int bin) const;

    // Stores bins 0 .. min(B, input length) - 1 with fresh scales. The magnitude and frequency
    // inputs are modified: negative (and non-finite) values are set to 0 before the scales are
    // taken.
    void encode(std::span<float> magnitudes, std::span<float> frequencies, std::span<const float> phases);
    void encodeMagnitudesAndFrequencies(std::span<float> magnitudes, std::span<float> frequencies);
    void encodeMagnitudes(std::span<float> magnitudes);

    // Among peak entries 0..253, the bin whose decoded frequency is closest to the given one;
    // ties keep the earlier entry; 0 when there is none.
    int nearestPeakBin(float frequency) const;

    // s[0] = 0, s[k] = |f[k] - f[k-1]| x B / 22050 over decoded frequencies; all 0 when the
    // record is not valid. Small values mark steady (tonal) bins.
    std::vector<float> frequencyStability() const;

    // The quantisation rules, exposed for callers that work on codes directly.
    static std::uint16_t encodeScaled(float value, float scale);
    static float decodeScaled(std::uint16_t code, float scale);
    static std::uint16_t encodePhase(float phase);
    static float decodePhase(std::uint16_t code);
};

static_assert(std::endian::native == std::endian::little, "frame records are stored little-endian as they lie in memory");
static_assert(sizeof(FrameRecord) == 50228);
static_assert(offsetof(FrameRecord, size) == 0);
static_assert(offsetof(FrameRecord, frameIndex) == 4);
static_assert(offsetof(FrameRecord, version) == 8);
static_assert(offsetof(FrameRecord, reserved0) == 10);
static_assert(offsetof(FrameRecord, noisiness) == 12);
static_assert(offsetof(FrameRecord, warpFactor) == 16);
static_assert(offsetof(FrameRecord, minimumSample) == 20);
static_assert(offsetof(FrameRecord, maximumSample) == 24);
static_assert(offsetof(FrameRecord, fundamental) == 28);
static_assert(offsetof(FrameRecord, frequencyScale) == 32);
static_assert(offsetof(FrameRecord, magnitudeScale) == 36);
static_assert(offsetof(FrameRecord, zeroPaddingFactor) == 40);
static_assert(offsetof(FrameRecord, overlap) == 42);
static_assert(offsetof(FrameRecord, frameSize) == 44);
static_assert(offsetof(FrameRecord, valid) == 46);
static_assert(offsetof(FrameRecord, regeneratePhases) == 48);
static_assert(offsetof(FrameRecord, reserved1) == 50);
static_assert(offsetof(FrameRecord, peakBins) == 52);
static_assert(offsetof(FrameRecord, regionBounds) == 564);
static_assert(offsetof(FrameRecord, bins) == 1076);
static_assert(offsetof(FrameBinCodes, frequency) == 0);
static_assert(offsetof(FrameBinCodes, magnitude) == 2);
static_assert(offsetof(FrameBinCodes, phase) == 4);

}  // namespace orvex
