#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audiofile/WaveLayout.h"

namespace orvex {

// A RIFF WAVE file written with positional I/O: header, "fmt ", the metadata chunks added
// before the first audio, "data", and the chunks added later after the data. Chunks keep
// their exact length in the size field and get a pad byte when odd. Sizes in the headers are
// patched when the file is finished. Not thread-safe.
class WaveFileOutput {
public:
    // Creates a new file (which must not exist) and writes a provisional header.
    // Null with error set to the errno value on failure; no file is left behind then.
    static std::unique_ptr<WaveFileOutput> create(const std::string& path, const WaveFormatPCM& format, int& error);
    ~WaveFileOutput();
    WaveFileOutput(const WaveFileOutput&) = delete;
    WaveFileOutput& operator=(const WaveFileOutput&) = delete;

    void addChunk(std::uint32_t id, const void* data, std::uint32_t size);
    // Appends encoded frames (whole frames only); 0 or an errno value (EFBIG past 4 GiB).
    int appendAudio(const std::uint8_t* bytes, std::size_t length);
    // Writes the trailing chunks, patches the sizes and closes; 0 or an errno value. Idempotent.
    int finish();

private:
    struct Chunk {
        std::uint32_t id;
        std::vector<std::uint8_t> bytes;
    };

    WaveFileOutput(int fd, const WaveFormatPCM& format);
    int writeAt(std::uint64_t offset, const void* data, std::size_t length);
    int layHeader();
    int writeChunk(std::uint64_t& offset, const Chunk& chunk);
    int patchSizes(std::uint64_t end);

    int mFd = -1;
    WaveFormatPCM mFormat{};
    std::vector<Chunk> mLeadingChunks;   // written before "data"
    std::vector<Chunk> mTrailingChunks;  // added after audio began: written after "data"
    std::uint64_t mDataOffset = 0;       // offset of the first audio byte
    std::uint64_t mDataBytes = 0;
    bool mHeaderCurrent = false;         // the header on disk already holds every leading chunk
};

}  // namespace orvex
