// The camera view's animation through giflib: frames added one by one as they are rendered,
// each with its own palette of up to 256 colours, looping forever.
#ifndef OSTREVIN_TOOLS_RENDER_GIF_WRITER_H
#define OSTREVIN_TOOLS_RENDER_GIF_WRITER_H

#include <string>

#include "tools/ostrevin-render/image.h"

struct GifFileType;

namespace render {

class GifWriter {
public:
    // Every frame shows for 1 / fps seconds, as near as the format's hundredths allow.
    GifWriter(const std::string &path, int width, int height, double fps);
    ~GifWriter();
    GifWriter(const GifWriter &) = delete;
    GifWriter &operator=(const GifWriter &) = delete;

    // A frame of another size is placed at the top left, cut to the animation's size.
    void add(const Image &frame);
    // Finishes the file; throws RenderError naming it when it could not be written.
    void close();
    int frames() const { return count; }

private:
    std::string path;
    GifFileType *file = nullptr;
    int width, height, delay, count = 0;
};

} // namespace render

#endif
