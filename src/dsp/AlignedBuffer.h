#pragma once

#include <cstddef>
#include <new>
#include <vector>

namespace orvex {

// Allocator giving 64-byte aligned storage, so that FFT work arrays meet every SIMD alignment
// the FFT library may require and vector loops start on a cache line.
template <class T>
struct AlignedAllocator {
    using value_type = T;
    static constexpr std::align_val_t kAlignment{64};
    AlignedAllocator() = default;
    template <class U>
    AlignedAllocator(const AlignedAllocator<U>&) {}
    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlignment)); }
    void deallocate(T* p, std::size_t) { ::operator delete(p, kAlignment); }
    template <class U>
    bool operator==(const AlignedAllocator<U>&) const { return true; }
};

// A zero-filled, 64-byte aligned float array.
using AlignedFloats = std::vector<float, AlignedAllocator<float>>;

}  // namespace orvex
