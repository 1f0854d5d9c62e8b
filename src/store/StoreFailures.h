#pragma once

#include <string>

#include "common/Result.h"

namespace orvex {

// The failures the analysis store meets. Creation and write failures are made as values for a
// store's WriteFailureLatch, which reports the first; the version mismatches are reported through
// the FailureChannel for the document to show. Callable from any thread: reporting never waits
// for the main thread.
class StoreFailures {
public:
    StoreFailures() = delete;

    // "Error creating file" for a data file that cannot be created.
    static Result cannotCreateFile(const std::string& path);
    // A rejected write, titled by the kind of file ("Error writing to data file", ...), with
    // the platform's reason.
    static Result writeFailed(const std::string& title, const std::string& reason);
    // A step whose writes failed could not be put back either: the failure that stopped the step,
    // saying that the next open of the file restores the selection.
    static Result stepNotRolledBack(const Result& failure);
    // What a write failure says after its standard opening: the platform's reason first
    // ("No space left on device"), then any note added to it, one a line. Another failure's
    // whole message.
    static std::string reasonOf(const Result& failure);
    // The folder's dictionary is of another version: the analysis, or the master, starts afresh.
    static void incompatibleAnalysis();
    static void incompatibleMaster();
};

}  // namespace orvex
