#include <algorithm>
#include <cmath>
#include <memory>

#include "CliCommand.h"
#include "CliDocument.h"
#include "dsp/DisplayColumn.h"
#include "engine/KVAnalysisController.h"
#include "picture/DisplayBitmap.h"
#include "picture/DisplayGeometry.h"
#include "picture/LayerPixels.h"
#include "picture/PictureFile.h"
#include "store/KVAnalysisFileSet.h"

namespace orvex::cli {

namespace {

// Pictures wider than this show every n-th frame.
constexpr FrameCount kMaximumWidth = 8000;

struct SnapshotOptions {
    std::string file, output;
    bool tracks = false, selection = false;
};

// Column x of the picture from the stored display columns: the analysis layer in colour, and
// with a selection its cells in red laid over it, by the analysis view's pixel rules at contrast 1.
void drawColumn(DisplayBitmap& picture, int x, const DisplayColumn& original, const DisplayColumn* selected) {
    LayerPixels(LayerPixels::Mode::colour, 1.0f).render(&original, 1, display::CellRange{}, picture, x);
    if (!selected) return;
    const LayerPixels red(LayerPixels::Mode::red, 1.0f);
    for (int cell = 0; cell < kDisplayRowCount; ++cell)
        if (const std::uint32_t pixel = red(selected->rows[cell]); pixel != 0)
            picture.row(display::bitmapRowOfCell(cell))[x] = pixel;
}

int runSnapshot(const SnapshotOptions& options) {
    if (!PictureFile::hasKnownFormat(options.output)) {
        CliCommand::fail("The picture's name must end in .png, .tif or .tiff: " + options.output);
        return CliCommand::kArgumentError;
    }
    auto document = CliDocument::open(options.file);
    if (!document || !document->outputAllowed(options.output, false) || !document->openStoredAnalysis()) return 1;
    KVAnalysisFileSet& analysis = document->controller().analysisStore();
    KVAnalysisFileSet& selection = document->controller().store();
    const FrameCount frames = analysis.frameCount();
    const FrameCount step = std::max<FrameCount>(1, (frames + kMaximumWidth - 1) / kMaximumWidth);
    const int width = static_cast<int>(std::max<FrameCount>(1, frames / step));
    DisplayBitmap picture(width, kDisplayRowCount);
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
    if (!PictureFile::fromBitmap(picture).writeToPath(options.output)) {
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
