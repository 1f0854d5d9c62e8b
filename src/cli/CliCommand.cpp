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

void CliCommand::fail(const std::string& message) {
    std::string line = message;
    std::replace(line.begin(), line.end(), '\n', ' ');
    for (std::size_t at; (at = line.find("  ")) != std::string::npos;) line.erase(at, 1);
    std::fprintf(stderr, "orvex-cli: %s\n", line.c_str());
}

}  // namespace orvex::cli
