#include "CliCommand.h"
#include "CliDocument.h"
#include "CliNumberRange.h"
#include "CliSeparationOptions.h"
#include "document/SegmentEdits.h"
#include "engine/KVAnalysisController.h"

namespace orvex::cli {

namespace {

struct ProcessOptions {
    std::string file, keep, output;
    double start = 0.0, end = 0.0;
    CliSeparationOptions separation;
};

// Analyse the segment, keep its sustained or transient part and export it.
int runProcess(const ProcessOptions& options) {
    auto document = CliDocument::open(options.file);
    if (!document || !document->outputAllowed(options.output, true)) return 1;
    FramePos start = 0, end = 0;
    if (!document->resolveSegment(options.start, options.end, start, end)) return CliCommand::kArgumentError;
    if (!document->analyse(start, end, false)) return 1;
    document->controller().setSeparation(options.separation.settings());
    const EditorCommand keep =
        options.keep == "sustained" ? EditorCommand::DiscardTransients : EditorCommand::KeepTransients;
    if (!document->runAndWait(SegmentEdits::of(keep))) return 1;
    if (!document->exportSegment(options.output)) return 1;
    std::printf("wrote %s\n", options.output.c_str());
    return 0;
}

void setupProcess(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ProcessOptions>();
    CLI::App* command = app.add_subcommand("process", "Analyse a segment, keep one part of it and export it");
    command->add_option("FILE", options->file, "Sound file")->required();
    const CLI::Validator seconds = CliNumberRange::validator(CliNumberRange::Unit::Seconds);
    command->add_option("--start", options->start, "Segment start in seconds")->required()->check(seconds);
    command->add_option("--end", options->end, "Segment end in seconds")->required()->check(seconds);
    command->add_option("--keep", options->keep, "The part to keep")
        ->required()
        ->check(CLI::IsMember({"sustained", "transients"}));
    command->add_option("-o,--output", options->output, "Output WAVE file")->required();
    options->separation.addTo(command);
    command->callback([options, &exitCode] { exitCode = runProcess(*options); });
}

const CliCommand::Registration registration("process", setupProcess);

}  // namespace

}  // namespace orvex::cli
