#pragma once

#include <cstdint>
#include <string>

namespace orvex {

// The version of this build and the texts shown for it.
class AppVersion {
public:
    AppVersion() = delete;

    // The project version, e.g. "0.1.0".
    static std::string string();
    // The version as one number (major x 10000 + minor x 100 + patch), stored at quit under
    // "General_AppVersion" to tell the first launch of a version.
    static std::int64_t number();

    // The family of a machine name as uname reports it: "x86" for x86_64 and i386..i686,
    // "arm" for aarch64 and arm*, otherwise the name itself.
    static std::string architectureFamily(const std::string& machine);
    // The running machine's family (uname).
    static std::string machineArchitecture();

    // "v%@ (%@/%@/%@)" with version, architecture family, word size and edition,
    // e.g. "v0.1.0 (x86/64bit/Retail)".
    static std::string splashText(const std::string& version, const std::string& architecture);
    // The splash text of this build on this machine.
    static std::string splashText();
};

}  // namespace orvex
