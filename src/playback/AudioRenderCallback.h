#pragma once

#include <cstdint>

namespace orvex {

// Size of the channel-pointer array handed to a render function; entries past the output's
// buffers are null.
constexpr int kMaxRenderChannels = 128;

// The object a render function receives with every call. The engine never owns it.
// stopped() is sent (on the thread that changes the engine's client) when another client
// replaces this one; the default ignores it.
class AudioRenderContext {
public:
    virtual ~AudioRenderContext() = default;
    virtual void stopped() {}
};

// A client render function. Called on the audio thread with the channel buffers (room for
// kMaxRenderChannels entries; 0 is left, 1 is right), the frame count of every buffer, the
// channel count (always 2) and the installed context. Buffers 0 and 1 hold zeros on entry; the
// function overwrites as many frames as it has and leaves the rest at zero.
using AudioRenderCallback = void (*)(float* const* buffers, std::int64_t frames, std::int64_t channels,
                                     AudioRenderContext* context);

}  // namespace orvex
