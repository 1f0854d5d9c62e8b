#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <vector>

#include "dsp/FrameRecord.h"

namespace orvex::test {

// Stored analysis records compared the way two analyses of one sound differ when their sums
// run in another order: every field within float rounding or one quantisation step.

// The records of a stream file (.ana.noindex), stored back to back.
std::vector<FrameRecord> readRecords(const std::filesystem::path& path);

// Peaks of one record and not of the other, apart from a peak on one of two neighbouring bins
// whose magnitudes are the same to within one step (which of the two is higher is rounding).
int peaksApart(const FrameRecord& a, const FrameRecord& b);

// Header fields equal, or within float rounding; the same warp (a fatal failure otherwise);
// every magnitude code within one step; phases within 2.5 steps where the bin is above -60 dB
// of the record's strongest (below that the phase of a near-zero value is rounding noise); the
// frequencies of the peaks within one step of the record's frequency scale.
void expectSameAnalysis(const FrameRecord& a, const FrameRecord& b, const std::string& where);

// Two whole streams: the same number of records, at least fewestRecords of them (fatal
// failures otherwise), every frame as expectSameAnalysis, stopping at the first frame that
// differs. Picking a peak is a threshold decision that rounding can tip, rarely: a frame may
// have one peak more or less, in at most one frame of 200.
void expectSameStream(const std::vector<FrameRecord>& a, const std::vector<FrameRecord>& b, const std::string& stream,
                      std::size_t fewestRecords);

}  // namespace orvex::test
