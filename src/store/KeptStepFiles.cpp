#include "store/KeptStepFiles.h"

#include <algorithm>

namespace orvex {

KeptStepFiles::KeptStepFiles(const std::vector<std::string>& paths, const std::vector<std::size_t>& recordSizes) {
    for (std::size_t i = 0; i < paths.size(); ++i) {
        mFiles.push_back(std::make_unique<KVRecordFile>(paths[i], recordSizes[i]));
        mFiles.back()->open(true);
    }
    mFrames = mFiles.empty() ? 0 : mFiles.front()->recordCount();
    mWritten.assign(static_cast<std::size_t>(mFrames), false);
}

bool KeptStepFiles::readsFrame(FramePos frame) const {
    return frame >= 0 && frame < mFrames && !mWritten[static_cast<std::size_t>(frame)];
}

void KeptStepFiles::wrote(FramePos start, FrameCount count) {
    const FramePos first = std::max<FramePos>(start, 0);
    const FramePos end = std::min<FramePos>(start + count, mFrames);
    mChanged = mChanged || count > 0;
    for (FramePos f = first; f < end; ++f) mWritten[static_cast<std::size_t>(f)] = true;
}

void KeptStepFiles::cut(FrameCount frames) {
    mChanged = mChanged || frames != mFrames;
    mFrames = std::clamp<FrameCount>(frames, 0, mFrames);
}

std::vector<std::pair<FramePos, FrameCount>> KeptStepFiles::unwrittenRuns() const {
    std::vector<std::pair<FramePos, FrameCount>> runs;
    for (FramePos f = 0; f < mFrames; ++f) {
        if (mWritten[static_cast<std::size_t>(f)]) continue;
        if (!runs.empty() && runs.back().first + runs.back().second == f)
            ++runs.back().second;
        else
            runs.emplace_back(f, 1);
    }
    return runs;
}

}  // namespace orvex
