#include "views/OverviewColumns.h"

#include <algorithm>

namespace orvex {

OverviewColumns::OverviewColumns(std::recursive_mutex& monitor, std::int64_t count) : mMonitor(monitor) {
    reset(count);
}

void OverviewColumns::reset(std::int64_t count) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    mColumns.assign(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), KVOverviewColumn{});
}

void OverviewColumns::set(std::int64_t index, const KVOverviewColumn& column) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (index < 0 || index >= static_cast<std::int64_t>(mColumns.size())) return;
    mColumns[static_cast<std::size_t>(index)] = column;
}

std::vector<KVOverviewColumn> OverviewColumns::copy() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return mColumns;
}

}  // namespace orvex
