// Buffers that only grow: a build reuses last time's buffer and replaces it only when it needs
// more. Allocation failure is an answer, never an exception.
#ifndef OSTREVIN_FRAMEWORK_GROWING_BUFFER_H
#define OSTREVIN_FRAMEWORK_GROWING_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <new>

namespace ostrevin {

// Makes `buffer` hold at least `wanted` elements. A buffer too small is replaced and its content
// not kept; when the new one cannot be had (or its byte size would not fit in size_t) the buffer is
// null, the capacity 0, and the answer false.
template <class T, class Count>
bool growOrFail(T *&buffer, Count &capacity, Count wanted) noexcept
{
    if (wanted <= capacity)
        return true;
    delete[] buffer;
    buffer = nullptr;
    capacity = 0;
    if (static_cast<std::size_t>(wanted) <= SIZE_MAX / sizeof(T))
        buffer = new (std::nothrow) T[static_cast<std::size_t>(wanted)];
    if (!buffer)
        return false;
    capacity = wanted;
    return true;
}

} // namespace ostrevin

#endif
