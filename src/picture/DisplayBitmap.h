#pragma once

#include <cstdint>
#include <vector>

namespace orvex {

// A picture of 32-bit pixels 0xAARRGGBB with premultiplied alpha, top row first (the layout a
// desktop toolkit can wrap without copying). The layer renderers only write opaque or fully
// transparent pixels, for which premultiplied and straight alpha agree.
// Threads: not shared while written; the owner locks around it.
class DisplayBitmap {
public:
    DisplayBitmap() = default;
    DisplayBitmap(int width, int height);

    // Every pixel transparent; the size changes only when it differs.
    void reset(int width, int height);
    void clear();

    int width() const { return mWidth; }
    int height() const { return mHeight; }
    std::uint32_t* row(int y) { return mPixels.data() + std::size_t(y) * std::size_t(mWidth); }
    const std::uint32_t* row(int y) const { return mPixels.data() + std::size_t(y) * std::size_t(mWidth); }
    std::uint32_t pixel(int x, int y) const { return row(y)[x]; }
    std::uint8_t* bytes() { return reinterpret_cast<std::uint8_t*>(mPixels.data()); }
    bool contains(int x, int y) const { return x >= 0 && y >= 0 && x < mWidth && y < mHeight; }

    // Pixel (x, y) with a colour of the given alpha laid over it; outside the bitmap nothing.
    void blend(int x, int y, std::uint8_t red, std::uint8_t green, std::uint8_t blue, double alpha);
    // Moves the pixels of rows first .. last (inclusive) by dx columns (positive: to the right);
    // uncovered pixels keep their old values.
    void shiftRows(int first, int last, int dx);

    static constexpr std::uint32_t opaque(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
        return 0xff000000u | (std::uint32_t(red) << 16) | (std::uint32_t(green) << 8) | std::uint32_t(blue);
    }
    static constexpr std::uint8_t red(std::uint32_t p) { return std::uint8_t(p >> 16); }
    static constexpr std::uint8_t green(std::uint32_t p) { return std::uint8_t(p >> 8); }
    static constexpr std::uint8_t blue(std::uint32_t p) { return std::uint8_t(p); }
    static constexpr std::uint8_t alpha(std::uint32_t p) { return std::uint8_t(p >> 24); }

private:
    int mWidth = 0;
    int mHeight = 0;
    std::vector<std::uint32_t> mPixels;
};

}  // namespace orvex
