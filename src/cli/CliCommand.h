#pragma once

#include <CLI/CLI.hpp>

#include <functional>
#include <string>
#include <vector>

namespace orvex::cli {

// One orvex-cli subcommand. A command file defines its setup function and registers it with a
// file-level CliCommand::Registration; main() adds every registered command to the parser.
// The setup adds the subcommand to app and sets exitCode from its callback.
class CliCommand {
public:
    using Setup = std::function<void(CLI::App& app, int& exitCode)>;

    struct Registration {
        Registration(std::string name, Setup setup);
    };

    // Registered commands, sorted by name.
    static std::vector<std::pair<std::string, Setup>> all();

    // Exit code of every argument error: a malformed command line, values that contradict each
    // other (an end before its start) or lie outside the file or the analysed segment.
    static constexpr int kArgumentError = 2;

    // Parses the command line (argv[0] the program), runs the chosen command and returns the
    // exit code: 0 done, 1 the command failed (anything unexpected included, as one line),
    // kArgumentError for an argument error. The caller installs a headless platform on this
    // thread first.
    static int run(int argc, const char* const* argv);

    // Prints "orvex-cli: <message>" on standard error as one line (line breaks become spaces).
    static void fail(const std::string& message);
};

}  // namespace orvex::cli
