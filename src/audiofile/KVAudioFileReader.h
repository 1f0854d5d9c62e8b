#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "common/Types.h"

namespace orvex {

class DecoderBackend;

// Reads any supported sound file as de-interleaved 32-bit float frames at the rate and channel
// count the caller asks for. One reader wraps one open file and may be shared between threads:
// open, close, seek-plus-read, read and chunk access each run under the reader's own lock.
class KVAudioFileReader {
public:
    KVAudioFileReader();
    ~KVAudioFileReader();
    KVAudioFileReader(const KVAudioFileReader&) = delete;
    KVAudioFileReader& operator=(const KVAudioFileReader&) = delete;

    // Opens path at rate sr with the given channel count; nothing when the open fails.
    static std::unique_ptr<KVAudioFileReader> initWithFileAtPath(const std::string& path, double sr,
                                                                 std::int32_t channels);

    // 0 on success, -1 for the reader's own failures, other values passed through from the decoder.
    Status openFileAtPath(const std::string& path, double sr, std::int32_t channels);
    // Reads n frames at the current position into per-channel buffers (null channels skipped).
    // Returns the frames actually delivered; the rest of each buffer is zero-filled.
    // -1 when no file is open, a decoder status on failure (buffers then untouched).
    std::int32_t readFrames(FrameCount n, float** buffers);
    // Seeks to start (in delivered frames), then reads as readFrames.
    std::int32_t readAt(FramePos start, FrameCount n, float** buffers);
    // A newly malloc'ed copy of the chunk with identifier id (four-character code) and index,
    // or null with size 0 when absent or empty. The caller frees it with free().
    void* userDataWithId(std::uint32_t id, std::int32_t index, std::uint32_t* size);
    // Closes the file; safe to call twice. Always 0.
    Status closeFile();

    std::int32_t channels() const { return mChannels; }
    double rateRatio() const { return mRateRatio; }
    bool isOpen() const;
    // Length of the open file in delivered frames (at the requested rate), 0 when closed.
    FrameCount length() const;
    std::recursive_mutex& monitor() const { return mMonitor; }

    // Format query without keeping the file open; out-values are filled only on success and only
    // where the pointer is non-null. bitsPerChannel is 0 for compressed formats. length is in
    // frames of the file's own rate.
    static Status infoForFileAtPath(const std::string& path, double* sr, std::int32_t* channels,
                                    std::int32_t* bitsPerChannel, std::uint32_t* formatID,
                                    std::int64_t* length);
    // True when the query succeeds and reports more than 0 frames.
    static bool isReadableAudioFileAtPath(const std::string& path);

    // An array of channels pointers, each to length zeroed floats; 0 channels gives an empty,
    // non-null array. Null when the array itself cannot be allocated.
    static float** allocateBuffersForChannels(std::int32_t channels, std::int32_t length);
    static void freeBuffers(float** buffers, std::int32_t channels);

private:
    // Reads n frames, first seeking to start when seekFirst is set.
    std::int32_t readFramesFrom(bool seekFirst, FramePos start, FrameCount n, float** buffers);

    std::unique_ptr<DecoderBackend> extAFRef;  // the decoding (and converting) back end
    std::int32_t mChannels = 0;
    double mRateRatio = 1.0;
    mutable std::recursive_mutex mMonitor;
};

// The "bext", "mext" and "iXML" chunks carried from the working file into every written file.
// Data blocks are malloc'ed; a size of 0 means absent.
struct KVMetadataChunks {
    void* bextData = nullptr;
    void* mextData = nullptr;
    void* ixmlData = nullptr;
    std::uint32_t bextSize = 0;
    std::uint32_t mextSize = 0;
    std::uint32_t ixmlSize = 0;
};

}  // namespace orvex
