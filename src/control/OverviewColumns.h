#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "control/KVOverviewBuilder.h"

namespace orvex {

// The min/max columns of a waveform overview, owned by the controller that builds them and read
// by the view when it paints. The controller's overview thread stores columns while the GUI
// thread takes copies: every access takes the columns' own lock.
class OverviewColumns {
public:
    explicit OverviewColumns(std::int64_t count);

    // count zero columns, none stored yet (a negative count gives none).
    void reset(std::int64_t count);
    // Replaces column index; ignored unless 0 <= index < the column count.
    void set(std::int64_t index, const KVOverviewColumn& column);
    std::vector<KVOverviewColumn> copy() const;
    std::int64_t count() const;
    // One past the highest column stored since the last reset (the build runs left to right).
    std::int64_t stored() const;

private:
    mutable std::mutex mMutex;
    std::vector<KVOverviewColumn> mColumns;  // guarded by mMutex
    std::int64_t mStored = 0;                // guarded by mMutex
};

}  // namespace orvex
