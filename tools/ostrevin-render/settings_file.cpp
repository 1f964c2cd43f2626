#include "tools/ostrevin-render/settings_file.h"

#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
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
        saved.entries.emplace_back(key, value);
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

namespace {

// A decimal number and nothing else, as the module would write it.
bool exactNumber(const std::string &text, double &out)
{
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char *end = nullptr;
    out = std::strtod(text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite(out);
}

std::string shortNumber(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

} // namespace

std::vector<std::string> settingsChanges(const SavedSettings &file, const LoadedSettings &loaded,
                                         const std::string &source)
{
    static const char *const rules[] = {"Even-Odd", "Non-Zero", "Tolerant"};
    std::vector<std::string> changes;
    auto loadsAs = [&](const std::string &key, const std::string &value, const std::string &as) {
        changes.push_back(source + ": " + key + " : " + value + " loads as " + as);
    };
    for (std::size_t i = 0; i < file.entries.size(); ++i) {
        const auto &[key, value] = file.entries[i];
        std::size_t last = i;
        for (std::size_t later = i + 1; later < file.entries.size(); ++later)
            if (file.entries[later].first == key)
                last = later;
        if (last != i) {
            changes.push_back(source + ": " + key + " : " + value + " is given again; the module keeps the last, " +
                              file.entries[last].second);
            continue;
        }
        long whole = 0;
        double number = 0.0;
        if (key == "fillRule" || key == "children" || key == "flipFlg") {
            const int held = key == "fillRule" ? loaded.fillRule : key == "children" ? loaded.children : loaded.flip;
            if (!wholeNumber(value, 10, whole) || whole != held)
                loadsAs(key, value,
                        std::to_string(held) +
                            (key == "fillRule" && held >= 0 && held < 3 ? std::string(" (") + rules[held] + ")" : ""));
        } else if (key == "softEdge") {
            if (!exactNumber(value, number) || number != loaded.softEdge)
                loadsAs(key, value, shortNumber(loaded.softEdge));
        } else if (key == "version") {
            if (!exactNumber(value, number))
                changes.push_back(source + ": version : " + value +
                                  " is not a version; the module reads the keys it knows");
            else if (number > loaded.version)
                changes.push_back(source + ": version : " + value + " is newer than the module's " +
                                  shortNumber(loaded.version) + "; it reads the keys it knows and drops the rest");
        } else if (key != "itemID" && key != "itemName") {
            changes.push_back(source + ": the module does not read \"" + key + " : " + value + "\"");
        }
    }
    return changes;
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
