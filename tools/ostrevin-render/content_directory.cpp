#include "tools/ostrevin-render/content_directory.h"

#include <algorithm>
#include <filesystem>
#include <vector>

namespace render {

namespace fs = std::filesystem;

namespace {

std::string lower(std::string s)
{
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    return s;
}

bool isFile(const fs::path &p)
{
    std::error_code ec;
    return fs::is_regular_file(p, ec);
}

// The file under `base` named by `parts`, each part matched exactly when it exists, else by the
// first entry (in name order) that differs from it only in case.
bool findFolding(const fs::path &base, const std::vector<std::string> &parts, std::size_t from, fs::path &out)
{
    fs::path at = base;
    for (std::size_t i = from; i < parts.size(); ++i) {
        std::error_code ec;
        if (fs::exists(at / parts[i], ec)) {
            at /= parts[i];
            continue;
        }
        std::vector<std::string> matches;
        const std::string wanted = lower(parts[i]);
        for (fs::directory_iterator it(at, ec), end; !ec && it != end; it.increment(ec))
            if (lower(it->path().filename().string()) == wanted)
                matches.push_back(it->path().filename().string());
        if (matches.empty())
            return false;
        at /= *std::min_element(matches.begin(), matches.end());
    }
    if (!isFile(at))
        return false;
    out = at;
    return true;
}

} // namespace

std::string defaultContentDirectory(const std::string &scenePath)
{
    std::error_code ec;
    fs::path folder = fs::absolute(fs::path(scenePath), ec).lexically_normal().parent_path();
    if (lower(folder.filename().string()) == "scenes" && folder.has_parent_path())
        folder = folder.parent_path();
    return folder.string();
}

ObjectLocation locateObject(const std::string &pathText, const std::string &contentDirectory)
{
    std::string text = pathText;
    std::replace(text.begin(), text.end(), '\\', '/');
    // "C:/..." or "Disk:..." names a drive of the machine the scene was saved on.
    bool drive = false;
    const std::size_t colon = text.find(':');
    if (colon != std::string::npos && colon > 0 && text.find('/') > colon) {
        drive = true;
        text = text.substr(colon + 1);
    }
    const bool rooted = !text.empty() && text.front() == '/';
    std::vector<std::string> parts;
    for (std::size_t at = 0; at <= text.size();) {
        const std::size_t slash = std::min(text.find('/', at), text.size());
        const std::string part = text.substr(at, slash - at);
        if (!part.empty() && part != ".")
            parts.push_back(part);
        at = slash + 1;
    }

    std::error_code ec;
    const fs::path content = fs::absolute(fs::path(contentDirectory), ec).lexically_normal();
    ObjectLocation where;
    fs::path joined = content;
    for (const std::string &p : parts)
        joined /= p;
    where.path = where.lookedFor = joined.lexically_normal().string();
    if (parts.empty())
        return where;

    fs::path found;
    // A path rooted on this machine is tried as written first.
    if (rooted && !drive && findFolding("/", parts, 0, found)) {
        where.found = true;
        where.path = found.string();
        return where;
    }
    // A relative path is taken from the content directory; an absolute one from another machine
    // is tried there whole and then without its leading folders, down to the file name alone.
    const std::size_t tails = rooted || drive ? parts.size() : 1;
    for (std::size_t from = 0; from < tails; ++from)
        if (findFolding(content, parts, from, found)) {
            where.found = true;
            where.path = found.string();
            return where;
        }
    if (tails > 1)
        where.lookedFor = "under " + content.string() + " for " + text + " and its tails";
    return where;
}

} // namespace render
