#include "CliCommand.h"
#include "CliDocument.h"
#include "engine/KVStemsExporter.h"

namespace orvex::cli {

namespace {

struct ExportOptions {
    std::string file, output;
    bool segment = false, master = false, stems = false;
};

// The stems go to two files named after OUT, which itself is not written.
int runStems(CliDocument& document, const std::string& output) {
    const KVStemsExporter::Paths paths = KVStemsExporter::pathsFor(output);
    if (!document.outputAllowed(paths.selection, true) || !document.outputAllowed(paths.rest, true)) return 1;
    if (!document.openStoredAnalysis() || !document.exportStems(output)) return 1;
    std::printf("exported the stems to %s and %s\n", paths.selection.c_str(), paths.rest.c_str());
    return 0;
}

int runExport(const ExportOptions& options) {
    if (int(options.segment) + int(options.master) + int(options.stems) != 1) {
        CliCommand::fail("Choose one of --segment, --master and --stems");
        return CliCommand::kArgumentError;
    }
    auto document = CliDocument::open(options.file);
    if (!document) return 1;
    if (options.stems) return runStems(*document, options.output);
    if (!document->outputAllowed(options.output, true)) return 1;
    if (options.master) {
        if (!document->exportMaster(options.output)) return 1;
    } else if (!document->openStoredAnalysis() || !document->exportSegment(options.output)) {
        return 1;
    }
    std::printf("exported the %s to %s\n", options.master ? "master" : "segment", options.output.c_str());
    return 0;
}

void setupExport(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command =
        app.add_subcommand("export", "Export the selection of the segment, its stems or the whole master");
    command->add_option("FILE", options->file, "Sound file")->required();
    command->add_option("OUT", options->output, "Output WAVE file")->required();
    command->add_flag("--segment", options->segment, "The rendered selection of the analysed segment");
    command->add_flag("--master", options->master, "The whole master output");
    command->add_flag("--stems", options->stems,
                      "The segment's selection and the rest of the file, as OUT-selection.wav and OUT-rest.wav");
    command->callback([options, &exitCode] { exitCode = runExport(*options); });
}

const CliCommand::Registration registration("export", setupExport);

}  // namespace

}  // namespace orvex::cli
