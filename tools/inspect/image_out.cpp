// Writes decoded pages to disk: PNG (libpng), PBM/PGM, or the raw packed bitmap.
#include "tools/inspect/inspect.h"

#include <cstdio>
#include <memory>

#include <png.h>

namespace {

struct FileCloser {
    void operator()(FILE *f) const {
        if (f) fclose(f);
    }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

// Grey value of a 2-bit toner level: 0 white, 3 black.
uint8_t Grey(unsigned level) {
    return uint8_t(255 - level * 85);
}

} // namespace

// A grey PNG of 1 or 2 bits per pixel. PNG counts 0 as black, the bitmap counts 0 as white, so
// every row goes out inverted.
bool WritePng(const std::string &path, const std::vector<uint8_t> &bitmap, const Page &page) {
    FilePtr f(fopen(path.c_str(), "wb"));
    if (!f) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    const size_t rowBytes = (size_t(page.codedWidth) + 7) / 8;
    std::vector<uint8_t> row(rowBytes);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, f.get());
    png_set_IHDR(png, info, page.width, page.height, page.bpp, PNG_COLOR_TYPE_GRAY,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (uint32_t y = 0; y < page.height; ++y) {
        const uint8_t *src = bitmap.data() + rowBytes * y;
        for (size_t x = 0; x < rowBytes; ++x)
            row[x] = uint8_t(~src[x]);
        png_write_row(png, row.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return fclose(f.release()) == 0;
}

// PBM (P4) for a 1-bit page, whose rows are the bitmap's rows as they are; PGM (P5) with four
// grey levels for a 2-bit page.
bool WritePnm(const std::string &path, const std::vector<uint8_t> &bitmap, const Page &page) {
    FilePtr f(fopen(path.c_str(), "wb"));
    if (!f) return false;
    const size_t rowBytes = (size_t(page.codedWidth) + 7) / 8;
    if (page.bpp == 1) {
        fprintf(f.get(), "P4\n%u %u\n", page.width, page.height);
        if (fwrite(bitmap.data(), 1, rowBytes * page.height, f.get()) != rowBytes * page.height)
            return false;
    } else {
        fprintf(f.get(), "P5\n%u %u\n255\n", page.width, page.height);
        std::vector<uint8_t> row(page.width);
        for (uint32_t y = 0; y < page.height; ++y) {
            const uint8_t *src = bitmap.data() + rowBytes * y;
            for (uint32_t x = 0; x < page.width; ++x)
                row[x] = Grey((src[x / 4] >> (6 - 2 * (x % 4))) & 3);
            if (fwrite(row.data(), 1, row.size(), f.get()) != row.size()) return false;
        }
    }
    return fclose(f.release()) == 0;
}

// The decoded bitmap exactly as decoded: packed rows, most significant bit first.
bool WriteRaw(const std::string &path, const std::vector<uint8_t> &bitmap) {
    FilePtr f(fopen(path.c_str(), "wb"));
    if (!f) return false;
    if (fwrite(bitmap.data(), 1, bitmap.size(), f.get()) != bitmap.size()) return false;
    return fclose(f.release()) == 0;
}
