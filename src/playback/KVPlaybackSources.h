#pragma once

#include <cstdint>

#include "common/Types.h"

namespace orvex {

// Where the document's playback comes from: the selected tab of its window (the number is the
// tab's index).
enum class PlaySource : std::int64_t { Input = 0, Analysis = 1, Output = 2 };

// What the document plays from in the input tab: the current edit step. Called on the audio
// thread with the document's monitor held.
class KVPlayStep {
public:
    virtual ~KVPlayStep() = default;
    virtual std::int64_t numberOfChannels() const = 0;
    virtual FrameCount numberOfFrames() const = 0;
    // Reads length frames at start into one buffer per channel (null entries are skipped);
    // returns the frames delivered.
    virtual FrameCount readAt(FramePos start, FrameCount length, float* const* buffers) = 0;
};

// A source with its own play stream: the analysis controller in the analysis tab, the output
// controller in the output tab. Called on the audio thread with the document's monitor held.
class KVPlayFrameSource {
public:
    virtual ~KVPlayFrameSource() = default;
    // Reads the next n frames of the stream into one buffer per channel (null entries are
    // skipped); -1 on failure.
    virtual std::int64_t readPlayFrames(FrameCount n, float* const* buffers) = 0;
    // Moves the stream, so that the next read starts at frame.
    virtual void setPlayPosition(FramePos frame) = 0;
};

// The document's side of playback. Called on the main thread only.
class KVPlaybackDelegate {
public:
    virtual ~KVPlaybackDelegate() = default;
    // Playback has stopped (sent again on every stop, and when another client replaces it).
    virtual void stopped() = 0;
    // The play position moved; the document passes it on to its controllers' play cursors.
    virtual void playPositionChanged(FramePos frame) = 0;
};

}  // namespace orvex
