// Copying text into the fixed 256-byte buffers of instances and streams.
#ifndef OSTREVIN_FRAMEWORK_FIXED_TEXT_H
#define OSTREVIN_FRAMEWORK_FIXED_TEXT_H

#include <cstddef>
#include <cstring>

namespace ostrevin {

// Copies `text` with its terminator, cut to what fits; null copies as empty. Host names have no
// length limit, and a cut name beats a refused one: the user still sees which object it is.
template <std::size_t N>
void copyText(char (&out)[N], const char *text) noexcept
{
    static_assert(N > 0, "room for the terminator");
    std::size_t n = 0;
    if (text)
        while (n < N - 1 && text[n])
            ++n;
    if (n)
        std::memmove(out, text, n);   // the source may be this very buffer
    out[n] = '\0';
}

} // namespace ostrevin

#endif
