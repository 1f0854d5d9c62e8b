#include "store/Crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__)
#include <nmmintrin.h>
#endif

namespace orvex {

namespace {

constexpr std::uint32_t kReflectedPolynomial = 0x82F63B78u;

constexpr std::array<std::uint32_t, 256> makeTable() {
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i;
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ ((crc & 1u) ? kReflectedPolynomial : 0u);
        table[i] = crc;
    }
    return table;
}

constexpr auto kTable = makeTable();

std::uint32_t extendByTable(std::uint32_t crc, const unsigned char* bytes, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) crc = kTable[(crc ^ bytes[i]) & 0xFFu] ^ (crc >> 8);
    return crc;
}

#if defined(__x86_64__)
__attribute__((target("sse4.2"))) std::uint32_t extendByInstruction(std::uint32_t crc, const unsigned char* bytes,
                                                                     std::size_t length) {
    std::uint64_t state = crc;
    while (length >= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        state = _mm_crc32_u64(state, word);
        bytes += 8;
        length -= 8;
    }
    auto narrow = static_cast<std::uint32_t>(state);
    while (length-- > 0) narrow = _mm_crc32_u8(narrow, *bytes++);
    return narrow;
}

const bool kHasInstruction = __builtin_cpu_supports("sse4.2");
#else
const bool kHasInstruction = false;
#endif

}  // namespace

bool Crc32c::usesInstruction() { return kHasInstruction; }

std::uint32_t Crc32c::extend(std::uint32_t crc, const void* data, std::size_t length) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    crc = ~crc;
#if defined(__x86_64__)
    if (kHasInstruction) return ~extendByInstruction(crc, bytes, length);
#endif
    return ~extendByTable(crc, bytes, length);
}

std::uint32_t Crc32c::of(const void* data, std::size_t length) { return extend(0u, data, length); }

}  // namespace orvex
