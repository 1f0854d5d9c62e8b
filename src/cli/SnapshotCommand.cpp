#include <algorithm>
#include <cmath>
#include <memory>

#include "CliCommand.h"
#include "CliDocument.h"
#include "CliPicture.h"
#include "dsp/DisplayColumn.h"
#include "engine/KVAnalysisController.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex::cli {

namespace {

// Pictures wider than this show every n-th frame.
constexpr FrameCount kMaximumWidth = 8000;

struct SnapshotOptions {
    std::string file, output;
    bool tracks = false, selection = false;
};

// The red layer's value of a cell, 0 for a transparent cell (full contrast).
int redValue(const DisplayColumnRow& row) {
    const double v = 255.0 * std::sqrt((row.red + row.green + row.blue) / 765.0);
    return v > 0.0 ? std::min(255, static_cast<int>(v)) : 0;
}

// Column x of the picture from the stored display columns: the analysis layer in colour, and
// with a selection its cells in red over it. Cell r is row r above the bottom row.
void drawColumn(CliPicture& picture, int x, const DisplayColumn& original, const DisplayColumn* selected) {
    for (int r = 0; r < kDisplayRowCount; ++r) {
        const int y = kDisplayRowCount - 1 - r;
        const DisplayColumnRow& cell = original.rows[r];
        picture.setPixel(x, y, cell.red, cell.green, cell.blue);
        if (!selected) continue;
        if (const int red = redValue(selected->rows[r]); red > 0) picture.setPixel(x, y, std::uint8_t(red), 0, 0);
    }
}

int runSnapshot(const SnapshotOptions& options) {
    if (!CliPicture::hasKnownFormat(options.output)) {
        CliCommand::fail("The picture's name must end in .png, .tif or .tiff: " + options.output);
        return 2;
    }
    auto document = CliDocument::open(options.file);
    if (!document || !document->openStoredAnalysis()) return 1;
    KVAnalysisFileSet& analysis = document->controller().analysisStore();
    KVAnalysisFileSet& selection = document->controller().store();
    const FrameCount frames = analysis.frameCount();
    const FrameCount step = std::max<FrameCount>(1, (frames + kMaximumWidth - 1) / kMaximumWidth);
    const int width = static_cast<int>(std::max<FrameCount>(1, frames / step));
    CliPicture picture(width, kDisplayRowCount);
    // The analysis layer shows the spectral columns, or with tracks the harmonic columns; the
    // selection layer always shows spectral columns.
    const DisplayColumnKind layer = options.tracks ? DisplayColumnKind::harmonic : DisplayColumnKind::spectral;
    auto original = DisplayColumn::create(false);
    auto selected = DisplayColumn::create(false);
    const bool withSelection = options.selection && selection.frameCount() > 0;
    for (int x = 0; x < width; ++x) {
        const FramePos frame = FramePos(x) * step;
        analysis.readDisplayColumns(original.get(), frame, 1, -1, layer);
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
    CLI::App* command =
        app.add_subcommand("snapshot", "Draw the analysis picture of the segment as a PNG or TIFF file");
    command->add_option("FILE", options->file, "Sound file")->required();
    command->add_option("OUT", options->output, "Output picture: OUT.png, or OUT.tif/OUT.tiff (LZW)")->required();
    command->add_flag("--tracks", options->tracks, "Draw the harmonic tracks instead of the spectrum");
    command->add_flag("--selection", options->selection, "Draw the selection in red over the analysis");
    command->callback([options, &exitCode] { exitCode = runSnapshot(*options); });
}

const CliCommand::Registration registration("snapshot", setupSnapshot);

}  // namespace

}  // namespace orvex::cli
