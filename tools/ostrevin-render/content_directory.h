// Where a scene's object files are, found as the host finds them: paths written with either
// slash, with or without a drive, taken from the content directory, and on a file system that
// tells case apart, matched without regard to case one folder at a time.
#ifndef OSTREVIN_TOOLS_RENDER_CONTENT_DIRECTORY_H
#define OSTREVIN_TOOLS_RENDER_CONTENT_DIRECTORY_H

#include <string>

namespace render {

// The parent of the scene's folder when that folder is called Scenes (in any case), else the
// scene's folder.
std::string defaultContentDirectory(const std::string &scenePath);

struct ObjectLocation {
    bool found = false;
    std::string path;        // the file found, or where it was looked for
    std::string lookedFor;   // for messages: where it was looked for
};

ObjectLocation locateObject(const std::string &pathText, const std::string &contentDirectory);

} // namespace render

#endif
