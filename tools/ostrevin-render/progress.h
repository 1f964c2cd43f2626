// Progress of a render: a redrawn bar on a terminal, plain lines otherwise, or nothing.
#ifndef OSTREVIN_TOOLS_RENDER_PROGRESS_H
#define OSTREVIN_TOOLS_RENDER_PROGRESS_H

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

namespace render {

class Progress {
public:
    enum class Style { Bar, Lines, Quiet };

    Progress(std::FILE *stream, Style style) : out(stream), style(style) {}
    // A bar when the stream is a terminal, lines when it is not, nothing when quiet.
    static Style styleFor(std::FILE *stream, bool quiet);

    void start(long long totalPoints);
    // Points done so far in the whole render, and what is being worked on.
    void update(long long pointsDone, const std::string &what);
    // A finished step, such as a written file: a line of its own, except under the bar.
    void note(const std::string &line);
    void finish();
    // Ends a half-drawn bar so that an error message starts on a line of its own.
    void abandon();
    // One "ostrevin-render: warning: ..." line, quiet or not; kept for warnings().
    void warn(const std::string &text);
    const std::vector<std::string> &warnings() const { return warned; }

private:
    int percent(long long done) const;
    void draw(long long done, const std::string &what);

    std::FILE *out;
    Style style;
    long long total = 0;
    long long latest = 0;
    std::string current;
    bool drawn = false;
    std::chrono::steady_clock::time_point lastDraw{};
    std::chrono::steady_clock::time_point started{};
    std::vector<std::string> warned;
};

// "0:12 elapsed, about 0:17 left" for the share done so far; no estimate before 1% is done.
std::string timingText(double elapsedSeconds, double shareDone);

} // namespace render

#endif
