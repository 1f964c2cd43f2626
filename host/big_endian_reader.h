// A cursor over big-endian bytes, as the host's object files store them: every read checks what
// remains first and, when too little does, reads nothing and answers false.
#ifndef OSTREVIN_HOST_BIG_ENDIAN_READER_H
#define OSTREVIN_HOST_BIG_ENDIAN_READER_H

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace standin {

class BigEndianReader {
public:
    BigEndianReader(const unsigned char *begin, const unsigned char *end) noexcept : at(begin), end(end) {}

    std::size_t remaining() const noexcept { return static_cast<std::size_t>(end - at); }
    const unsigned char *position() const noexcept { return at; }
    bool skip(std::size_t n) noexcept
    {
        if (n > remaining())
            return false;
        at += n;
        return true;
    }
    bool u2(std::uint32_t &value) noexcept
    {
        if (remaining() < 2)
            return false;
        value = static_cast<std::uint32_t>(at[0]) << 8 | at[1];
        at += 2;
        return true;
    }
    bool u4(std::uint32_t &value) noexcept
    {
        if (remaining() < 4)
            return false;
        value = static_cast<std::uint32_t>(at[0]) << 24 | static_cast<std::uint32_t>(at[1]) << 16 |
                static_cast<std::uint32_t>(at[2]) << 8 | at[3];
        at += 4;
        return true;
    }
    bool f4(float &value) noexcept
    {
        std::uint32_t bits = 0;
        if (!u4(bits))
            return false;
        std::memcpy(&value, &bits, sizeof value);
        return true;
    }
    // A four-character chunk or form identifier.
    bool id(char out[4]) noexcept
    {
        if (remaining() < 4)
            return false;
        std::memcpy(out, at, 4);
        at += 4;
        return true;
    }
    // The variable-length index of the newer object format: two bytes, or four when the first
    // byte is 0xFF (its low 24 bits the index).
    bool vx(std::uint32_t &value) noexcept
    {
        if (remaining() >= 1 && at[0] == 0xFF) {
            if (!u4(value))
                return false;
            value &= 0x00FFFFFFu;
            return true;
        }
        return u2(value);
    }

private:
    const unsigned char *at;
    const unsigned char *end;
};

} // namespace standin

#endif
