#include "CliCommand.h"

#include <algorithm>
#include <cstdio>

namespace orvex::cli {

namespace {

std::vector<std::pair<std::string, CliCommand::Setup>>& registry() {
    static std::vector<std::pair<std::string, CliCommand::Setup>> commands;
    return commands;
}

}  // namespace

CliCommand::Registration::Registration(std::string name, Setup setup) {
    registry().emplace_back(std::move(name), std::move(setup));
}

std::vector<std::pair<std::string, CliCommand::Setup>> CliCommand::all() {
    auto commands = registry();
    std::sort(commands.begin(), commands.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    return commands;
}

int CliCommand::run(int argc, const char* const* argv) {
    CLI::App app{"Orvex spectral editor, command-line front end"};
    app.require_subcommand(1);
    int exitCode = 0;
    for (const auto& [name, setup] : all()) setup(app, exitCode);
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        return app.exit(e);
    }
    return exitCode;
}

void CliCommand::fail(const std::string& message) {
    std::string line = message;
    std::replace(line.begin(), line.end(), '\n', ' ');
    for (std::size_t at; (at = line.find("  ")) != std::string::npos;) line.erase(at, 1);
    std::fprintf(stderr, "orvex-cli: %s\n", line.c_str());
}

}  // namespace orvex::cli
