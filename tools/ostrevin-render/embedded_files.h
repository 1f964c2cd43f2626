// The bundled example scene, compiled into the program, and an Assimp file system that serves it,
// so the scene's references to its object files resolve without touching the disk.
#ifndef OSTREVIN_TOOLS_RENDER_EMBEDDED_FILES_H
#define OSTREVIN_TOOLS_RENDER_EMBEDDED_FILES_H

#include <cstddef>
#include <string>
#include <vector>

#include <assimp/IOSystem.hpp>

namespace render {

struct EmbeddedFile {
    const char *name;
    const unsigned char *data;
    std::size_t size;
};

// Generated at build time from examples/.
const std::vector<EmbeddedFile> &embeddedFiles();
extern const char *const embeddedSceneName;

// Read-only; a file is found by its base name, whatever directory the importer puts before it.
class EmbeddedIOSystem : public Assimp::IOSystem {
public:
    bool Exists(const char *file) const override;
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream *Open(const char *file, const char *mode = "rb") override;
    void Close(Assimp::IOStream *stream) override;

    static const EmbeddedFile *find(const std::string &path);
};

} // namespace render

#endif
