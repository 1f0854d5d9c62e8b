#pragma once

#include <string>

#include "common/Types.h"

namespace orvex {

class KVGrainCollection;

// The master grains a commit is about to overwrite, kept in "commit.journal" beside the left
// master collection while the commit writes. A commit killed midway leaves the journal behind,
// and the next writable open of the master puts the saved grains back, so the master holds
// every grain of a commit or none of it. The journal appears whole or not at all (written
// under a temporary name, pushed to the disk and renamed).
// Not synchronised: the caller holds the lock that orders the master's writes.
class MasterCommitJournal {
public:
    MasterCommitJournal() = delete;

    // Saves records [first, first + count) of both collections; false when it cannot (reason,
    // when given, then holds the system's reason).
    static bool save(KVGrainCollection& left, KVGrainCollection& right, FramePos first, FrameCount count,
                     std::string* reason = nullptr);
    // The commit is whole: pushes both collections to the disk and removes the journal. False
    // when the system reports that written grains were lost: the journal then stays, for the
    // caller to take the commit back with rollBack() (or for the next open to do it).
    static bool close(KVGrainCollection& left, KVGrainCollection& right);
    // Writes back the grains of a journal left by an unfinished commit and removes it (and
    // any journal torn before its rename). True when grains were put back. A whole journal
    // whose grains cannot all be written back (a full disk) stays for the next open; false, and
    // the failure is the collections' writeFailure().
    static bool rollBack(KVGrainCollection& left, KVGrainCollection& right);
};

}  // namespace orvex
