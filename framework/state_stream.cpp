// Keyed line reader and writer over the host's load and save states.
#include "framework/state_stream.h"

#include <cstdio>

namespace ostrevin {

namespace {

bool isBlank(char c) noexcept { return c == ' ' || c == '\n'; }

// Copies [begin, end) into a text buffer, cut to what fits with its terminator. Blanks the cut
// leaves at the end are dropped too, as a reader would drop them, so a value read, written and
// read again stays the same.
void copyCut(char (&out)[StateStream::textLength], const char *begin, const char *end) noexcept
{
    std::size_t n = static_cast<std::size_t>(end - begin);
    if (n > sizeof out - 1) {
        n = sizeof out - 1;
        while (n > 0 && isBlank(begin[n - 1]))
            --n;
    }
    std::memcpy(out, begin, n);
    out[n] = '\0';
}

std::size_t boundedLength(const char *text, std::size_t limit) noexcept
{
    std::size_t n = 0;
    while (n < limit && text[n])
        ++n;
    return n;
}

const char *markerOf(LineKind kind) noexcept
{
    switch (kind) {
    case BlockOpen: return "{ ";
    case BlockClose: return "} ";
    case ListOpen: return "[ ";
    case ListClose: return "] ";
    case Comment: return "# ";
    default: return "";
    }
}

} // namespace

StateStream::StateStream(StreamMode streamMode, void *hostState) noexcept
    : state(hostState), mode(streamMode), binary(false)
{
    // ioMode is the first member of both host states.
    if (state && mode == Load)
        binary = static_cast<const LWLoadState *>(state)->ioMode == LWIO_BINARY;
    else if (state && mode == Save)
        binary = static_cast<const LWSaveState *>(state)->ioMode == LWIO_BINARY;
}

char *StateStream::readLine() noexcept
{
    if (!state)
        return nullptr;
    if (mode == TextFile)
        return std::fgets(line, textLength, static_cast<std::FILE *>(state));
    if (mode == Load)
        return binary ? readRecord() : readText();
    return nullptr;
}

char *StateStream::readText() noexcept
{
    const auto *load = static_cast<const LWLoadState *>(state);
    if (!load->read)
        return nullptr;
    // The host gives the count of the current line: 0 for an empty line, negative at the end.
    // It need not terminate the text, and stale bytes of an earlier line must not show through.
    int got = load->read(load->readData, line, textLength);
    if (got < 0)
        return nullptr;
    if (got > textLength)
        got = textLength;
    line[got] = '\0';
    return line;
}

char *StateStream::readRecord() noexcept
{
    const auto *load = static_cast<const LWLoadState *>(state);
    if (!load->readU2 || !load->read)
        return nullptr;
    unsigned short count = 0;
    if (load->readU2(load->readData, &count, 1) <= 0 || count == 0)
        return nullptr;

    const int wanted = count < lineLength ? count : lineLength;
    int got = load->read(load->readData, line, wanted);
    if (got <= 0)
        return nullptr;
    if (got > wanted)
        got = wanted;

    // A record longer than the line is consumed whole, so the next count is read where it lies;
    // the excess is dropped. A short read means the record (or the data) ended early.
    if (got == wanted) {
        int rest = count - wanted;
        char scrap[128];
        while (rest > 0) {
            const int piece = rest < static_cast<int>(sizeof scrap) ? rest : static_cast<int>(sizeof scrap);
            const int r = load->read(load->readData, scrap, piece);
            if (r < piece)
                break;
            rest -= piece;
        }
    }
    // The writer's NUL is the record's last byte; a record without one is cut at the buffer's end.
    line[got < lineLength ? got : lineLength - 1] = '\0';
    return line;
}

char *StateStream::parseLine() noexcept
{
    key[0] = '\0';
    value[0] = '\0';
    kind = Entry;
    line[lineLength - 1] = '\0';
    if (std::strcmp(line, endLine) == 0)
        return nullptr;

    const char *p = line;
    while (isBlank(*p))
        ++p;
    if (!*p)
        return key;

    switch (*p) {
    case '#': kind = Comment; break;
    case '[': kind = ListOpen; break;
    case ']': kind = ListClose; break;
    case '{': kind = BlockOpen; break;
    case '}': kind = BlockClose; break;
    default: break;
    }
    if (kind != Entry)
        ++p;
    while (isBlank(*p))
        ++p;
    if (!*p)
        return key;

    const char *colon = std::strchr(p, ':');
    const char *keyEnd = colon ? colon : p + std::strlen(p);
    while (keyEnd > p && isBlank(keyEnd[-1]))
        --keyEnd;
    copyCut(key, p, keyEnd);
    if (!colon)
        return key;

    const char *v = colon + 1;
    while (isBlank(*v))
        ++v;
    const char *valueEnd = v + std::strlen(v);
    while (valueEnd > v && isBlank(valueEnd[-1]))
        --valueEnd;
    copyCut(value, v, valueEnd);
    return key;
}

void StateStream::writeLine(LineKind lineKind, const char *lineKey, const char *format, ...) noexcept
{
    std::va_list args;
    va_start(args, format);
    compose(lineKind, lineKey, format, args);
    va_end(args);
    emitLine();
}

void StateStream::writeEntry(const char *lineKey, const char *format, ...) noexcept
{
    std::va_list args;
    va_start(args, format);
    compose(Entry, lineKey, format, args);
    va_end(args);
    emitLine();
}

void StateStream::compose(LineKind lineKind, const char *lineKey, const char *format, std::va_list args) noexcept
{
    valueOut[0] = '\0';
    if (format && std::vsnprintf(valueOut, sizeof valueOut, format, args) < 0)
        valueOut[0] = '\0';
    if (lineKey)
        copyCut(keyOut, lineKey, lineKey + boundedLength(lineKey, sizeof keyOut - 1));
    else
        keyOut[0] = '\0';
    separator = (lineKey || format) ? ':' : ' ';

    const bool opens = lineKind == BlockOpen || lineKind == ListOpen;
    const bool closes = lineKind == BlockClose || lineKind == ListClose;
    if (closes && indentCount > INT_MIN + 2) {
        indentCount -= 2;
        rebuildIndent();
    }
    if (std::snprintf(line, sizeof line, "%s%s%s %c %s", indent, markerOf(lineKind), keyOut, separator, valueOut) < 0)
        line[0] = '\0';
    if (opens && indentCount < INT_MAX - 2) {
        indentCount += 2;
        rebuildIndent();
    }
}

void StateStream::rebuildIndent() noexcept
{
    // Deeper nesting than the buffer holds is written at the deepest indentation it holds.
    int i = 0;
    for (; i < indentCount && i < indentLength - 1; ++i)
        indent[i] = ' ';
    indent[i] = '\0';
}

void StateStream::emitLine() noexcept
{
    line[lineLength - 1] = '\0';
    if (!state)
        return;
    if (mode == TextFile) {
        std::fprintf(static_cast<std::FILE *>(state), "%s\n", line);
        return;
    }
    if (mode != Save)
        return;

    const auto *save = static_cast<const LWSaveState *>(state);
    const int count = static_cast<int>(std::strlen(line)) + 1;
    if (!save->write)
        return;
    if (binary) {
        // Without the count the record could not be framed: send nothing rather than half of it.
        if (!save->writeU2)
            return;
        const auto n = static_cast<unsigned short>(count);
        save->writeU2(save->writeData, &n, 1);
    }
    save->write(save->writeData, line, count);
}

} // namespace ostrevin
