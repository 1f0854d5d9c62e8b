#include "CliCommand.h"
#include "CliDocument.h"

namespace orvex::cli {

namespace {

int runResetMaster(const std::string& file) {
    auto document = CliDocument::open(file);
    if (!document) return 1;
    if (!document->resetMaster()) return 1;
    std::printf("reset the master of %s: every committed edit dropped\n", document->workingPath().c_str());
    return 0;
}

void setupResetMaster(CLI::App& app, int& exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand("reset-master", "Drop every committed edit from the master output");
    command->add_option("FILE", *file, "Sound file")->required();
    command->callback([file, &exitCode] { exitCode = runResetMaster(*file); });
}

const CliCommand::Registration registration("reset-master", setupResetMaster);

}  // namespace

}  // namespace orvex::cli
