#include "CliCommand.h"
#include "CliDocument.h"

namespace orvex::cli {

namespace {

struct ExportOptions {
    std::string file, output;
    bool segment = false, master = false;
};

int runExport(const ExportOptions& options) {
    if (options.segment == options.master) {
        CliCommand::fail("Choose one of --segment and --master");
        return 2;
    }
    auto document = CliDocument::open(options.file);
    if (!document) return 1;
    if (options.master) return document->exportMaster(options.output) ? 0 : 1;
    if (!document->openStoredAnalysis()) return 1;
    return document->exportSegment(options.output) ? 0 : 1;
}

void setupExport(CLI::App& app, int& exitCode) {
    auto options = std::make_shared<ExportOptions>();
    CLI::App* command = app.add_subcommand("export", "Export the selection of the segment or the whole master");
    command->add_option("FILE", options->file, "Sound file")->required();
    command->add_option("OUT", options->output, "Output WAVE file")->required();
    command->add_flag("--segment", options->segment, "The rendered selection of the analysed segment");
    command->add_flag("--master", options->master, "The whole master output");
    command->callback([options, &exitCode] { exitCode = runExport(*options); });
}

const CliCommand::Registration registration("export", setupExport);

}  // namespace

}  // namespace orvex::cli
