// Keyed line reader and writer over the host's load and save states, or over a C stream.
//
// A line is "key : value", optionally opened by a marker ("{", "}", "[", "]", "#") and indented two
// spaces per open block or list. Over a host state each line travels as a text line or, in the
// binary form, as an unsigned 16-bit count followed by the line and its NUL. A save ends with
// "End All". Load data comes from files anyone can edit, so every host count is bounded by the
// buffers here; nothing is allocated.
#ifndef OSTREVIN_FRAMEWORK_STATE_STREAM_H
#define OSTREVIN_FRAMEWORK_STATE_STREAM_H

#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "framework/host_api.h"

#if defined(__GNUC__) || defined(__clang__)
#define OSTREVIN_PRINTF_MEMBER(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define OSTREVIN_PRINTF_MEMBER(fmt, args)
#endif

namespace ostrevin {

enum StreamMode : std::int32_t {
    TextFile = 0,   // state is a C stream (FILE *) opened and closed by the owner
    Load = 1,       // state is the host's LWLoadState
    Save = 2,       // state is the host's LWSaveState
};

enum LineKind : std::int32_t {
    Any = 0,        // before the first parse, and the wildcard of matches()
    Entry = 1,
    BlockOpen = 2,
    BlockClose = 3,
    ListOpen = 4,
    ListClose = 5,
    Comment = 6,
};

class StateStream {
public:
    static constexpr int textLength = 256;
    static constexpr int lineLength = 512;
    static constexpr int indentLength = 32;

    StateStream(StreamMode mode, void *state) noexcept;
    ~StateStream() = default;
    StateStream(const StateStream &) = delete;
    StateStream &operator=(const StateStream &) = delete;

    // The next line in `line`, or null at the end of the data.
    char *readLine() noexcept;
    // Splits `line` into kind, key and value; null when it is the end line.
    char *parseLine() noexcept;

    bool next() noexcept { return readLine() != nullptr && parseLine() != nullptr; }

    bool matches(const char *wanted, LineKind wantedKind) const noexcept
    {
        return (wanted == nullptr || std::strcmp(wanted, key) == 0) && (wantedKind == Any || wantedKind == kind);
    }

    bool getInt(const char *wanted, int &out) const noexcept
    {
        if (!matches(wanted, Any))
            return false;
        out = toInt(value);
        return true;
    }

    bool getString(const char *wanted, char (&out)[textLength]) const noexcept
    {
        if (!matches(wanted, Any))
            return false;
        std::memcpy(out, value, sizeof out);   // value is always terminated within its 256 bytes
        out[textLength - 1] = '\0';
        return true;
    }

    void writeLine(LineKind lineKind, const char *lineKey, const char *format, ...) noexcept
        OSTREVIN_PRINTF_MEMBER(4, 5);
    void writeEntry(const char *lineKey, const char *format, ...) noexcept OSTREVIN_PRINTF_MEMBER(3, 4);

    void writeEnd() noexcept
    {
        std::memcpy(line, endLine, sizeof endLine);
        emitLine();
    }

    // Sends `line` as mode and binary say.
    void emitLine() noexcept;

    // atoi's reading (blanks, sign, digits up to the first other character), clamped to int
    // instead of overflowing on absurd digit runs.
    static int toInt(const char *text) noexcept
    {
        const long n = std::strtol(text, nullptr, 10);
        return n > INT_MAX ? INT_MAX : n < INT_MIN ? INT_MIN : static_cast<int>(n);
    }

    static constexpr char endLine[] = "End All";

    void *state;
    StreamMode mode;
    bool binary;
    int indentCount = 0;
    char indent[indentLength] = {};
    char line[lineLength] = {};
    char keyOut[textLength] = {};
    char valueOut[textLength] = {};
    char separator = ':';
    char key[textLength] = {};
    char value[textLength] = {};
    LineKind kind = Any;

private:
    void compose(LineKind lineKind, const char *lineKey, const char *format, std::va_list args) noexcept
        OSTREVIN_PRINTF_MEMBER(4, 0);
    void rebuildIndent() noexcept;
    char *readText() noexcept;
    char *readRecord() noexcept;
};

} // namespace ostrevin

#endif
