#include "tools/ostrevin-render/progress.h"

#include <algorithm>

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
}

void Progress::draw(long long done, const std::string &what)
{
    const int p = percent(done);
    const int filled = p * barWidth / 100;
    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(barWidth, '.');
    std::fprintf(out, "\r[%s] %3d%%  %-28.28s", bar.c_str(), p, what.c_str());
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

void Progress::abandon()
{
    if (style == Style::Bar && drawn) {
        std::fputc('\n', out);
        std::fflush(out);
        drawn = false;
    }
}

} // namespace render
