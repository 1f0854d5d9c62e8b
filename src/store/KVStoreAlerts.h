#pragma once

#include <string>

namespace orvex {

// The alerts the analysis store shows through the platform. Callable from any thread.
class KVStoreAlerts {
public:
    KVStoreAlerts() = delete;

    // "Error creating file" for a data file that cannot be created.
    static void cannotCreateFile(const std::string& path);
    // A rejected write, titled by the kind of file ("Error writing to data file", ...), with
    // the platform's reason.
    static void writeFailed(const std::string& title, const std::string& reason);
};

}  // namespace orvex
