#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <bit>
#include <type_traits>

namespace orvex {

// A small trivially copyable value shared between one writer thread and lock-free readers.
// Readers always see a whole value written by one store(), never a mix of two (a sequence lock
// over atomic words, so it is also race-free in the memory model). The completing store and the
// first load of the sequence are sequentially consistent, so other seq_cst operations order with
// them. store() calls must not overlap each other; load() never blocks a writer and never
// allocates (real-time safe).
template <class T>
class SeqLocked {
    static_assert(std::is_trivially_copyable_v<T> && sizeof(T) % 8 == 0);
    static constexpr std::size_t kWords = sizeof(T) / 8;
    using Words = std::array<std::uint64_t, kWords>;

public:
    explicit SeqLocked(const T& value = T{}) { store(value); }

    void store(const T& value) {
        const auto words = std::bit_cast<Words>(value);
        const std::uint64_t sequence = mSequence.load(std::memory_order_relaxed);
        mSequence.store(sequence + 1, std::memory_order_relaxed);
        // Release stores keep the odd mark ahead of the data for any reader that sees new data.
        for (std::size_t i = 0; i < kWords; ++i) mWords[i].store(words[i], std::memory_order_release);
        mSequence.store(sequence + 2, std::memory_order_seq_cst);
    }

    T load() const {
        Words words{};
        for (;;) {
            const std::uint64_t before = mSequence.load(std::memory_order_seq_cst);
            if (before & 1) continue;
            for (std::size_t i = 0; i < kWords; ++i) words[i] = mWords[i].load(std::memory_order_acquire);
            if (mSequence.load(std::memory_order_relaxed) == before) break;
        }
        return std::bit_cast<T>(words);
    }

private:
    std::atomic<std::uint64_t> mSequence{0};
    std::array<std::atomic<std::uint64_t>, kWords> mWords{};
};

}  // namespace orvex
