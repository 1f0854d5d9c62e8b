#include "app/SoundPlayer.h"

#include <algorithm>

#include "audiofile/KVAudioFileReader.h"

namespace orvex {

namespace {
// Sounds longer than this are cut; the system's sounds last about a second.
constexpr FrameCount kMaximumSoundFrames = 10 * 44100;
}  // namespace

// One decoded sound and how far it has played. The samples never change after creation; the
// position is the only thing the audio thread writes.
class SoundPlayer::Voice : public AudioRenderContext {
public:
    std::vector<float> left, right;
    std::atomic<FrameCount> position{0};

    FrameCount length() const { return static_cast<FrameCount>(left.size()); }
};

SoundPlayer::SoundPlayer(std::unique_ptr<KVAudioEngineController> output) : mOutput(std::move(output)) {}

SoundPlayer::~SoundPlayer() {
    if (mOutput) mOutput->setCallback(nullptr, nullptr);
}

bool SoundPlayer::play(const std::string& path) {
    auto reader = KVAudioFileReader::initWithFileAtPath(path, 44100.0, 2);
    if (!reader) return false;
    auto voice = std::make_unique<Voice>();
    const FrameCount frames = std::min(reader->length(), kMaximumSoundFrames);
    if (frames <= 0) return false;
    voice->left.resize(static_cast<std::size_t>(frames));
    voice->right.resize(static_cast<std::size_t>(frames));
    float* channels[2] = {voice->left.data(), voice->right.data()};
    if (reader->readFrames(frames, channels) <= 0) return false;
    if (!mOutput) mOutput = std::make_unique<KVAudioEngineController>();
    mOutput->setCallback(&SoundPlayer::render, voice.get());
    // The old voice may still be rendering until the engine's current cycle ends.
    if (mOutput->engine()) mOutput->engine()->awaitRenderCycle();
    mVoice = std::move(voice);
    return true;
}

bool SoundPlayer::isPlaying() const { return mVoice && mVoice->position.load() < mVoice->length(); }

// Audio thread: copies the next frames of the voice; never allocates or locks.
void SoundPlayer::render(float* const* buffers, std::int64_t frames, std::int64_t, AudioRenderContext* context) {
    auto* voice = static_cast<Voice*>(context);
    const FrameCount from = voice->position.load(std::memory_order_relaxed);
    const FrameCount n = std::clamp<FrameCount>(voice->length() - from, 0, frames);
    std::copy_n(voice->left.data() + from, n, buffers[0]);
    std::copy_n(voice->right.data() + from, n, buffers[1]);
    voice->position.store(from + n, std::memory_order_relaxed);
}

}  // namespace orvex
