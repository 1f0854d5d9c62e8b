#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

namespace orvex {

// On-disk records of a RIFF WAVE file (little-endian; the structs are written as they are, so
// the build requires a little-endian host).
static_assert(std::endian::native == std::endian::little, "WAVE records are written in host byte order");

#pragma pack(push, 1)
struct RiffChunkHeader {
    char id[4];
    std::uint32_t size;  // bytes of data that follow, without the pad byte of an odd size
};
struct RiffFileHeader {
    RiffChunkHeader riff;  // "RIFF", size of everything after this header
    char form[4];          // "WAVE"
};
struct WaveFormatPCM {
    std::uint16_t formatTag;  // 1: integer PCM
    std::uint16_t channels;
    std::uint32_t sampleRate;
    std::uint32_t byteRate;
    std::uint16_t blockAlign;
    std::uint16_t bitsPerSample;
};
#pragma pack(pop)

static_assert(sizeof(RiffChunkHeader) == 8);
static_assert(offsetof(RiffChunkHeader, id) == 0 && offsetof(RiffChunkHeader, size) == 4);
static_assert(sizeof(RiffFileHeader) == 12);
static_assert(offsetof(RiffFileHeader, riff) == 0 && offsetof(RiffFileHeader, form) == 8);
static_assert(sizeof(WaveFormatPCM) == 16);
static_assert(offsetof(WaveFormatPCM, formatTag) == 0 && offsetof(WaveFormatPCM, channels) == 2 &&
              offsetof(WaveFormatPCM, sampleRate) == 4 && offsetof(WaveFormatPCM, byteRate) == 8 &&
              offsetof(WaveFormatPCM, blockAlign) == 12 && offsetof(WaveFormatPCM, bitsPerSample) == 14);

constexpr std::uint16_t kWaveFormatPCM = 1;

}  // namespace orvex
