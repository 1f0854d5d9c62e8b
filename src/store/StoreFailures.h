#pragma once

#include <cstddef>
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
    // A data file of the store does not hold what was written to it: a record that does not
    // match its checksum, or records lost ("record 12 of mix_0.ana.noindex does not match its
    // checksum"). Titled "Damaged data file".
    static Result damagedData(const std::string& reason);
    static bool isDamage(const Result& failure);
    // "mxl.asp.noindex holds 544 of 1088 records": a data file shorter than what was written
    // to it, by its side file; empty when the file at dataPath holds every record it was given.
    static std::string lostRecords(const std::string& dataPath, std::size_t recordSize);
    // The folder's dictionary is of another version: the analysis, or the master, starts afresh.
    static void incompatibleAnalysis();
    static void incompatibleMaster();
};

}  // namespace orvex
