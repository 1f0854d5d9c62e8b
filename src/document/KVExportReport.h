#pragma once

#include <string>
#include <vector>

#include "common/Result.h"
#include "common/Types.h"
#include "engine/KVExportWriter.h"

namespace orvex {

// How one export of a document ended: what it wrote, what that means to the user and how many
// samples it could not store as they were, for the window's status line and orvex-cli's warnings.
struct KVExportReport {
    enum class Kind { Segment, Stems, Master };

    Kind kind = Kind::Segment;
    KVExportWriter::Outcome outcome = KVExportWriter::Outcome::Written;
    Result result = Result::success();
    // The files the export writes, in order (the selection stem before the rest stem).
    std::vector<std::string> paths;
    // Samples clipped to the file's range (of the stems: the selection's).
    FrameCount clippedSamples = 0;
    // Rest samples of the stems outside the 24-bit range, where the stems differ from the source.
    FrameCount unstorableSamples = 0;

    // Whether the files are there: written whole, or a cancelled segment or master export that
    // keeps the blocks written so far (cancelled stems leave nothing).
    bool leftFiles() const;
    // One sentence per count that is not zero, for files that were left; none otherwise.
    std::vector<std::string> clippingSentences() const;
    // Those sentences joined by "; " ("" when there are none).
    std::string clippingText() const;
};

}  // namespace orvex
