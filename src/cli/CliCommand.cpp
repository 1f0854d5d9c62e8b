#include "CliCommand.h"

#include <algorithm>
#include <cstdio>

#include "audiofile/KVAudioFileWriter.h"

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
    try {
        CLI::App app{"Orvex spectral editor, command-line front end"};
        app.require_subcommand(1);
        app.fallthrough();  // --verbose after the command's own arguments too
        bool verbose = false;
        app.add_flag("--verbose", verbose, "Also print the file writer's low-level diagnostics");
        app.parse_complete_callback([&verbose] { KVAudioFileWriter::setDiagnostics(verbose); });
        int exitCode = 0;
        for (const auto& [name, setup] : all()) setup(app, exitCode);
        try {
            app.parse(argc, argv);
        } catch (const CLI::Success& e) {
            return app.exit(e);  // --help
        } catch (const CLI::ParseError& e) {
            fail(std::string(e.what()) + " (orvex-cli --help lists the commands and their options)");
            return kArgumentError;
        }
        return exitCode;
    } catch (const std::exception& e) {
        // Nothing is meant to arrive here; whatever does is still one line and a failure.
        fail(std::string("unexpected failure: ") + e.what());
    } catch (...) {
        fail("unexpected failure");
    }
    return 1;
}

void CliCommand::fail(const std::string& message) {
    std::string line = message;
    std::replace(line.begin(), line.end(), '\n', ' ');
    for (std::size_t at; (at = line.find("  ")) != std::string::npos;) line.erase(at, 1);
    std::fprintf(stderr, "orvex-cli: %s\n", line.c_str());
}

}  // namespace orvex::cli
