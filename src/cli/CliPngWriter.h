#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace orvex::cli {

// An 8-bit RGB picture written as a PNG file under a temporary name and renamed onto the
// target when complete, so a failed write leaves nothing under the target name.
class CliPngWriter {
public:
    CliPngWriter(int width, int height);
    void setPixel(int x, int y, std::uint8_t red, std::uint8_t green, std::uint8_t blue);
    // False when the file could not be written.
    bool writeToPath(const std::string& path) const;

private:
    bool writeFile(const std::string& path) const;

    int mWidth;
    int mHeight;
    std::vector<std::uint8_t> mPixels;  // rows top to bottom, 3 bytes a pixel
};

}  // namespace orvex::cli
