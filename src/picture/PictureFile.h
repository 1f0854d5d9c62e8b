#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex {

class DisplayBitmap;

// An 8-bit RGB picture, written as PNG or as TIFF (LZW-compressed, as the analysis view saves
// its snapshots) by the target's extension. The file is written under a temporary name and
// renamed onto the target when complete, so a failed write leaves nothing under that name.
class PictureFile {
public:
    PictureFile(int width, int height);
    // The bitmap's colours laid over black (its alpha dropped for opaque pixels).
    static PictureFile fromBitmap(const DisplayBitmap& bitmap);
    // Pixels outside the picture are ignored. Row 0 is the top.
    void setPixel(int x, int y, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    int width() const { return mWidth; }
    int height() const { return mHeight; }

    // Whether writeToPath knows the format of path (".png", ".tif", ".tiff", any case).
    static bool hasKnownFormat(const std::string& path);
    // False when the format is unknown or the file could not be written.
    bool writeToPath(const std::string& path) const;

private:
    const std::uint8_t* row(int y) const { return &mPixels[std::size_t(y) * std::size_t(mWidth) * 3]; }
    bool writePng(const std::string& path) const;
    bool writeTiff(const std::string& path) const;

    int mWidth;
    int mHeight;
    std::vector<std::uint8_t> mPixels;  // rows top to bottom, 3 bytes a pixel
};

}  // namespace orvex
