#include "history/KVEditStep.h"

#include <algorithm>
#include <atomic>

#include "audiofile/KVAudioFileReader.h"
#include "history/KVChannelWindow.h"

namespace orvex {

namespace {

// Frames per reader call: bounds the reader's interleaved scratch block on long reads.
constexpr FrameCount kReaderBlock = FrameCount(1) << 18;

std::int64_t nextUndoGroupId() {
    static std::atomic<std::int64_t> counter{1};
    return counter.fetch_add(1, std::memory_order_relaxed);
}

// Reads count frames of the reader's file at position into channels buffers. Frames before the
// file's start, after its end, or of a failed read are silence.
void readFileFrames(KVAudioFileReader* reader, FramePos position, FrameCount count, float* const* buffers,
                    std::int32_t channels) {
    FrameCount done = 0;
    if (position < 0) {
        done = std::min(count, -position);
        KVChannelWindow::zeroFrames(buffers, channels, 0, done);
    }
    while (done < count) {
        const FrameCount block = std::min(count - done, kReaderBlock);
        KVChannelWindow window(buffers, channels, channels, done);
        const std::int32_t got = reader->readAt(position + done, block, window.data());
        if (got < block) {
            // A failed read leaves the buffers untouched; a short one means the file ended.
            const FrameCount filled = std::max<FrameCount>(got, 0);
            KVChannelWindow::zeroFrames(buffers, channels, done + filled, count - done - filled);
            return;
        }
        done += block;
    }
}

}  // namespace

KVEditStep::KVEditStep(Token, double sampleRate, KVEditStepInfo info, std::shared_ptr<KVEditStep> previous)
    : mPreviousStep(std::move(previous)), mStepInfo(std::move(info)), mSampleRate(sampleRate) {
    mStepInfo.fragmentUndoGroupId = nextUndoGroupId();
}

std::shared_ptr<KVEditStep> KVEditStep::initWithFile(const std::string& path, const std::string& info,
                                                     double sampleRate) {
    if (sampleRate <= 0.0 || !KVAudioFileReader::isReadableAudioFileAtPath(path)) return nullptr;
    double fileRate = 0.0;
    std::int32_t channels = 0;
    std::int64_t length = 0;
    if (KVAudioFileReader::infoForFileAtPath(path, &fileRate, &channels, nullptr, nullptr, &length) != 0 ||
        fileRate <= 0.0 || channels < 1) {
        return nullptr;
    }
    // The file's length at the working rate, truncated. Multiplying first keeps exact results
    // exact: 96 000 frames at 48 kHz are 88 200 frames at 44.1 kHz, where dividing by the rate
    // ratio 1.0884... first would give 88 199.99... and truncate to 88 199.
    const auto frames = FrameCount(double(length) * sampleRate / fileRate);
    KVEditStepInfo stepInfo{info, frames, 0, fileRate, channels};
    auto step = std::make_shared<KVEditStep>(Token{}, sampleRate, std::move(stepInfo), nullptr);
    step->beginEditing();
    step->addEntryWithInfo("Original File", path, nullptr, 0, frames, 0, frames);
    step->endEditingWithNumFrames(frames);
    step->buildPlayList();
    return step;
}

std::shared_ptr<KVEditStep> KVEditStep::initWithStep(std::shared_ptr<KVEditStep> previous,
                                                     const std::string& info) {
    if (!previous) return nullptr;
    KVEditStepInfo stepInfo{info, previous->numberOfFrames(), 0, previous->sampleRate(),
                            previous->numberOfChannels()};
    const double rate = previous->workingSampleRate();
    return std::make_shared<KVEditStep>(Token{}, rate, std::move(stepInfo), std::move(previous));
}

void KVEditStep::beginEditing() {
    std::lock_guard lock(mMonitor);
    mIsEditing = true;
}

void KVEditStep::addEntryWithInfo(const std::string& info, const std::string& path,
                                  std::shared_ptr<const KVEditStep> fragment, FramePos from, FramePos to,
                                  FramePos playStart, FramePos playEnd) {
    // An entry reading a step that reads this one would recurse without end. Checked before
    // taking this step's lock so that locks are always taken from newer steps to older ones.
    if (fragment && fragment->readsFrom(this)) return;
    std::lock_guard lock(mMonitor);
    if (!mIsEditing) return;
    KVEditEntry entry;
    entry.playStartFrame = playStart;
    entry.playEndFrame = playEnd;
    entry.sourceFileStartFrame = from;
    entry.sourceFileEndFrame = to;
    entry.humanReadableInfo = info;
    entry.editStep = mEntryCounter++;
    if (fragment) {
        entry.fragment = std::move(fragment);
    } else {
        entry.pathToFile = path;
        entry.reader = KVAudioFileReader::initWithFileAtPath(path, mSampleRate, mStepInfo.fragmentNumChannels);
    }
    mEntries.push_back(std::move(entry));
}

void KVEditStep::endEditingWithNumFrames(FrameCount numFrames) {
    std::lock_guard lock(mMonitor);
    buildPlayList();
    mStepInfo.fragmentNumFrames = numFrames < 0 ? playListEnd() : numFrames;
    mIsEditing = false;
}

void KVEditStep::buildPlayList() {
    std::lock_guard lock(mMonitor);
    mPlayList = copyBySortingToFront(mEntries);
    std::stable_sort(mPlayList.begin(), mPlayList.end(), [](const KVEditEntry& a, const KVEditEntry& b) {
        return a.playStartFrame < b.playStartFrame;
    });
    mStepInfo.fragmentNumFrames = playListEnd();
}

std::vector<KVEditEntry> KVEditStep::copyBySortingToFront(const std::vector<KVEditEntry>& entries) {
    std::vector<KVEditEntry> result;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::vector<KVEditEntry> pieces{entries[i]};
        for (std::size_t j = i + 1; j < entries.size(); ++j) {
            const KVEditEntry& later = entries[j];
            std::vector<KVEditEntry> kept;
            for (const KVEditEntry& piece : pieces) {
                if (!piece.overlaps(later.playStartFrame, later.playEndFrame)) {
                    kept.push_back(piece);
                    continue;
                }
                KVEditEntry left = piece.piece(piece.playStartFrame, later.playStartFrame);
                KVEditEntry right = piece.piece(later.playEndFrame, piece.playEndFrame);
                if (!left.isEmpty()) kept.push_back(std::move(left));
                if (!right.isEmpty()) kept.push_back(std::move(right));
            }
            pieces = std::move(kept);
        }
        for (KVEditEntry& piece : pieces) {
            if (!piece.isEmpty()) result.push_back(std::move(piece));
        }
    }
    return result;
}

FrameCount KVEditStep::playListEnd() const {
    FrameCount end = 0;
    for (const KVEditEntry& entry : mPlayList) end = std::max(end, entry.playEndFrame);
    return end;
}

FrameCount KVEditStep::numberOfFrames() const {
    std::lock_guard lock(mMonitor);
    return playListEnd();
}

std::int32_t KVEditStep::numberOfChannels() const {
    std::lock_guard lock(mMonitor);
    return mStepInfo.fragmentNumChannels;
}

double KVEditStep::sampleRate() const {
    std::lock_guard lock(mMonitor);
    return mStepInfo.fragmentSampleRate;
}

std::string KVEditStep::info() const {
    std::lock_guard lock(mMonitor);
    return mStepInfo.humanReadableInfo;
}

KVEditStepInfo KVEditStep::stepInfo() const {
    std::lock_guard lock(mMonitor);
    return mStepInfo;
}

std::vector<KVEditEntry> KVEditStep::entries() const {
    std::lock_guard lock(mMonitor);
    return mEntries;
}

std::vector<KVEditEntry> KVEditStep::playList() const {
    std::lock_guard lock(mMonitor);
    return mPlayList;
}

bool KVEditStep::isEditing() const {
    std::lock_guard lock(mMonitor);
    return mIsEditing;
}

bool KVEditStep::readsFrom(const KVEditStep* other) const {
    if (this == other) return true;
    std::lock_guard lock(mMonitor);
    if (mPreviousStep && mPreviousStep->readsFrom(other)) return true;
    return std::any_of(mEntries.begin(), mEntries.end(), [other](const KVEditEntry& entry) {
        return entry.fragment && entry.fragment->readsFrom(other);
    });
}

FrameCount KVEditStep::readAt(FramePos start, FrameCount length, float* const* buffers) const {
    if (length <= 0) return 0;
    std::lock_guard lock(mMonitor);
    const std::int32_t channels = mStepInfo.fragmentNumChannels;
    // Play-list entries are sorted and disjoint, so their ends ascend as well: find the first
    // entry that ends after start.
    auto it = std::upper_bound(mPlayList.begin(), mPlayList.end(), start,
                               [](FramePos p, const KVEditEntry& entry) { return p < entry.playEndFrame; });
    FrameCount written = 0;
    while (it != mPlayList.end() && written < length) {
        const FramePos position = start + written;
        if (position < it->playStartFrame) {
            // No entry covers these frames: silence up to the next entry.
            const FrameCount gap = std::min(it->playStartFrame - position, length - written);
            KVChannelWindow::zeroFrames(buffers, channels, written, gap);
            written += gap;
            continue;
        }
        const FrameCount count = std::min(it->playEndFrame - position, length - written);
        readEntry(*it, it->sourceFileStartFrame + (position - it->playStartFrame), count, buffers, written);
        written += count;
        ++it;
    }
    KVChannelWindow::zeroFrames(buffers, channels, written, length - written);
    return written;
}

void KVEditStep::readEntry(const KVEditEntry& entry, FramePos position, FrameCount count, float* const* buffers,
                           FrameCount offset) const {
    const std::int32_t channels = mStepInfo.fragmentNumChannels;
    const std::int32_t sourceChannels = entry.fragment ? entry.fragment->numberOfChannels()
                                        : entry.reader ? entry.reader->channels()
                                                       : 0;
    KVChannelWindow window(buffers, channels, sourceChannels, offset);
    if (entry.fragment) {
        entry.fragment->readAt(position, count, window.data());
    } else if (entry.reader) {
        readFileFrames(entry.reader.get(), position, count, window.data(), sourceChannels);
    }
    // Channels the source does not deliver (all of them when the file could not be opened).
    if (buffers && sourceChannels < channels) {
        KVChannelWindow::zeroFrames(buffers + sourceChannels, channels - sourceChannels, offset, count);
    }
}

}  // namespace orvex
