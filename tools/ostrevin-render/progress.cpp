#include "tools/ostrevin-render/progress.h"

#include <algorithm>
#include <cstdio>

#if defined(_WIN32)
#include <io.h>
#define OSTREVIN_ISATTY _isatty
#define OSTREVIN_FILENO _fileno
#else
#include <unistd.h>
#define OSTREVIN_ISATTY isatty
#define OSTREVIN_FILENO fileno
#endif

namespace render {

namespace {

constexpr int barWidth = 32;

std::string clock(double seconds)
{
    const long long s = seconds > 0 && seconds < 1e9 ? static_cast<long long>(seconds + 0.5) : 0;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
    return text;
}

} // namespace

std::string timingText(double elapsedSeconds, double shareDone)
{
    std::string text = clock(elapsedSeconds) + " elapsed";
    if (shareDone >= 0.01 && shareDone < 1.0)
        text += ", about " + clock(elapsedSeconds * (1.0 - shareDone) / shareDone) + " left";
    return text;
}

Progress::Style Progress::styleFor(std::FILE *stream, bool quiet)
{
    if (quiet || !stream)
        return Style::Quiet;
    return OSTREVIN_ISATTY(OSTREVIN_FILENO(stream)) ? Style::Bar : Style::Lines;
}

int Progress::percent(long long done) const
{
    if (total <= 0)
        return 100;
    return static_cast<int>(std::min<long long>(100, std::max<long long>(0, done * 100 / total)));
}

void Progress::start(long long totalPoints)
{
    total = totalPoints;
    latest = 0;
    drawn = false;
    lastDraw = {};
    started = std::chrono::steady_clock::now();
}

void Progress::draw(long long done, const std::string &what)
{
    const int p = percent(done);
    const int filled = p * barWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(barWidth, '.');
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const double share = total > 0 ? static_cast<double>(std::min(done, total)) / static_cast<double>(total) : 1.0;
    const std::string timing = timingText(elapsed, share);
    std::fprintf(out, "\r[%s] %3d%%  %-28.28s %-32.32s", bar.c_str(), p, what.c_str(), timing.c_str());
    std::fflush(out);
    drawn = true;
    lastDraw = std::chrono::steady_clock::now();
}

void Progress::update(long long pointsDone, const std::string &what)
{
    latest = std::max(latest, pointsDone);
    current = what;
    if (style != Style::Bar)
        return;
    // A terminal is redrawn a few times a second at most.
    if (drawn && std::chrono::steady_clock::now() - lastDraw < std::chrono::milliseconds(80))
        return;
    draw(latest, current);
}

void Progress::note(const std::string &line)
{
    if (style == Style::Lines) {
        std::fprintf(out, "[%3d%%] %s\n", percent(latest), line.c_str());
        std::fflush(out);
    } else if (style == Style::Bar) {
        draw(latest, current);
    }
}

void Progress::finish()
{
    if (style == Style::Bar) {
        draw(total, "done");
        std::fputc('\n', out);
        std::fflush(out);
    }
}

void Progress::warn(const std::string &text)
{
    warned.push_back(text);
    if (!out)
        return;
    abandon();
    std::fprintf(out, "ostrevin-render: warning: %s\n", text.c_str());
    std::fflush(out);
}

void Progress::abandon()
{
    if (style == Style::Bar && drawn) {
        std::fputc('\n', out);
        std::fflush(out);
        drawn = false;
    }
}

} // namespace render
