#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <thread>

namespace orvex {

// Runs work(i) for i = 0 .. count-1 on the calling thread and, with threads > 1, one helper:
// each takes the next index in turn, so the items that come first (put the costly ones there)
// start first. Returns once every item has run. work must be safe to call from two threads at
// once for different indices.
template <typename Work>
void runInTurn(std::size_t count, int threads, const Work& work) {
    std::atomic<std::size_t> next{0};
    const auto take = [&] {
        for (std::size_t i = next++; i < count; i = next++) work(i);
    };
    std::jthread helper;
    if (threads > 1 && count > 1) helper = std::jthread(take);
    take();
}

}  // namespace orvex
