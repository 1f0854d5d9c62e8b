#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "control/KVOverviewBuilder.h"

namespace orvex {

// The min/max columns of a waveform overview view, shared between the controller's overview
// thread, which stores columns, and the GUI thread, which draws a copy. Every access takes the
// view's monitor (recursive: the overview thread already holds it while it stores a column).
class OverviewColumns {
public:
    OverviewColumns(std::recursive_mutex& monitor, std::int64_t count);

    // count zero columns (a negative count gives none).
    void reset(std::int64_t count);
    // Replaces column index; ignored unless 0 <= index < the column count.
    void set(std::int64_t index, const KVOverviewColumn& column);
    std::vector<KVOverviewColumn> copy() const;

private:
    std::recursive_mutex& mMonitor;
    std::vector<KVOverviewColumn> mColumns;  // guarded by mMonitor
};

}  // namespace orvex
