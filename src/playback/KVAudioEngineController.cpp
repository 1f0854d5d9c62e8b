#include "playback/KVAudioEngineController.h"

#include "playback/PacedAudioBackend.h"
#include "playback/PortAudioBackend.h"

namespace orvex {

KVAudioEngineController::KVAudioEngineController() : KVAudioEngineController(std::make_unique<PortAudioBackend>()) {}

KVAudioEngineController::KVAudioEngineController(std::unique_ptr<AudioOutputBackend> outputUnit)
    : mEngine(std::make_unique<AudioEngine>(std::move(outputUnit))) {}

KVAudioEngineController::~KVAudioEngineController() = default;

std::unique_ptr<KVAudioEngineController> KVAudioEngineController::initWithPacedFallback() {
    auto controller = std::make_unique<KVAudioEngineController>();
    if (controller->mEngine->isInitialised()) return controller;
    controller.reset();
    return std::make_unique<KVAudioEngineController>(std::make_unique<PacedAudioBackend>());
}

void KVAudioEngineController::setCallback(AudioRenderCallback callback, AudioRenderContext* context) {
    if (mContext) mContext->stopped();
    if (mEngine) mEngine->setClient(callback, context);
    mContext = context;
}

double KVAudioEngineController::sampleRate() const {
    return mEngine && mEngine->isInitialised() ? static_cast<double>(mEngine->sampleRate()) : 0.0;
}

}  // namespace orvex
