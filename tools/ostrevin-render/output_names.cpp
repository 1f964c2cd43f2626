#include "tools/ostrevin-render/output_names.h"

#include <cctype>
#include <cstdio>

#include "tools/ostrevin-render/errors.h"

namespace render {

namespace {

const char *const kinds[] = {"slice", "volume", "sheet"};
const char *const extension = ".png";

std::size_t digitsFrom(const std::string &s, std::size_t at)
{
    std::size_t n = 0;
    while (at + n < s.size() && std::isdigit(static_cast<unsigned char>(s[at + n])))
        ++n;
    return n;
}

} // namespace

NamePattern::NamePattern(const std::string &text) : pattern(text)
{
    auto bad = [&](const std::string &why) { return UsageError("--name " + text + ": " + why); };
    std::string literal;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '/' || c == '\\')
            throw bad("names only; --out gives the directory");
        if (c == '}')
            throw bad("a '}' without its '{'");
        if (c != '{') {
            literal += c;
            continue;
        }
        const std::size_t close = text.find('}', i);
        if (close == std::string::npos)
            throw bad("a '{' without its '}'");
        const std::string inside = text.substr(i + 1, close - i - 1);
        const std::size_t colon = inside.find(':');
        const std::string key = inside.substr(0, colon);
        int width = 0;
        if (colon != std::string::npos) {
            const std::string w = inside.substr(colon + 1);
            if (w.empty() || w.size() > 2 || digitsFrom(w, 0) != w.size() || std::stoi(w) > 12)
                throw bad("{" + inside + "} wants a width from 0 to 12, as in {frame:04}");
            width = std::stoi(w);
        }
        const Field field = key == "kind" && colon == std::string::npos ? Field::Kind
                            : key == "frame"                            ? Field::Frame
                            : key == "index"                            ? Field::Index
                                                                        : Field::Literal;
        if (field == Field::Literal)
            throw bad("unknown field {" + inside + "} (there are {kind}, {frame} and {index})");
        hasKind = hasKind || field == Field::Kind;
        hasFrame = hasFrame || field == Field::Frame;
        hasIndex = hasIndex || field == Field::Index;
        if (!literal.empty())
            parts.push_back({Field::Literal, literal, 0});
        literal.clear();
        parts.push_back({field, {}, width});
        i = close;
    }
    if (text.size() < 4 || text.compare(text.size() - 4, 4, extension) != 0)
        literal += extension;
    parts.push_back({Field::Literal, literal, 0});
    if (!hasKind)
        throw bad("it needs {kind}, or the slice would overwrite the X-ray");
}

std::string NamePattern::name(const std::string &kind, int frame, int index) const
{
    std::string out;
    char number[32];
    for (const Part &p : parts) {
        if (p.field == Field::Literal) {
            out += p.literal;
        } else if (p.field == Field::Kind) {
            out += kind;
        } else {
            std::snprintf(number, sizeof number, "%0*d", p.width, p.field == Field::Frame ? frame : index);
            out += number;
        }
    }
    return out;
}

bool NamePattern::matches(const std::string &fileName) const { return matchFrom(0, fileName, 0); }

bool NamePattern::matchFrom(std::size_t part, const std::string &name, std::size_t at) const
{
    if (part == parts.size())
        return at == name.size();
    const Part &p = parts[part];
    switch (p.field) {
    case Field::Literal:
        return name.compare(at, p.literal.size(), p.literal) == 0 && matchFrom(part + 1, name, at + p.literal.size());
    case Field::Kind:
        for (const char *k : kinds) {
            const std::string kind = k;
            if (name.compare(at, kind.size(), kind) == 0 && matchFrom(part + 1, name, at + kind.size()))
                return true;
        }
        return false;
    case Field::Frame:
    case Field::Index: {
        const std::size_t sign = p.field == Field::Frame && at < name.size() && name[at] == '-' ? 1 : 0;
        const std::size_t digits = digitsFrom(name, at + sign);
        // Try every length of the digit run, since the next part may start with a digit too.
        for (std::size_t n = digits; n >= 1; --n)
            if (matchFrom(part + 1, name, at + sign + n))
                return true;
        return false;
    }
    }
    return false;
}

std::string defaultNamePattern(int firstFrame)
{
    return firstFrame < 0 ? "{kind}_{index:04}_f{frame}" : "{kind}_{frame:04}";
}

} // namespace render
