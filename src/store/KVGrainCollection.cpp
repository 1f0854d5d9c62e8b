#include "store/KVGrainCollection.h"

#include <algorithm>

#include "store/KVAnalysisPaths.h"
#include "store/StoreFailures.h"

namespace orvex {

namespace {
constexpr float kEmphasis = static_cast<float>(KVGrainCollection::kEmphasis);
}

void KVGrainCollection::encodeForStream(float* samples, KVEncodedGrain& into) {
    double state = 0.0;
    for (int i = 0; i < kGrainSize; ++i) {
        state = kInverseGain * double(samples[i]) + kInversePole * state;
        samples[i] = static_cast<float>(state);
    }
    into.encode(samples);
    into.scale *= KVEncodedGrain::kCodingGain;
}

KVGrainCollection::KVGrainCollection(Token, const std::string& path, std::shared_ptr<WriteFailureLatch> failures)
    : mSourcePath(path),
      mFile(KVAnalysisPaths::dataFilePath(path, ".asp.noindex"), sizeof(KVEncodedGrain)),
      mFailures(failures ? std::move(failures) : std::make_shared<WriteFailureLatch>()) {}

KVGrainCollection::~KVGrainCollection() { closeFile(); }

std::unique_ptr<KVGrainCollection> KVGrainCollection::initByOpeningFileAtPath(
    const std::string& path, bool readOnly, bool recreate, std::shared_ptr<WriteFailureLatch> failures) {
    auto collection = std::make_unique<KVGrainCollection>(Token(), path, std::move(failures));
    if (recreate && !readOnly) {
        collection->createFile();
        return collection;
    }
    if (collection->mFile.exists()) {
        if (!collection->mFile.open(readOnly) && readOnly) return nullptr;
        collection->frameCount();
        return collection;
    }
    if (readOnly) return nullptr;
    collection->createFile();
    return collection;
}

bool KVGrainCollection::createFile() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    mFrameCount = 0;
    if (mFile.create()) return true;
    mFailures->record(StoreFailures::cannotCreateFile(mFile.path()));
    return false;
}

void KVGrainCollection::noteReadFailure() {
    if (!mFile.lastReadWasDamaged()) return;
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (!mDamage) return;
    mDamage = StoreFailures::damagedData(mFile.lastError());
    mFailures->record(mDamage);
}

bool KVGrainCollection::lastReadWasDamaged() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return mFile.lastReadWasDamaged();
}

Result KVGrainCollection::damage() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return mDamage;
}

void KVGrainCollection::recordWriteFailure() {
    mFailures->record(StoreFailures::writeFailed("Error writing data", mFile.lastError()));
}

Status KVGrainCollection::writeRecord(const KVEncodedGrain& grain, FramePos index) {
    return writeRecords(&grain, index, 1);
}

Status KVGrainCollection::writeRecords(const KVEncodedGrain* grains, FramePos index, FrameCount count) {
    if (index < 0 || count <= 0) return 0;
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    mDirty = true;
    if (mFile.write(grains, index, count)) return 0;
    recordWriteFailure();
    return -1;
}

Status KVGrainCollection::appendRecord(const KVEncodedGrain& grain) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return writeRecord(grain, mAppendIndex++);
}

FrameCount KVGrainCollection::readRecords(KVEncodedGrain* into, FramePos index, FrameCount count) {
    if (count <= 0 || index < 0) return 0;
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    const std::int64_t bytes =
        mMostlyHoles ? mFile.readSkippingHoles(into, index, count) : mFile.read(into, index, count);
    if (bytes < 0) {
        noteReadFailure();
        std::fill_n(reinterpret_cast<char*>(into), sizeof(KVEncodedGrain) * static_cast<std::size_t>(count), 0);
        return 0;
    }
    return bytes / static_cast<std::int64_t>(sizeof(KVEncodedGrain));
}

Status KVGrainCollection::setFrameCount(FrameCount n) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    const bool resized = mFile.truncate(std::max<FrameCount>(n, 0));
    if (!resized) recordWriteFailure();
    mFrameCount = mFile.recordCount();
    mDirty = true;
    return resized ? 0 : -1;
}

FrameCount KVGrainCollection::frameCount() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    mFrameCount = mFile.isOpen() ? mFile.recordCount() : 0;
    return mFrameCount;
}

void KVGrainCollection::seekGrainRecord(FramePos record) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    currentRecord = std::max<FramePos>(record, 0);
    mStreamPosition = kStreamStart;
    mAccumulator.fill(0.0f);
    mOutputBlock.fill(0.0f);
}

FramePos KVGrainCollection::currentSample() const {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    return currentRecord * kHop;
}

// Decodes the next grain into the accumulator and moves the next 128 finished samples into
// the output block.
void KVGrainCollection::advanceStream() {
    mRecord.clear();
    const bool read = mFile.read(&mRecord, currentRecord) == static_cast<std::int64_t>(sizeof mRecord);
    if (!read) {
        noteReadFailure();
        mRecord.clear();  // nothing of a torn, unreadable or damaged record is played
    }
    ++currentRecord;
    if (!read || currentRecord > frameCount()) mStreamStatus = -1;

    mRecord.decode(mGrain.data());
    float previous = 0.0f;
    for (int j = 0; j < kGrainSize; ++j) {
        const float x = mGrain[j];
        mAccumulator[j] += x + kEmphasis * (x - previous);
        previous = x;
    }
    std::copy_n(mAccumulator.begin(), kHop, mOutputBlock.begin());
    std::copy(mAccumulator.begin() + kHop, mAccumulator.end(), mAccumulator.begin());
    std::fill(mAccumulator.end() - kHop, mAccumulator.end(), 0.0f);
}

Status KVGrainCollection::readAudio(FrameCount n, float** buffers) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    mStreamStatus = 0;
    float* out = buffers ? buffers[0] : nullptr;
    for (FrameCount i = 0; i < n; ++i) {
        if (out) out[i] = mOutputBlock[mStreamPosition - kStreamStart];
        if (++mStreamPosition == kGrainSize) {
            mStreamPosition = kStreamStart;
            advanceStream();
        }
    }
    return mStreamStatus;
}

Status KVGrainCollection::synchronize() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    if (mFile.synchronize()) return 0;
    recordWriteFailure();
    return -1;
}

void KVGrainCollection::markComplete() {
    const bool pushed = synchronize() == 0;
    mIsComplete = pushed && !mFailures->failed();
}

bool KVGrainCollection::changeFile(const std::function<bool(KVRecordFile&)>& change) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    const bool changed = change(mFile);
    if (!changed) recordWriteFailure();
    frameCount();
    mDirty = true;
    return changed;
}

void KVGrainCollection::setWritesBackEarly(bool early) {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    mFile.setWritesBackEarly(early);
}

bool KVGrainCollection::reopen() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    const bool opened = mFile.open(true);
    frameCount();
    return opened;
}

void KVGrainCollection::closeFile() {
    std::lock_guard<std::recursive_mutex> guard(mMonitor);
    mFile.close();
}

}  // namespace orvex
