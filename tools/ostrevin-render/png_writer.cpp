#include "tools/ostrevin-render/png_writer.h"

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <vector>

#include <png.h>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

struct Failure {
    char message[256] = "libpng failed";
};

void onError(png_structp png, png_const_charp message)
{
    auto *failure = static_cast<Failure *>(png_get_error_ptr(png));
    std::snprintf(failure->message, sizeof failure->message, "%s", message);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// Kept free of objects with destructors: libpng leaves it by longjmp on failure.
bool encode(std::FILE *file, const Image &image, const std::vector<png_bytep> &rows, Failure &failure)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, onError, onWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width()), static_cast<png_uint_32>(image.height()), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    png_write_image(png, const_cast<png_bytepp>(rows.data()));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

void writePng(const std::string &path, const Image &image)
{
    static_assert(sizeof(Rgb) == 3, "pixels are packed RGB");
    std::FILE *file = std::fopen(path.c_str(), "wb");
    if (!file)
        throw RenderError("cannot write " + path + ": " + std::strerror(errno));
    std::vector<png_bytep> rows(static_cast<std::size_t>(image.height()));
    auto *base = const_cast<png_bytep>(reinterpret_cast<const unsigned char *>(image.pixels().data()));
    for (int y = 0; y < image.height(); ++y)
        rows[static_cast<std::size_t>(y)] = base + static_cast<std::size_t>(y) * image.width() * 3;
    Failure failure;
    const bool ok = encode(file, image, rows, failure);
    const bool closed = std::fclose(file) == 0;
    if (!ok || !closed) {
        std::remove(path.c_str());
        throw RenderError("cannot write " + path + ": " + (ok ? std::strerror(errno) : failure.message));
    }
}

} // namespace render
