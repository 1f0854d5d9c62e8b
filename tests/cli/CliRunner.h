#pragma once

// Runs the built orvex-cli program as a separate process, the way a shell script drives it.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <unistd.h>

#include "CliCommand.h"
#include "support/SoundFixtures.h"

namespace orvex::test {

struct CliRun {
    int exitCode = -1;
    std::string out, err;
};

inline std::string cliProgram() {
    return (std::filesystem::path(ORVEX_BINARY_DIR_PATH) / "src/cli/orvex-cli").string();
}

// orvex-cli with arguments (quoted by the caller). Standard error passes through a file of the
// system's temporary folder, which an unprivileged child can write as well.
inline CliRun runCli(const std::string& arguments) {
    const std::string errPath =
        (std::filesystem::temp_directory_path() / ("orvex-cli-err-" + std::to_string(::getpid()))).string();
    CliRun run;
    run.out = runCommand("'" + cliProgram() + "' " + arguments + " 2>'" + errPath + "'", &run.exitCode);
    std::ifstream in(errPath);
    run.err.assign(std::istreambuf_iterator<char>(in), {});
    in.close();
    std::filesystem::remove(errPath);
    return run;
}

// orvex-cli's command line run in this process: the exit code; standard output is dropped and
// standard error kept in err.
inline int runInProcess(std::vector<std::string> arguments, std::string& err) {
    arguments.insert(arguments.begin(), "orvex-cli");
    std::vector<const char*> argv;
    for (const std::string& argument : arguments) argv.push_back(argument.c_str());
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const int exitCode = cli::CliCommand::run(static_cast<int>(argv.size()), argv.data());
    testing::internal::GetCapturedStdout();
    err = testing::internal::GetCapturedStderr();
    return exitCode;
}

// The error line: "orvex-cli: ..." as the last line of standard error, after any progress.
inline std::string errorLine(const std::string& err) {
    const auto at = err.rfind("orvex-cli: ");
    if (at == std::string::npos) return "";
    const std::string line = err.substr(at);
    EXPECT_EQ(line.find('\n'), line.size() - 1) << line;
    return line;
}

}  // namespace orvex::test
