#pragma once

#include <cstddef>
#include <cstdint>

namespace orvex {

struct FrameRecord;

// The 8-byte overview of one frame: its mean colour and its sample range mapped to 0..255.
struct __attribute__((packed, aligned(4))) FrameSummary {
    std::uint8_t red;
    std::uint8_t green;
    std::uint8_t blue;
    std::uint8_t alpha;         // 255
    std::uint8_t maximumLevel;  // (maximum sample + 1) x 127.5
    std::uint8_t minimumLevel;  // (minimum sample + 1) x 127.5
    std::uint8_t reserved[2];
};
static_assert(sizeof(FrameSummary) == 8);
static_assert(offsetof(FrameSummary, red) == 0);
static_assert(offsetof(FrameSummary, green) == 1);
static_assert(offsetof(FrameSummary, blue) == 2);
static_assert(offsetof(FrameSummary, alpha) == 3);
static_assert(offsetof(FrameSummary, maximumLevel) == 4);
static_assert(offsetof(FrameSummary, minimumLevel) == 5);
static_assert(offsetof(FrameSummary, reserved) == 6);

// Mean of 0.5 x magnitude x colour(frequency / 22050) over the record's bins, plus its sample
// range; an invalid record gives 0, 0, 0, 255, 0, 0, 0, 0. Pure function; safe on any thread.
FrameSummary frameSummary(const FrameRecord& record);

}  // namespace orvex
