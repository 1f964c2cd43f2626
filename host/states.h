// The host's load and save states, in its two forms:
// - Binary (object files, ioMode 0): read and write move exactly the bytes asked, raw; numbers are
//   big-endian; a block is its 4-byte ID, a 4-byte length and its contents, padded to even length.
// - Text (scene files, ioMode 1): `write` takes the length from the NUL, not from its argument,
//   drops bytes below 32 and ends the line; numbers go on one line each call (unsigned ones in
//   hexadecimal); `read` gives up to the length asked of the current line, leaving the rest for
//   later reads, returns the count it gave (0 for an empty line) or -1 at the end of the data, and
//   does not terminate the buffer. Number readers take the rest of the current line and move on
//   to the next, so a `read` after `readU2` starts on a fresh line. A block is a "{ token" line and
//   a "}" line; leaf blocks are written like the others.
// Both keep their bytes in memory; a save state may also write them through to a file, and a
// load state may be read from one. Every call is recorded.
#ifndef OSTREVIN_HOST_STATES_H
#define OSTREVIN_HOST_STATES_H

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "framework/host_api.h"

namespace standin {

enum class StateForm { Binary, Text };

struct StateCall {
    std::string member;   // the table member's name: "read", "readU2", "write", ...
    int asked;            // length or number of values passed
    int result;           // what it returned; for writers, the bytes stored
};

class SaveState {
public:
    // With a path, every byte also goes straight to that file (created afresh).
    explicit SaveState(StateForm form, const std::string &path = {});
    ~SaveState();
    SaveState(const SaveState &) = delete;
    SaveState &operator=(const SaveState &) = delete;

    const LWSaveState *state() const { return &table; }
    StateForm form() const { return kind; }
    const std::string &bytes() const { return data; }
    bool fileOpen() const { return file != nullptr; }
    // Flushes and closes the file, if any; bytes() stays.
    void close();

    std::vector<StateCall> calls;
    std::size_t count(const std::string &member) const;

private:
    static SaveState &self(void *data) { return *static_cast<SaveState *>(data); }
    void put(const std::string &bytes);
    void putLine(const std::string &text);
    void record(const char *member, int asked, int stored) { calls.push_back({member, asked, stored}); }

    static void write(void *data, const char *buf, int len);
    static void writeI1(void *data, const char *vals, int n);
    static void writeI2(void *data, const short *vals, int n);
    static void writeI4(void *data, const int *vals, int n);
    static void writeU1(void *data, const unsigned char *vals, int n);
    static void writeU2(void *data, const unsigned short *vals, int n);
    static void writeU4(void *data, const unsigned int *vals, int n);
    static void writeFP(void *data, const float *vals, int n);
    static void writeStr(void *data, const char *str);
    static void writeID(void *data, const LWBlockIdent *id);
    static void beginBlk(void *data, const LWBlockIdent *id, int leaf);
    static void endBlk(void *data);
    static int depth(void *data);
    static void writeDP(void *data, const double *vals, int n);

    LWSaveState table{};
    StateForm kind;
    std::string data;
    std::FILE *file = nullptr;
    std::vector<std::size_t> openBlocks;   // binary: offset of each open block's length field
};

class LoadState {
public:
    LoadState(StateForm form, std::string bytes);
    // The file's bytes, or null when it cannot be read.
    static std::unique_ptr<LoadState> fromFile(StateForm form, const std::string &path);
    LoadState(const LoadState &) = delete;
    LoadState &operator=(const LoadState &) = delete;

    const LWLoadState *state() const { return &table; }
    StateForm form() const { return kind; }
    std::size_t position() const { return pos; }
    bool atEnd() const { return pos >= data.size(); }

    std::vector<StateCall> calls;
    std::size_t count(const std::string &member) const;

private:
    static LoadState &self(void *data) { return *static_cast<LoadState *>(data); }
    int record(const char *member, int asked, int result)
    {
        calls.push_back({member, asked, result});
        return result;
    }

    // Binary form.
    std::size_t limit() const;   // end of the innermost open block, or of the data
    bool take(void *out, std::size_t n);
    template <typename T> int readBigEndian(T *vals, int n);
    // Text form.
    std::string restOfLine();     // the unread part of the current line, which is then consumed
    std::size_t lineEnd() const;
    template <typename T> int readNumbers(T *vals, int n, int base);

    static int read(void *data, char *buf, int len);
    static int readI1(void *data, char *vals, int n);
    static int readI2(void *data, short *vals, int n);
    static int readI4(void *data, int *vals, int n);
    static int readU1(void *data, unsigned char *vals, int n);
    static int readU2(void *data, unsigned short *vals, int n);
    static int readU4(void *data, unsigned int *vals, int n);
    static int readFP(void *data, float *vals, int n);
    static int readStr(void *data, char *buf, int max);
    static LWID readID(void *data, const LWBlockIdent *ids);
    static LWID findBlk(void *data, const LWBlockIdent *ids);
    static void endBlk(void *data);
    static int depth(void *data);
    static int readDP(void *data, double *vals, int n);

    LWLoadState table{};
    StateForm kind;
    std::string data;
    std::size_t pos = 0;
    std::vector<std::size_t> blockEnds;   // binary: end offset of each open block
    std::vector<bool> blockPads;          // binary: whether a pad byte follows it
    int textDepth = 0;
};

} // namespace standin

#endif
