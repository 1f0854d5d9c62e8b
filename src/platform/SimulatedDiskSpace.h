#pragma once

#include <cstdint>

namespace orvex {

// A test seam standing for a disk that holds only so many more bytes, so that a test can fill
// the disk at a chosen point of a command run as its own process. When the environment variable
// ORVEX_SIMULATED_FREE_BYTES holds a number as the process starts, every write that asks here
// first and makes its file longer uses up that many bytes; the first one that needs more than
// are left fails with ENOSPC, as on a full disk, while writes inside a file's length (which a
// full disk still takes) go through. Without the variable every write is allowed at the cost
// of one load. Any thread.
class SimulatedDiskSpace {
public:
    SimulatedDiskSpace() = delete;

    // Whether a write to descriptor fd that ends at byte end may go ahead; false with errno set
    // to ENOSPC when the simulated disk is full.
    static bool allowsWrite(int fd, std::uint64_t end);
};

}  // namespace orvex
