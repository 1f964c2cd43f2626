#include "host/states.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <type_traits>

namespace standin {

namespace {

void appendBigEndian(std::string &out, std::uint64_t value, std::size_t width)
{
    for (std::size_t i = width; i-- > 0;)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

template <typename T> std::uint64_t bitsOf(T value)
{
    if constexpr (std::is_floating_point_v<T>) {
        using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
        Bits bits;
        std::memcpy(&bits, &value, sizeof bits);
        return bits;
    } else {
        return static_cast<std::uint64_t>(static_cast<std::make_unsigned_t<T>>(value));
    }
}

template <typename T> T fromBits(std::uint64_t bits)
{
    if constexpr (std::is_floating_point_v<T>) {
        using Bits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
        const auto narrow = static_cast<Bits>(bits);
        T value;
        std::memcpy(&value, &narrow, sizeof value);
        return value;
    } else {
        return static_cast<T>(static_cast<std::make_unsigned_t<T>>(bits));
    }
}

std::string idText(LWID id)
{
    std::string text;
    appendBigEndian(text, id, 4);
    return text;
}

std::string blockName(const LWBlockIdent *id)
{
    if (!id)
        return {};
    return id->token ? id->token : idText(id->id);
}

// The ID of the list entry named `name` (by token, or by its four characters), or 0.
LWID matchName(const LWBlockIdent *ids, const std::string &name)
{
    for (std::size_t i = 0; ids && ids[i].id; ++i)
        if (blockName(&ids[i]) == name || idText(ids[i].id) == name)
            return ids[i].id;
    return 0;
}

bool listed(const LWBlockIdent *ids, LWID id)
{
    for (std::size_t i = 0; ids && ids[i].id; ++i)
        if (ids[i].id == id)
            return true;
    return false;
}

std::string trimmed(const std::string &text)
{
    const auto begin = text.find_first_not_of(" \t\r");
    if (begin == std::string::npos)
        return {};
    const auto end = text.find_last_not_of(" \t\r");
    return text.substr(begin, end - begin + 1);
}

// Numbers: big-endian in binary; in text one line per call, unsigned ones in hexadecimal.
template <typename T> std::string formatNumbers(StateForm form, const T *vals, int n)
{
    std::string out;
    std::ostringstream text;
    for (int i = 0; vals && i < n; ++i) {
        if (form == StateForm::Binary) {
            appendBigEndian(out, bitsOf(vals[i]), sizeof(T));
            continue;
        }
        if (i)
            text << ' ';
        if constexpr (std::is_floating_point_v<T>) {
            text.precision(sizeof(T) == 4 ? 9 : 17);
            text << vals[i];
        } else if constexpr (std::is_unsigned_v<T>) {
            text << std::hex << std::uppercase << static_cast<std::uint64_t>(vals[i]) << std::dec;
        } else {
            text << static_cast<std::int64_t>(vals[i]);
        }
    }
    return form == StateForm::Text ? text.str() + "\n" : out;
}

} // namespace

// ---- Save state -------------------------------------------------------------------------------

SaveState::SaveState(StateForm form, const std::string &path) : kind(form)
{
    table.ioMode = form == StateForm::Binary ? LWIO_BINARY : LWIO_ASCII;
    table.writeData = this;
    table.write = write;
    table.writeI1 = writeI1;
    table.writeI2 = writeI2;
    table.writeI4 = writeI4;
    table.writeU1 = writeU1;
    table.writeU2 = writeU2;
    table.writeU4 = writeU4;
    table.writeFP = writeFP;
    table.writeStr = writeStr;
    table.writeID = writeID;
    table.beginBlk = beginBlk;
    table.endBlk = endBlk;
    table.depth = depth;
    table.writeDP = writeDP;
    if (!path.empty())
        file = std::fopen(path.c_str(), "wb");
}

SaveState::~SaveState() { close(); }

void SaveState::close()
{
    if (file)
        std::fclose(file);
    file = nullptr;
}

std::size_t SaveState::count(const std::string &member) const
{
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const StateCall &c) { return c.member == member; }));
}

void SaveState::put(const std::string &bytes)
{
    data += bytes;
    if (file)
        std::fwrite(bytes.data(), 1, bytes.size(), file);
}

void SaveState::putLine(const std::string &text) { put(text + "\n"); }

void SaveState::write(void *data, const char *buf, int len)
{
    SaveState &s = self(data);
    std::string bytes;
    if (s.kind == StateForm::Binary) {
        if (buf && len > 0)
            bytes.assign(buf, static_cast<std::size_t>(len));
        s.put(bytes);
    } else {
        // The length comes from the NUL, whatever `len` says; bytes below 32 are not stored.
        for (const char *p = buf; p && *p; ++p)
            if (static_cast<unsigned char>(*p) >= 32)
                bytes.push_back(*p);
        if (buf)
            s.putLine(bytes);
    }
    s.record("write", len, static_cast<int>(bytes.size()));
}

#define OSTREVIN_STANDIN_WRITER(name, type)                                                       \
    void SaveState::name(void *data, const type *vals, int n)                                     \
    {                                                                                              \
        SaveState &s = self(data);                                                                 \
        const std::string bytes = formatNumbers(s.kind, vals, n);                                  \
        s.put(bytes);                                                                              \
        s.record(#name, n, static_cast<int>(bytes.size()));                                        \
    }

OSTREVIN_STANDIN_WRITER(writeI1, char)
OSTREVIN_STANDIN_WRITER(writeI2, short)
OSTREVIN_STANDIN_WRITER(writeI4, int)
OSTREVIN_STANDIN_WRITER(writeU1, unsigned char)
OSTREVIN_STANDIN_WRITER(writeU2, unsigned short)
OSTREVIN_STANDIN_WRITER(writeU4, unsigned int)
OSTREVIN_STANDIN_WRITER(writeFP, float)
OSTREVIN_STANDIN_WRITER(writeDP, double)
#undef OSTREVIN_STANDIN_WRITER

void SaveState::writeStr(void *data, const char *str)
{
    SaveState &s = self(data);
    const std::string text = str ? str : "";
    std::string bytes;
    if (s.kind == StateForm::Binary) {
        bytes = text;
        bytes.push_back('\0');
        if (bytes.size() % 2)
            bytes.push_back('\0');   // strings keep the data even, as the file format wants
        s.put(bytes);
    } else {
        s.putLine(text);
        bytes = text + "\n";
    }
    s.record("writeStr", static_cast<int>(text.size()), static_cast<int>(bytes.size()));
}

void SaveState::writeID(void *data, const LWBlockIdent *id)
{
    SaveState &s = self(data);
    std::string bytes;
    if (id) {
        if (s.kind == StateForm::Binary)
            appendBigEndian(bytes, id->id, 4);
        else
            bytes = blockName(id) + "\n";
        s.put(bytes);
    }
    s.record("writeID", 1, static_cast<int>(bytes.size()));
}

void SaveState::beginBlk(void *data, const LWBlockIdent *id, int leaf)
{
    SaveState &s = self(data);
    const std::size_t before = s.data.size();
    if (s.kind == StateForm::Binary) {
        std::string header;
        appendBigEndian(header, id ? id->id : 0, 4);
        appendBigEndian(header, 0, 4);   // the length, filled in by endBlk
        s.openBlocks.push_back(before + 4);
        s.put(header);
    } else {
        s.openBlocks.push_back(before);
        s.putLine("{ " + blockName(id));
    }
    s.record("beginBlk", leaf, static_cast<int>(s.data.size() - before));
}

void SaveState::endBlk(void *data)
{
    SaveState &s = self(data);
    const std::size_t before = s.data.size();
    if (!s.openBlocks.empty()) {
        const std::size_t lengthAt = s.openBlocks.back();
        s.openBlocks.pop_back();
        if (s.kind == StateForm::Binary) {
            const std::size_t length = s.data.size() - (lengthAt + 4);
            std::string field;
            appendBigEndian(field, length, 4);
            s.data.replace(lengthAt, 4, field);
            if (s.file) {   // the file already has the placeholder: patch it in place
                std::fseek(s.file, static_cast<long>(lengthAt), SEEK_SET);
                std::fwrite(field.data(), 1, 4, s.file);
                std::fseek(s.file, 0, SEEK_END);
            }
            if (length % 2)
                s.put(std::string(1, '\0'));
        } else {
            s.putLine("}");
        }
    }
    s.record("endBlk", 0, static_cast<int>(s.data.size() - before));
}

int SaveState::depth(void *data)
{
    SaveState &s = self(data);
    const int d = static_cast<int>(s.openBlocks.size());
    s.record("depth", 0, d);
    return d;
}

// ---- Load state -------------------------------------------------------------------------------

LoadState::LoadState(StateForm form, std::string bytes) : kind(form), data(std::move(bytes))
{
    table.ioMode = form == StateForm::Binary ? LWIO_BINARY : LWIO_ASCII;
    table.readData = this;
    table.read = read;
    table.readI1 = readI1;
    table.readI2 = readI2;
    table.readI4 = readI4;
    table.readU1 = readU1;
    table.readU2 = readU2;
    table.readU4 = readU4;
    table.readFP = readFP;
    table.readStr = readStr;
    table.readID = readID;
    table.findBlk = findBlk;
    table.endBlk = endBlk;
    table.depth = depth;
    table.readDP = readDP;
}

std::unique_ptr<LoadState> LoadState::fromFile(StateForm form, const std::string &path)
{
    std::FILE *in = std::fopen(path.c_str(), "rb");
    if (!in)
        return nullptr;
    std::string bytes;
    char chunk[4096];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, in)) > 0;)
        bytes.append(chunk, n);
    std::fclose(in);
    return std::make_unique<LoadState>(form, std::move(bytes));
}

std::size_t LoadState::count(const std::string &member) const
{
    return static_cast<std::size_t>(
        std::count_if(calls.begin(), calls.end(), [&](const StateCall &c) { return c.member == member; }));
}

std::size_t LoadState::limit() const { return blockEnds.empty() ? data.size() : blockEnds.back(); }

bool LoadState::take(void *out, std::size_t n)
{
    if (pos > limit() || limit() - pos < n)
        return false;
    std::memcpy(out, data.data() + pos, n);
    pos += n;
    return true;
}

template <typename T> int LoadState::readBigEndian(T *vals, int n)
{
    int got = 0;
    for (; vals && got < n; ++got) {
        unsigned char bytes[sizeof(T)];
        if (!take(bytes, sizeof bytes))
            break;
        std::uint64_t bits = 0;
        for (unsigned char b : bytes)
            bits = (bits << 8) | b;
        vals[got] = fromBits<T>(bits);
    }
    return got;
}

std::size_t LoadState::lineEnd() const
{
    const std::size_t end = data.find('\n', pos);
    return end == std::string::npos ? data.size() : end;
}

std::string LoadState::restOfLine()
{
    const std::size_t end = lineEnd();
    std::string text = data.substr(pos, end - pos);
    pos = std::min(end + 1, data.size());
    return text;
}

template <typename T> int LoadState::readNumbers(T *vals, int n, int base)
{
    if (atEnd() || !vals || n <= 0)
        return 0;
    const std::string text = restOfLine();
    const char *p = text.c_str();
    int got = 0;
    while (got < n) {
        char *end = nullptr;
        T value{};
        if constexpr (std::is_floating_point_v<T>) {
            value = static_cast<T>(std::strtod(p, &end));
        } else if constexpr (std::is_unsigned_v<T>) {
            value = static_cast<T>(std::strtoull(p, &end, base));
        } else {
            value = static_cast<T>(std::strtoll(p, &end, base));
        }
        if (end == p)
            break;
        vals[got++] = value;
        p = end;
    }
    return got;
}

int LoadState::read(void *data, char *buf, int len)
{
    LoadState &s = self(data);
    if (s.kind == StateForm::Binary) {
        if (!buf || len <= 0)
            return s.record("read", len, 0);
        const std::size_t n = std::min(static_cast<std::size_t>(len), s.limit() - std::min(s.pos, s.limit()));
        std::memcpy(buf, s.data.data() + s.pos, n);
        s.pos += n;
        return s.record("read", len, static_cast<int>(n));
    }
    if (s.atEnd())
        return s.record("read", len, -1);
    if (!buf || len <= 0)
        return s.record("read", len, 0);
    // Up to `len` bytes of the current line; a line taken whole moves on to the next one.
    const std::size_t end = s.lineEnd();
    const std::size_t n = std::min(static_cast<std::size_t>(len), end - s.pos);
    std::memcpy(buf, s.data.data() + s.pos, n);
    s.pos += n;
    if (s.pos == end)
        s.pos = std::min(end + 1, s.data.size());
    return s.record("read", len, static_cast<int>(n));
}

#define OSTREVIN_STANDIN_READER(name, type, base)                                                 \
    int LoadState::name(void *data, type *vals, int n)                                            \
    {                                                                                              \
        LoadState &s = self(data);                                                                 \
        const int got = s.kind == StateForm::Binary ? s.readBigEndian(vals, n) : s.readNumbers(vals, n, base); \
        return s.record(#name, n, got);                                                            \
    }

OSTREVIN_STANDIN_READER(readI1, char, 10)
OSTREVIN_STANDIN_READER(readI2, short, 10)
OSTREVIN_STANDIN_READER(readI4, int, 10)
OSTREVIN_STANDIN_READER(readU1, unsigned char, 16)
OSTREVIN_STANDIN_READER(readU2, unsigned short, 16)
OSTREVIN_STANDIN_READER(readU4, unsigned int, 16)
OSTREVIN_STANDIN_READER(readFP, float, 10)
OSTREVIN_STANDIN_READER(readDP, double, 10)
#undef OSTREVIN_STANDIN_READER

int LoadState::readStr(void *data, char *buf, int max)
{
    LoadState &s = self(data);
    std::string text;
    if (s.kind == StateForm::Binary) {
        const std::size_t end = s.limit();
        if (s.pos >= end)
            return s.record("readStr", max, -1);
        const std::size_t start = s.pos;
        while (s.pos < end && s.data[s.pos])
            text.push_back(s.data[s.pos++]);
        if (s.pos < end)
            ++s.pos;   // the NUL
        if ((s.pos - start) % 2 && s.pos < end)
            ++s.pos;   // the pad byte
    } else {
        if (s.atEnd())
            return s.record("readStr", max, -1);
        text = s.restOfLine();
    }
    if (!buf || max <= 0)
        return s.record("readStr", max, 0);
    const std::size_t n = std::min(text.size(), static_cast<std::size_t>(max - 1));
    std::memcpy(buf, text.data(), n);
    buf[n] = '\0';
    return s.record("readStr", max, static_cast<int>(n));
}

LWID LoadState::readID(void *data, const LWBlockIdent *ids)
{
    LoadState &s = self(data);
    LWID id = 0;
    if (s.kind == StateForm::Binary) {
        unsigned int raw = 0;
        if (s.readBigEndian(&raw, 1) == 1 && listed(ids, raw))
            id = raw;
    } else if (!s.atEnd()) {
        id = matchName(ids, trimmed(s.restOfLine()));
    }
    s.record("readID", 1, static_cast<int>(id));
    return id;
}

LWID LoadState::findBlk(void *data, const LWBlockIdent *ids)
{
    LoadState &s = self(data);
    LWID found = 0;
    if (s.kind == StateForm::Binary) {
        // Blocks of other IDs are skipped; the search stays inside the enclosing block.
        unsigned int header[2];
        while (!found && s.readBigEndian(header, 2) == 2) {
            const std::size_t end = s.pos + std::min<std::size_t>(header[1], s.limit() - s.pos);
            if (listed(ids, header[0])) {
                found = header[0];
                s.blockEnds.push_back(end);
                s.blockPads.push_back(header[1] % 2 != 0);
            } else {
                s.pos = std::min(end + (header[1] % 2), s.limit());
            }
        }
    } else {
        while (!found && !s.atEnd()) {
            const std::string text = trimmed(s.data.substr(s.pos, s.lineEnd() - s.pos));
            if (text == "}")
                break;   // the enclosing block ends: left for its endBlk
            s.restOfLine();
            if (text.rfind("{", 0) != 0)
                continue;
            found = matchName(ids, trimmed(text.substr(1)));
            if (found) {
                ++s.textDepth;
            } else {
                for (int nesting = 1; nesting > 0 && !s.atEnd();) {
                    const std::string inner = trimmed(s.restOfLine());
                    nesting += inner.rfind("{", 0) == 0 ? 1 : inner == "}" ? -1 : 0;
                }
            }
        }
    }
    s.record("findBlk", 0, static_cast<int>(found));
    return found;
}

void LoadState::endBlk(void *data)
{
    LoadState &s = self(data);
    if (s.kind == StateForm::Binary) {
        if (!s.blockEnds.empty()) {
            const std::size_t end = s.blockEnds.back();
            const bool padded = s.blockPads.back();
            s.blockEnds.pop_back();
            s.blockPads.pop_back();
            s.pos = std::min(end + (padded ? 1 : 0), s.limit());
        }
    } else if (s.textDepth > 0) {
        for (int nesting = 1; nesting > 0 && !s.atEnd();) {
            const std::string inner = trimmed(s.restOfLine());
            nesting += inner.rfind("{", 0) == 0 ? 1 : inner == "}" ? -1 : 0;
        }
        --s.textDepth;
    }
    s.record("endBlk", 0, 0);
}

int LoadState::depth(void *data)
{
    LoadState &s = self(data);
    return s.record("depth", 0, s.kind == StateForm::Binary ? static_cast<int>(s.blockEnds.size()) : s.textDepth);
}

} // namespace standin
