#pragma once

#include <string>
#include <vector>

namespace orvex {

// Where an export, a converted copy or a picture may be written, and the temporary names it is
// written under first. An output goes to a new path or replaces an existing regular file
// (written beside it under a temporary name, then renamed onto it); it is never one of the
// files being worked on and never lies inside an analysis folder ("*.analysis").
class KVOutputTarget {
public:
    KVOutputTarget() = delete;

    // Why path may not receive an output, as one sentence naming it; empty when it may.
    // protectedFiles are compared by identity (a hard link or another spelling counts too).
    static std::string refusalFor(const std::string& path, const std::vector<std::string>& protectedFiles);

    // Why an output could not be created at path, as one sentence naming it: a refusal above,
    // a missing folder, or the system's reason for a new file in the folder (permission denied,
    // a read-only volume, a full disk), found by creating a probe file there.
    static std::string creationProblem(const std::string& path);
    // The errno of creating a new file in folder, or 0 when a file can be created there.
    static int creationErrorIn(const std::string& folder);

    // The temporary name for target while this process writes it: ".NAME.partial-PID" beside it.
    static std::string partialPathFor(const std::string& target);
    // Removes the temporary files in folder that processes no longer running left behind.
    // Returns how many were removed.
    static int removeStalePartials(const std::string& folder);
    // The same in folder and every folder below it (an analysis folder holds the selection's).
    static int removeStalePartialsBelow(const std::string& folder);
};

}  // namespace orvex
