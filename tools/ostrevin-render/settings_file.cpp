#include "tools/ostrevin-render/settings_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

// A saved layer is a few hundred bytes; anything much larger is some other file.
constexpr std::size_t largestFile = 64 * 1024;

bool wholeNumber(const std::string &text, int base, long &out)
{
    if (text.empty() || text.size() > 12)
        return false;
    // Digits only, after a minus sign for decimals: strtol would also take leading white space
    // of any kind, a plus sign or "0x".
    const std::size_t digitsFrom = base == 10 && text[0] == '-' ? 1 : 0;
    if (digitsFrom == text.size())
        return false;
    for (std::size_t i = digitsFrom; i < text.size(); ++i)
        if (!(base == 16 ? std::isxdigit(static_cast<unsigned char>(text[i])) : std::isdigit(static_cast<unsigned char>(text[i]))))
            return false;
    errno = 0;
    char *end = nullptr;
    out = std::strtol(text.c_str(), &end, base);
    // The whole text, a NUL inside it included, must be the number.
    return end == text.c_str() + text.size() && errno == 0 && out >= INT_MIN && out <= INT_MAX;
}

} // namespace

SavedSettings parseSettings(const std::string &bytes, const std::string &source)
{
    auto refuse = [&](const std::string &why) { return RenderError(source + " is not a settings file: " + why); };
    if (bytes.empty())
        throw RenderError(source + " is empty, not a settings file");

    SavedSettings saved;
    saved.bytes = bytes;
    bool haveID = false, haveName = false, haveFlip = false, ended = false;
    std::size_t at = 0;
    int lineNumber = 0;
    // The next line without its newline; false at the end of the data.
    auto nextLine = [&](std::string &line) {
        if (at >= bytes.size())
            return false;
        const std::size_t end = bytes.find('\n', at);
        const std::size_t stop = end == std::string::npos ? bytes.size() : end;
        line.assign(bytes, at, stop - at);
        at = end == std::string::npos ? bytes.size() : end + 1;
        ++lineNumber;
        return true;
    };

    std::string lengthLine, text;
    while (!ended && nextLine(lengthLine)) {
        long length = 0;
        if (!wholeNumber(lengthLine, 16, length) || length < 1 || length > 512)
            throw refuse("line " + std::to_string(lineNumber) + " should give a record's length");
        if (!nextLine(text))
            throw RenderError(source + " is cut short: it ends after line " + std::to_string(lineNumber));
        for (char c : text)
            if (static_cast<unsigned char>(c) < 32)
                throw refuse("line " + std::to_string(lineNumber) + " holds control characters");
        if (static_cast<long>(text.size()) + 1 != length)
            throw refuse("line " + std::to_string(lineNumber) + " is not as long as its record says");
        if (text == "End All") {
            ended = true;
            break;
        }
        const std::size_t colon = text.find(" : ");
        if (colon == std::string::npos)
            throw refuse("line " + std::to_string(lineNumber) + " is not \"key : value\"");
        const std::string key = text.substr(0, colon), value = text.substr(colon + 3);
        long number = 0;
        if (key == "itemID" || key == "flipFlg") {
            if (!wholeNumber(value, 10, number))
                throw refuse("line " + std::to_string(lineNumber) + ": " + key + " is not a whole number");
            (key == "itemID" ? saved.itemID : saved.flip) = static_cast<int>(number);
            (key == "itemID" ? haveID : haveFlip) = true;
        } else if (key == "itemName") {
            saved.itemName = value;
            haveName = true;
        }
    }
    if (!ended)
        throw RenderError(source + " is cut short: it ends before \"End All\"");
    if (at < bytes.size())
        throw refuse("more follows its \"End All\"");
    if (!haveID || !haveName || !haveFlip)
        throw RenderError(source + " is cut short: it has no " +
                          (!haveID ? "itemID" : !haveName ? "itemName" : "flipFlg") + " line");
    return saved;
}

SavedSettings readSettingsFile(const std::string &path)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (!fs::exists(status))
        throw RenderError("cannot read settings from " + path + ": no such file");
    if (fs::is_directory(status))
        throw RenderError("cannot read settings from " + path + ": it is a directory");
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        throw RenderError("cannot read settings from " + path);
    std::string bytes;
    char buf[4096];
    for (std::size_t n; bytes.size() <= largestFile && (n = std::fread(buf, 1, sizeof buf, f)) > 0;)
        bytes.append(buf, n);
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed)
        throw RenderError("cannot read settings from " + path);
    if (bytes.size() > largestFile)
        throw RenderError(path + " is not a settings file: it is far too large");
    return parseSettings(bytes, path);
}

} // namespace render
