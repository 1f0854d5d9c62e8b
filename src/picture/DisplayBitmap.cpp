#include "picture/DisplayBitmap.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace orvex {

DisplayBitmap::DisplayBitmap(int width, int height) { reset(width, height); }

void DisplayBitmap::reset(int width, int height) {
    mWidth = std::max(0, width);
    mHeight = std::max(0, height);
    mPixels.assign(std::size_t(mWidth) * std::size_t(mHeight), 0u);
}

void DisplayBitmap::clear() { std::fill(mPixels.begin(), mPixels.end(), 0u); }

void DisplayBitmap::blend(int x, int y, std::uint8_t r, std::uint8_t g, std::uint8_t b, double a) {
    if (!contains(x, y)) return;
    std::uint32_t& p = row(y)[x];
    // Integer weights out of 256: the strip blends a few hundred thousand pixels per rebuild.
    const auto weight = static_cast<std::uint32_t>(std::lround(std::clamp(a, 0.0, 1.0) * 256.0));
    const std::uint32_t keep = 256 - weight;
    const auto mix = [&](std::uint32_t source, std::uint32_t destination) {
        return std::min<std::uint32_t>(255, (source * weight + destination * keep + 128) >> 8);
    };
    p = (mix(255, alpha(p)) << 24) | (mix(r, red(p)) << 16) | (mix(g, green(p)) << 8) | mix(b, blue(p));
}

void DisplayBitmap::shiftRows(int first, int last, int dx) {
    if (dx == 0 || std::abs(dx) >= mWidth) return;
    const std::size_t moved = std::size_t(mWidth - std::abs(dx)) * sizeof(std::uint32_t);
    for (int y = std::max(0, first); y <= std::min(last, mHeight - 1); ++y) {
        std::uint32_t* r = row(y);
        if (dx > 0)
            std::memmove(r + dx, r, moved);
        else
            std::memmove(r, r - dx, moved);
    }
}

}  // namespace orvex
