#pragma once

#include <cstdint>

#include "common/AnalysisConstants.h"

namespace orvex {

// Sample-frame positions and counts at the working rate. One signed 64-bit type everywhere:
// files longer than 2^31 frames exist, and differences of positions must be able to go negative.
using FramePos = std::int64_t;
using FrameCount = std::int64_t;

// Platform-style 32-bit status: 0 success, -1 our own failure, anything else passed through.
using Status = std::int32_t;

// Four-character code as a big-endian packed 32-bit value: 'bext' -> 0x62657874.
constexpr std::uint32_t fourCC(const char (&code)[5]) {
    return (std::uint32_t(std::uint8_t(code[0])) << 24) | (std::uint32_t(std::uint8_t(code[1])) << 16) |
           (std::uint32_t(std::uint8_t(code[2])) << 8) | std::uint32_t(std::uint8_t(code[3]));
}

}  // namespace orvex
