#pragma once

#include <cstdint>

namespace orvex {

// The one analysis every part shares. The working audio runs at 44.1 kHz; a frame of 4096
// samples every 128 samples is transformed with four times zero padding, so a record holds at
// most 8192 bins and 254 peaks; the stored picture has 1500 rows of six per semitone from
// MIDI note 0. Records, pictures and chunk files are laid out by these numbers: changing one
// makes every stored analysis unreadable.
inline constexpr double kWorkingSampleRate = 44100.0;
inline constexpr std::int64_t kAnalysisHop = 128;
inline constexpr std::int64_t kAnalysisFrameSize = 4096;
inline constexpr std::int64_t kAnalysisZeroPadding = 4;
inline constexpr int kAnalysisBins = 8192;
inline constexpr int kAnalysisMaxPeaks = 254;
inline constexpr int kPictureRows = 1500;
inline constexpr int kPictureRowsPerSemitone = 6;

}  // namespace orvex
