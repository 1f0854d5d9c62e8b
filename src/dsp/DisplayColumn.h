#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "common/AnalysisConstants.h"

namespace orvex {

struct FrameRecord;

inline constexpr std::uint32_t kDisplayColumnSize = 12016;
inline constexpr int kDisplayRowCount = kPictureRows;

// Kinds of stored display column, as the store and the view number them.
enum class DisplayColumnKind : int { spectral = 0, harmonic = 1 };

// One row of a display column: a colour with alpha, then four unused bytes.
struct __attribute__((packed, aligned(4))) DisplayColumnRow {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t alpha;
    std::uint8_t reserved[4];
};
static_assert(sizeof(DisplayColumnRow) == 8);
static_assert(offsetof(DisplayColumnRow, red) == 0);
static_assert(offsetof(DisplayColumnRow, green) == 1);
static_assert(offsetof(DisplayColumnRow, blue) == 2);
static_assert(offsetof(DisplayColumnRow, alpha) == 3);
static_assert(offsetof(DisplayColumnRow, reserved) == 4);

// One pixel column of a pitch-ordered picture of a frame: row r stands for r / 6 semitones
// above MIDI note 0. Stored by the analysis store as it lies in memory (little-endian).
// Built on whichever thread derives it; not shared while being built.
struct __attribute__((packed, aligned(4))) DisplayColumn {
    std::uint32_t size;      // kDisplayColumnSize
    std::uint32_t rowCount;  // kDisplayRowCount
    std::uint16_t valid;     // 1 when derived from a valid frame record
    std::uint16_t reserved0;
    std::uint32_t reserved1;
    DisplayColumnRow rows[kDisplayRowCount];  // untouched rows stay transparent black

    // A column with its header set and every row 0.
    static std::unique_ptr<DisplayColumn> create(bool valid);
};
static_assert(sizeof(DisplayColumn) == 12016);
static_assert(offsetof(DisplayColumn, size) == 0);
static_assert(offsetof(DisplayColumn, rowCount) == 4);
static_assert(offsetof(DisplayColumn, valid) == 8);
static_assert(offsetof(DisplayColumn, reserved0) == 10);
static_assert(offsetof(DisplayColumn, reserved1) == 12);
static_assert(offsetof(DisplayColumn, rows) == 16);

// Row of a frequency in sixths of a semitone above MIDI note 0 (440 Hz is row 414), clamped
// to 0 .. highestRow; frequencies at or below 0 land in row 0.
int displayRowOfFrequency(float frequency, int highestRow);

// Frequencies and magnitudes of bins first .. first + count - 1 (within the record's bin
// count), decoded exactly as the record decodes them but in vectorised loops.
void decodeDisplayBins(const FrameRecord& record, int first, int count, float* frequencies, float* magnitudes);

// Every bin of the record drawn at its pitch: brightness from magnitude (lifted towards high
// frequencies), steady bins yellow, unsteady bins blue; the brightest bin of a row wins.
std::unique_ptr<DisplayColumn> spectralColumn(const FrameRecord& record);

// Every peak of the record drawn as a bar about 0.02 x magnitude rows high at its pitch,
// coloured by the peaks that lie within 4 % of its harmonics.
std::unique_ptr<DisplayColumn> harmonicColumn(const FrameRecord& record);

}  // namespace orvex
