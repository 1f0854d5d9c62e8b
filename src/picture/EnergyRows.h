#pragma once

namespace orvex {

class KVAnalysisFileSet;

// Where the sound of an analysis lies in its picture: the row below which half of the brightness
// of a sample of its display columns lies, for the view to open centred on the music instead of
// at its lowest rows. Reads a few columns of the mix; any thread, under the store's own lock.
class EnergyRows {
public:
    // Columns read, spread evenly over the frames stored.
    static constexpr int kSampledColumns = 24;

    // The median row of brightness, or -1 when the store holds no frame or only dark ones.
    static int medianRow(KVAnalysisFileSet& store);
};

}  // namespace orvex
