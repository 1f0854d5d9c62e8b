#include "support/Shell.h"

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>

namespace orvex::test {

std::string runCommand(const std::string& command, int* exitCode) {
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) {
        if (exitCode) *exitCode = -1;
        return output;
    }
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, got);
    const int status = ::pclose(pipe);
    if (exitCode) *exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

bool haveTool(const std::string& name) {
    int code = 0;
    runCommand("command -v " + name + " >/dev/null 2>&1", &code);
    return code == 0;
}

std::string plistText(const std::string& path) {
    return runCommand("python3 -c \"import plistlib,sys; d=plistlib.load(open(sys.argv[1],'rb'));"
                      "print(' '.join(k+'='+str(d[k]) for k in sorted(d)))\" '" + path + "'");
}

std::vector<char> fileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), {});
}

void flipByte(const std::string& path, std::size_t offset) {
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.seekg(static_cast<std::streamoff>(offset));
    char byte = 0;
    file.read(&byte, 1);
    byte = static_cast<char>(byte ^ 0x50);
    file.seekp(static_cast<std::streamoff>(offset));
    file.write(&byte, 1);
}

}  // namespace orvex::test
