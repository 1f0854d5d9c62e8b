#include <algorithm>
#include <cmath>
#include <memory>

#include "CliCommand.h"
#include "CliDocument.h"
#include "CliPngWriter.h"
#include "dsp/DisplayColumn.h"
#include "engine/KVAnalysisController.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex::cli {

namespace {

// Pictures wider than this show every n-th frame.
constexpr FrameCount kMaximumWidth = 8000;

struct SnapshotOptions {
    std::string file, output;
    bool selection = false;
};

// The red layer's value of a cell, 0 for a transparent cell (full contrast).
int redValue(const DisplayColumnRow& row) {
    const double v = 255.0 * std::sqrt((row.red + row.green + row.blue) / 765.0);
    return v > 0.0 ? std::min(255, static_cast<int>(v)) : 0;
}

// Column x of the picture from the stored spectral display columns: the analysis in colour,
// and with a selection its cells in red over it.
void drawColumn(CliPngWriter& picture, int x, const DisplayColumn& original, const DisplayColumn* selected) {
    for (int r = 0; r < kDisplayRowCount; ++r) {
        const int y = kDisplayRowCount - 1 - r;
        const DisplayColumnRow& cell = original.rows[r];
        picture.setPixel(x, y, cell.red, cell.green, cell.blue);
        if (!selected) continue;
        if (const int red = redValue(selected->rows[r]); red > 0) picture.setPixel(x, y, std::uint8_t(red), 0, 0);
    }
}

int runSnapshot(const SnapshotOptions& options) {
    auto document = CliDocument::open(options.file);
    if (!document || !document->openStoredAnalysis()) return 1;
    KVAnalysisFileSet& analysis = document->controller().analysisStore();
    KVAnalysisFileSet& selection = document->controller().store();
    const FrameCount frames = analysis.frameCount();
    const FrameCount step = std::max<FrameCount>(1, (frames + kMaximumWidth - 1) / kMaximumWidth);
    const int width = static_cast<int>(std::max<FrameCount>(1, frames / step));
    CliPngWriter picture(width, kDisplayRowCount);
    auto original = DisplayColumn::create(false);
    auto selected = DisplayColumn::create(false);
    const bool withSelection = options.selection && selection.frameCount() > 0;
    for (int x = 0; x < width; ++x) {
        const FramePos frame = FramePos(x) * step;
        analysis.readDisplayColumns(original.get(), frame, 1, -1, DisplayColumnKind::spectral);
        const bool selectedHere =
            withSelection && selection.readDisplayColumns(selected.get(), frame, 1, -1, DisplayColumnKind::spectral) == 1;
        drawColumn(picture, x, *original, selectedHere ? selected.get() : nullptr);
    }
    if (!picture.writeToPath(options.output)) {
        CliCommand::fail("The picture could not be written to " + options.output);
        return 1;
    }
    std::printf("wrote %s (%d x %d)\n", options.output.c_str(), width, kDisplayRowCount);
    return 0;
}

void setupSnapshot(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<SnapshotOptions>();
    CLI::App* command = app.add_subcommand("snapshot", "Draw the analysis picture of the segment as a PNG file");
    command->add_option("FILE", options->file, "Sound file")->required();
    command->add_option("OUT", options->output, "Output PNG file")->required();
    command->add_flag("--selection", options->selection, "Draw the selection in red over the analysis");
    command->callback([options, &exitCode] { exitCode = runSnapshot(*options); });
}

const CliCommand::Registration registration("snapshot", setupSnapshot);

}  // namespace

}  // namespace orvex::cli
