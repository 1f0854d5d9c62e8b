#include "application/AppVersion.h"

#include <sys/utsname.h>

namespace orvex {

namespace {
constexpr const char* kEdition = "Retail";
}  // namespace

std::string AppVersion::string() { return ORVEX_VERSION_STRING; }

std::int64_t AppVersion::number() { return ORVEX_VERSION_NUMBER; }

std::string AppVersion::architectureFamily(const std::string& machine) {
    if (machine == "x86_64" || machine == "amd64") return "x86";
    if (machine.size() == 4 && machine[0] == 'i' && machine.substr(2) == "86") return "x86";
    if (machine == "aarch64" || machine == "arm64" || machine.rfind("arm", 0) == 0) return "arm";
    return machine;
}

std::string AppVersion::machineArchitecture() {
    utsname names{};
    if (uname(&names) != 0) return "unknown";
    return architectureFamily(names.machine);
}

std::string AppVersion::splashText(const std::string& version, const std::string& architecture) {
    const std::string bits = std::to_string(sizeof(void*) * 8) + "bit";
    return "v" + version + " (" + architecture + "/" + bits + "/" + kEdition + ")";
}

std::string AppVersion::splashText() { return splashText(string(), machineArchitecture()); }

}  // namespace orvex
