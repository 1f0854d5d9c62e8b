#pragma once

#include <string>

#include "common/Result.h"

namespace orvex {

// The failures the analysis store meets, reported through the FailureChannel for the document
// to show. Callable from any thread: reporting never waits for the main thread.
class StoreFailures {
public:
    StoreFailures() = delete;

    // "Error creating file" for a data file that cannot be created.
    static void cannotCreateFile(const std::string& path);
    // A rejected write, titled by the kind of file ("Error writing to data file", ...), with
    // the platform's reason.
    static void writeFailed(const std::string& title, const std::string& reason);
    // The folder's dictionary is of another version: the analysis, or the master, starts afresh.
    static void incompatibleAnalysis();
    static void incompatibleMaster();
};

}  // namespace orvex
