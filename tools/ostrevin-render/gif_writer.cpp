#include "tools/ostrevin-render/gif_writer.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <gif_lib.h>
#include <unistd.h>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

std::string gifError(int code)
{
    const char *text = GifErrorString(code);
    return text ? text : "error " + std::to_string(code);
}

} // namespace

GifWriter::GifWriter(const std::string &p, int w, int h, double fps)
    : path(p), width(std::max(1, w)), height(std::max(1, h)),
      delay(std::max(2, static_cast<int>(std::lround(100.0 / (fps > 0 ? fps : 30.0)))))
{
    // Opened here, not by giflib, which would make the file readable by its owner alone.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (fd < 0)
        throw RenderError("cannot write " + path + ": " + std::strerror(errno));
    int error = 0;
    file = EGifOpenFileHandle(fd, &error);
    if (!file) {
        ::close(fd);
        throw RenderError("cannot write " + path + ": " + gifError(error));
    }
    EGifSetGifVersion(file, true);
    if (EGifPutScreenDesc(file, width, height, 8, 0, nullptr) == GIF_ERROR) {
        error = file->Error;
        EGifCloseFile(file, nullptr);
        file = nullptr;
        throw RenderError("cannot write " + path + ": " + gifError(error));
    }
    // Loop forever.
    const unsigned char netscape[] = {'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0'};
    const unsigned char loop[] = {1, 0, 0};
    EGifPutExtensionLeader(file, APPLICATION_EXT_FUNC_CODE);
    EGifPutExtensionBlock(file, sizeof netscape, netscape);
    EGifPutExtensionBlock(file, sizeof loop, loop);
    EGifPutExtensionTrailer(file);
}

GifWriter::~GifWriter()
{
    if (file)
        EGifCloseFile(file, nullptr);
}

void GifWriter::add(const Image &frame)
{
    if (!file)
        throw RenderError("cannot write " + path + ": it is closed");
    const std::size_t pixels = static_cast<std::size_t>(width) * height;
    std::vector<GifByteType> r(pixels, 0), g(pixels, 0), b(pixels, 0), indices(pixels, 0);
    for (int y = 0; y < std::min(height, frame.height()); ++y)
        for (int x = 0; x < std::min(width, frame.width()); ++x) {
            const Rgb c = frame.at(x, y);
            const std::size_t i = static_cast<std::size_t>(y) * width + x;
            r[i] = c.r, g[i] = c.g, b[i] = c.b;
        }
    int colours = 256;
    std::vector<GifColorType> palette(256);
    if (GifQuantizeBuffer(static_cast<unsigned>(width), static_cast<unsigned>(height), &colours, r.data(), g.data(),
                          b.data(), indices.data(), palette.data()) == GIF_ERROR)
        throw RenderError("cannot write " + path + ": the frame's colours could not be reduced");
    ColorMapObject *map = GifMakeMapObject(256, palette.data());
    if (!map)
        throw RenderError("cannot write " + path + ": out of memory");
    GraphicsControlBlock control{};
    control.DisposalMode = DISPOSE_DO_NOT;
    control.DelayTime = delay;
    control.TransparentColor = NO_TRANSPARENT_COLOR;
    GifByteType extension[4];
    const std::size_t extensionLength = EGifGCBToExtension(&control, extension);
    bool ok = EGifPutExtension(file, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(extensionLength), extension) != GIF_ERROR &&
              EGifPutImageDesc(file, 0, 0, width, height, false, map) != GIF_ERROR;
    for (int y = 0; ok && y < height; ++y)
        ok = EGifPutLine(file, &indices[static_cast<std::size_t>(y) * width], width) != GIF_ERROR;
    GifFreeMapObject(map);
    if (!ok)
        throw RenderError("cannot write " + path + ": " + gifError(file->Error));
    ++count;
}

void GifWriter::close()
{
    if (!file)
        return;
    int error = 0;
    const int result = EGifCloseFile(file, &error);
    file = nullptr;
    if (result == GIF_ERROR)
        throw RenderError("cannot write " + path + ": " + gifError(error));
}

} // namespace render
