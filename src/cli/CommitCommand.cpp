#include "CliCommand.h"
#include "CliDocument.h"

namespace orvex::cli {

namespace {

int runCommit(const std::string& file) {
    auto document = CliDocument::open(file);
    if (!document || !document->openStoredAnalysis()) return 1;
    return document->commitEditToMaster() ? 0 : 1;
}

void setupCommit(CLI::App& app, int& exitCode) {
    auto file = std::make_shared<std::string>();
    CLI::App* command = app.add_subcommand("commit", "Write the selection into the master output at its segment");
    command->add_option("FILE", *file, "Sound file")->required();
    command->callback([file, &exitCode] { exitCode = runCommit(*file); });
}

const CliCommand::Registration registration("commit", setupCommit);

}  // namespace

}  // namespace orvex::cli
