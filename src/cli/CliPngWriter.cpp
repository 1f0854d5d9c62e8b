#include "CliPngWriter.h"

#include <png.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

namespace orvex::cli {

CliPngWriter::CliPngWriter(int width, int height)
    : mWidth(width), mHeight(height), mPixels(std::size_t(width) * std::size_t(height) * 3, 0) {}

void CliPngWriter::setPixel(int x, int y, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight) return;
    std::uint8_t* pixel = &mPixels[(std::size_t(y) * std::size_t(mWidth) + std::size_t(x)) * 3];
    pixel[0] = red;
    pixel[1] = green;
    pixel[2] = blue;
}

bool CliPngWriter::writeToPath(const std::string& path) const {
    const std::filesystem::path target(path);
    const std::string partial = (target.parent_path() / ("." + target.filename().string() + ".partial")).string();
    std::error_code error;
    if (writeFile(partial)) {
        std::filesystem::rename(partial, path, error);
        if (!error) return true;
    }
    std::filesystem::remove(partial, error);
    return false;
}

bool CliPngWriter::writeFile(const std::string& path) const {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(mHeight));
    for (int y = 0; y < mHeight; ++y)
        rows[std::size_t(y)] = const_cast<png_bytep>(&mPixels[std::size_t(y) * std::size_t(mWidth) * 3]);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file.get());
    png_set_IHDR(png, info, png_uint_32(mWidth), png_uint_32(mHeight), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_rows(png, info, rows.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return std::fflush(file.get()) == 0 && !std::ferror(file.get());
}

}  // namespace orvex::cli
