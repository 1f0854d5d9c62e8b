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
// One lane: the register after the bytes, 8 at a time (length a multiple of 8 except the tail).
__attribute__((target("sse4.2"))) std::uint64_t laneOf(std::uint64_t state, const unsigned char* bytes,
                                                       std::size_t length) {
    for (; length >= 8; bytes += 8, length -= 8) {
        std::uint64_t word;
        std::memcpy(&word, bytes, 8);
        state = _mm_crc32_u64(state, word);
    }
    return state;
}

// The instruction takes 3 cycles and can start one every cycle: three runs of kLane bytes are
// summed at once, each from its own register, and joined. The register is linear in its start:
// crc(r, A B) = shift(crc(r, A), |B|) ^ crc(0, B), where shift(v, n) is v carried through n zero
// bytes, a fixed linear map for n = kLane applied through four byte tables.
constexpr std::size_t kLane = 2048;

struct LaneShift {
    std::array<std::array<std::uint32_t, 256>, 4> table{};

    LaneShift() {
        static const unsigned char zeros[kLane] = {};
        std::array<std::uint32_t, 32> basis{};
        for (int bit = 0; bit < 32; ++bit)
            basis[std::size_t(bit)] = static_cast<std::uint32_t>(laneOf(std::uint64_t(1) << bit, zeros, kLane));
        for (std::size_t byte = 0; byte < 4; ++byte)
            for (std::uint32_t value = 0; value < 256; ++value) {
                std::uint32_t shifted = 0;
                for (int bit = 0; bit < 8; ++bit)
                    if (value & (1u << bit)) shifted ^= basis[byte * 8 + std::size_t(bit)];
                table[byte][value] = shifted;
            }
    }

    std::uint32_t operator()(std::uint32_t v) const {
        return table[0][v & 0xFFu] ^ table[1][(v >> 8) & 0xFFu] ^ table[2][(v >> 16) & 0xFFu] ^ table[3][v >> 24];
    }
};

__attribute__((target("sse4.2"))) std::uint32_t extendByInstruction(std::uint32_t crc, const unsigned char* bytes,
                                                                     std::size_t length) {
    static const LaneShift shift;
    std::uint64_t state = crc;
    for (; length >= 3 * kLane; bytes += 3 * kLane, length -= 3 * kLane) {
        std::uint64_t a = state, b = 0, c = 0;
        for (std::size_t i = 0; i < kLane; i += 8) {
            std::uint64_t wa, wb, wc;
            std::memcpy(&wa, bytes + i, 8);
            std::memcpy(&wb, bytes + kLane + i, 8);
            std::memcpy(&wc, bytes + 2 * kLane + i, 8);
            a = _mm_crc32_u64(a, wa);
            b = _mm_crc32_u64(b, wb);
            c = _mm_crc32_u64(c, wc);
        }
        const std::uint32_t ab = shift(static_cast<std::uint32_t>(a)) ^ static_cast<std::uint32_t>(b);
        state = shift(ab) ^ static_cast<std::uint32_t>(c);
    }
    state = laneOf(state, bytes, length);
    bytes += length / 8 * 8;
    auto narrow = static_cast<std::uint32_t>(state);
    for (length %= 8; length > 0; --length) narrow = _mm_crc32_u8(narrow, *bytes++);
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
