#include "tools/ostrevin-render/embedded_files.h"

#include <assimp/MemoryIOWrapper.h>

namespace render {

const EmbeddedFile *EmbeddedIOSystem::find(const std::string &path)
{
    const std::size_t slash = path.find_last_of("/\\");
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    for (const EmbeddedFile &f : embeddedFiles())
        if (base == f.name)
            return &f;
    return nullptr;
}

bool EmbeddedIOSystem::Exists(const char *file) const { return file && find(file); }

Assimp::IOStream *EmbeddedIOSystem::Open(const char *file, const char *mode)
{
    if (!file || (mode && std::string(mode).find_first_of("wa+") != std::string::npos))
        return nullptr;
    const EmbeddedFile *f = find(file);
    return f ? new Assimp::MemoryIOStream(f->data, f->size, false) : nullptr;
}

void EmbeddedIOSystem::Close(Assimp::IOStream *stream) { delete stream; }

} // namespace render
