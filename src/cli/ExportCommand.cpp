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
        return CliCommand::kArgumentError;
    }
    auto document = CliDocument::open(options.file);
    if (!document || !document->outputAllowed(options.output, true)) return 1;
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
