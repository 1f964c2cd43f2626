// Image file names from a pattern such as "{kind}_{frame:04}": fields {kind} (slice, volume or
// sheet), {frame} (the frame number) and {index} (the frame's place in the run, from 0), each
// with an optional zero-padded width; ".png" is added. The same pattern recognises the names it
// makes, so that earlier runs' images can be told from other files.
#ifndef OSTREVIN_TOOLS_RENDER_OUTPUT_NAMES_H
#define OSTREVIN_TOOLS_RENDER_OUTPUT_NAMES_H

#include <string>
#include <vector>

namespace render {

class NamePattern {
public:
    // Throws UsageError naming what is wrong with the pattern.
    explicit NamePattern(const std::string &pattern);

    std::string name(const std::string &kind, int frame, int index) const;
    bool matches(const std::string &fileName) const;
    bool numbersFrames() const { return hasFrame || hasIndex; }
    bool namesKind() const { return hasKind; }
    const std::string &text() const { return pattern; }

private:
    enum class Field { Literal, Kind, Frame, Index };
    struct Part {
        Field field;
        std::string literal;
        int width;
    };
    bool matchFrom(std::size_t part, const std::string &name, std::size_t at) const;

    std::string pattern;
    std::vector<Part> parts;
    bool hasKind = false, hasFrame = false, hasIndex = false;
};

// Frame numbers below zero do not sort as text ("-10" before "-3"), so such runs lead with the
// frame's place in the run and keep the frame number after it.
std::string defaultNamePattern(int firstFrame);

} // namespace render

#endif
