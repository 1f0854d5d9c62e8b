#include "history/KVEditHistory.h"

#include "audiofile/KVAudioFileReader.h"

namespace orvex {

KVEditHistory::KVEditHistory(Token, std::string path, double sampleRate, std::shared_ptr<KVEditStep> firstStep)
    : mSteps{std::move(firstStep)}, mFilePath(std::move(path)), mSampleRate(sampleRate) {}

std::shared_ptr<KVEditHistory> KVEditHistory::initWithContentsOfFile(const std::string& path, double sr,
                                                                     bool skipFormatCheck) {
    if (!KVAudioFileReader::isReadableAudioFileAtPath(path)) return nullptr;
    if (!skipFormatCheck) {
        std::int32_t bitsPerChannel = 0;
        if (KVAudioFileReader::infoForFileAtPath(path, nullptr, nullptr, &bitsPerChannel, nullptr, nullptr) != 0 ||
            bitsPerChannel < 8) {
            return nullptr;
        }
    }
    auto first = KVEditStep::initWithFile(path, "Edit step from file", sr);
    if (!first) return nullptr;
    return std::make_shared<KVEditHistory>(Token{}, path, sr, std::move(first));
}

std::shared_ptr<KVEditHistory> KVEditHistory::initWithSegmentOfFile(const std::string& path, double sr,
                                                                    FramePos segmentStart, FramePos segmentEnd) {
    auto history = initWithContentsOfFile(path, sr, false);
    if (!history) return nullptr;
    const FrameCount length = segmentEnd - segmentStart;
    history->beginEditStepWithInfo("edit");
    history->addRangeOfPreviousStepWithInfo("segment", 0, length, segmentStart, segmentStart + length);
    history->endEditStep();
    history->refreshSteps();
    history->mSegmentStart = segmentStart;
    return history;
}

FrameCount KVEditHistory::readFileAt(FramePos start, FrameCount length, float* const* buffers) const {
    std::lock_guard lock(mMonitor);
    return mSteps.front()->readAt(start, length, buffers);
}

void KVEditHistory::beginEditStepWithInfo(const std::string& info) {
    std::lock_guard lock(mMonitor);
    if (mIsEditing) return;
    auto step = KVEditStep::initWithStep(mSteps.back(), info);
    if (!step) return;
    mIsEditing = true;
    mSteps.push_back(std::move(step));
}

void KVEditHistory::addRangeOfPreviousStepWithInfo(const std::string& info, FramePos playStart, FramePos playEnd,
                                                   FramePos sourceStart, FramePos sourceEnd) {
    std::lock_guard lock(mMonitor);
    KVEditStep& newest = *mSteps.back();
    auto previous = newest.previousStep();
    if (!previous) return;
    newest.beginEditing();
    newest.addEntryWithInfo(info, "", previous, sourceStart, sourceEnd, playStart, playEnd);
    newest.endEditingWithNumFrames(-1);
}

void KVEditHistory::endEditStep() {
    std::lock_guard lock(mMonitor);
    mSteps.back()->buildPlayList();
    mIsEditing = false;
}

void KVEditHistory::refreshSteps() {
    std::lock_guard lock(mMonitor);
    for (const auto& step : mSteps) step->buildPlayList();
}

bool KVEditHistory::isEditing() const {
    std::lock_guard lock(mMonitor);
    return mIsEditing;
}

FrameCount KVEditHistory::numberOfFrames() const { return currentStep()->numberOfFrames(); }

double KVEditHistory::sampleRate() const { return currentStep()->sampleRate(); }

std::int32_t KVEditHistory::numberOfChannels() const { return currentStep()->numberOfChannels(); }

FrameCount KVEditHistory::readAt(FramePos start, FrameCount length, float* const* buffers) const {
    std::lock_guard lock(mMonitor);
    return mSteps.back()->readAt(start, length, buffers);
}

std::shared_ptr<KVEditStep> KVEditHistory::currentStep() const {
    std::lock_guard lock(mMonitor);
    return mSteps.back();
}

std::size_t KVEditHistory::numberOfSteps() const {
    std::lock_guard lock(mMonitor);
    return mSteps.size();
}

std::shared_ptr<KVEditStep> KVEditHistory::stepAt(std::size_t index) const {
    std::lock_guard lock(mMonitor);
    return index < mSteps.size() ? mSteps[index] : nullptr;
}

}  // namespace orvex
