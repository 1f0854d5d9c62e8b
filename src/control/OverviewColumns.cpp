#include "control/OverviewColumns.h"

#include <algorithm>

namespace orvex {

OverviewColumns::OverviewColumns(std::int64_t count) { reset(count); }

void OverviewColumns::reset(std::int64_t count) {
    std::lock_guard<std::mutex> guard(mMutex);
    mColumns.assign(static_cast<std::size_t>(std::max<std::int64_t>(count, 0)), KVOverviewColumn{});
    mStored = 0;
}

void OverviewColumns::set(std::int64_t index, const KVOverviewColumn& column) {
    std::lock_guard<std::mutex> guard(mMutex);
    if (index < 0 || index >= static_cast<std::int64_t>(mColumns.size())) return;
    mColumns[static_cast<std::size_t>(index)] = column;
    mStored = std::max(mStored, index + 1);
}

std::vector<KVOverviewColumn> OverviewColumns::copy() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mColumns;
}

std::int64_t OverviewColumns::count() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return static_cast<std::int64_t>(mColumns.size());
}

std::int64_t OverviewColumns::stored() const {
    std::lock_guard<std::mutex> guard(mMutex);
    return mStored;
}

}  // namespace orvex
