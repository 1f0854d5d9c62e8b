#include <CLI/CLI.hpp>

#include <memory>

#include "CliCommand.h"
#include "platform/HeadlessPlatform.h"

// orvex-cli COMMAND ...: the headless front end. Alerts are not echoed by the platform; each
// command reports what concerns the user in one line on standard error.
int main(int argc, char** argv) {
    auto platform = std::make_shared<orvex::HeadlessPlatform>();
    platform->setEchoAlerts(false);
    orvex::Platform::install(platform);

    CLI::App app{"Orvex spectral editor, command-line front end"};
    app.require_subcommand(1);
    int exitCode = 0;
    for (const auto& [name, setup] : orvex::cli::CliCommand::all()) setup(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return exitCode;
}
