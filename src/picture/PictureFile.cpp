#include "picture/PictureFile.h"

#include "picture/DisplayBitmap.h"

#include <png.h>
#include <tiffio.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "platform/DurableFile.h"
#include "utilities/KVOutputTarget.h"

namespace orvex {

namespace {

enum class Format { unknown, png, tiff };

Format formatOf(const std::string& path) {
    std::string extension = std::filesystem::path(path).extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension == ".png") return Format::png;
    if (extension == ".tif" || extension == ".tiff") return Format::tiff;
    return Format::unknown;
}

// libtiff reports problems through handlers that print; the caller reports the failure itself.
void quietTiffHandler(const char*, const char*, va_list) {}

}  // namespace

PictureFile::PictureFile(int width, int height)
    : mWidth(width), mHeight(height), mPixels(std::size_t(width) * std::size_t(height) * 3, 0) {}

void PictureFile::setPixel(int x, int y, std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
    if (x < 0 || y < 0 || x >= mWidth || y >= mHeight) return;
    std::uint8_t* pixel = &mPixels[(std::size_t(y) * std::size_t(mWidth) + std::size_t(x)) * 3];
    pixel[0] = red;
    pixel[1] = green;
    pixel[2] = blue;
}

PictureFile PictureFile::fromBitmap(const DisplayBitmap& bitmap) {
    PictureFile picture(bitmap.width(), bitmap.height());
    // Premultiplied pixels over black are their colour components as they stand.
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x) {
            const std::uint32_t p = bitmap.pixel(x, y);
            picture.setPixel(x, y, DisplayBitmap::red(p), DisplayBitmap::green(p), DisplayBitmap::blue(p));
        }
    return picture;
}

bool PictureFile::hasKnownFormat(const std::string& path) { return formatOf(path) != Format::unknown; }

bool PictureFile::writeToPath(const std::string& path) const {
    const Format format = formatOf(path);
    if (format == Format::unknown) return false;
    // The partial file keeps the target's extension out of its name's end, so that nothing
    // mistakes it for a finished picture.
    const std::string partial = KVOutputTarget::partialPathFor(path);
    std::error_code error;
    if ((format == Format::png ? writePng(partial) : writeTiff(partial)) && DurableFile::replace(partial, path) == 0)
        return true;
    std::filesystem::remove(partial, error);
    return false;
}

bool PictureFile::writePng(const std::string& path) const {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "wb"), &std::fclose);
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_bytep> rows(static_cast<std::size_t>(mHeight));
    for (int y = 0; y < mHeight; ++y) rows[std::size_t(y)] = const_cast<png_bytep>(row(y));
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

bool PictureFile::writeTiff(const std::string& path) const {
    TIFFSetErrorHandler(quietTiffHandler);
    TIFFSetWarningHandler(quietTiffHandler);
    std::unique_ptr<TIFF, void (*)(TIFF*)> tiff(TIFFOpen(path.c_str(), "w"), &TIFFClose);
    if (!tiff) return false;
    TIFF* t = tiff.get();
    bool ok = TIFFSetField(t, TIFFTAG_IMAGEWIDTH, std::uint32_t(mWidth)) &&
              TIFFSetField(t, TIFFTAG_IMAGELENGTH, std::uint32_t(mHeight)) &&
              TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3) && TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8) &&
              TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
              TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
              TIFFSetField(t, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
              TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW) &&
              TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t, 0));
    for (int y = 0; ok && y < mHeight; ++y)
        ok = TIFFWriteScanline(t, const_cast<std::uint8_t*>(row(y)), std::uint32_t(y), 0) == 1;
    // Closing writes the directory; a failure there shows as a failed flush first.
    return ok && TIFFFlush(t) == 1;
}

}  // namespace orvex
