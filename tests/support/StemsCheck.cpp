#include "support/StemsCheck.h"

#include <sstream>

#include "support/Shell.h"

namespace orvex::test {

std::int64_t StemsCheck::number(const std::string& key) const {
    const auto found = values.find(key);
    return found == values.end() ? -1 : std::stoll(found->second);
}

const std::string& StemsCheck::text(const std::string& key) const {
    static const std::string missing;
    const auto found = values.find(key);
    return found == values.end() ? missing : found->second;
}

StemsCheck checkStems(const std::string& source, const std::string& selection, const std::string& rest,
                      std::int64_t start, std::int64_t frames, const std::string& segment) {
    const std::string script = std::string(ORVEX_SOURCE_DIR_PATH) + "/tests/support/check_stems.py";
    const std::string python = haveTool("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
    std::string command = python + " '" + script + "' '" + source + "' '" + selection + "' '" + rest + "' " +
                          std::to_string(start) + " " + std::to_string(frames);
    if (!segment.empty()) command += " '" + segment + "'";
    StemsCheck check;
    int code = 0;
    check.output = runCommand(command + " 2>&1", &code);
    std::istringstream lines(check.output);
    for (std::string line; std::getline(lines, line);) {
        const auto equals = line.find('=');
        if (equals != std::string::npos) check.values[line.substr(0, equals)] = line.substr(equals + 1);
    }
    if (code == 0) check.values["ok"] = "1";
    return check;
}

}  // namespace orvex::test
