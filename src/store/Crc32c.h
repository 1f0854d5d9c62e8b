#pragma once

#include <cstddef>
#include <cstdint>

namespace orvex {

// CRC-32C (Castagnoli polynomial 0x1EDC6F41, reflected, initial value and final XOR
// 0xFFFFFFFF), the checksum of the store's integrity side files. Uses the processor's CRC32
// instruction where it has one (about 8 bytes per 3 cycles), a table otherwise; both give the
// same values. Thread-safe.
class Crc32c {
public:
    Crc32c() = delete;

    static std::uint32_t of(const void* data, std::size_t length);
    // The checksum of the bytes so far extended by more bytes: extend(of(a), b) == of(a + b).
    static std::uint32_t extend(std::uint32_t crc, const void* data, std::size_t length);
    // Which implementation runs, for benchmarks.
    static bool usesInstruction();
};

}  // namespace orvex
