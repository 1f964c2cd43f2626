#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>
#include <tuple>
#include <vector>

#include "framework/state_stream.h"
#include "host/states.h"
#include "support/state_support.h"

using namespace ostrevin;
using settings_test::record;
using settings_test::records;
using settings_test::ScriptedLoad;
using standin::LoadState;
using standin::SaveState;
using standin::StateForm;

namespace {

void writePanelExample(StateStream &s)
{
    s.writeLine(BlockOpen, "Panel", nullptr);
    s.writeEntry("open", "%d", 1);
    s.writeEntry("x", "%d", 120);
    s.writeEntry("y", "%d", -40);
    s.writeLine(BlockClose, nullptr, nullptr);
    s.writeEnd();
}

struct Parsed {
    LineKind kind;
    std::string key, value;
};

std::vector<Parsed> readAll(StateStream &s)
{
    std::vector<Parsed> out;
    while (s.next())
        out.push_back({s.kind, s.key, s.value});
    return out;
}

void expectPanelExampleRead(const std::vector<Parsed> &got)
{
    ASSERT_EQ(got.size(), 5u);
    EXPECT_EQ(got[0].kind, BlockOpen);
    EXPECT_EQ(got[0].key, "Panel");
    EXPECT_EQ(got[0].value, "");
    const char *keys[] = {"open", "x", "y"}, *values[] = {"1", "120", "-40"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(got[1 + i].kind, Entry);
        EXPECT_EQ(got[1 + i].key, keys[i]);
        EXPECT_EQ(got[1 + i].value, values[i]);
    }
    EXPECT_EQ(got[4].kind, BlockClose);
    EXPECT_EQ(got[4].key, "");
}

Parsed parse(const std::string &text)
{
    StateStream s(Load, nullptr);
    std::snprintf(s.line, sizeof s.line, "%s", text.c_str());
    const bool more = s.parseLine() != nullptr;
    return {more ? s.kind : Any, s.key, s.value};
}

} // namespace

TEST(StateStream, WorkedExampleInBinaryFormIsByteExact)
{
    SaveState save(StateForm::Binary);
    StateStream s(Save, const_cast<LWSaveState *>(save.state()));
    EXPECT_TRUE(s.binary);
    writePanelExample(s);
    EXPECT_EQ(save.bytes(), records(settings_test::panelExample()));
    EXPECT_EQ(save.count("writeU2"), 6u);
}

TEST(StateStream, WorkedExampleInTextFormHandsTheNulToTheHost)
{
    SaveState save(StateForm::Text);
    StateStream s(Save, const_cast<LWSaveState *>(save.state()));
    EXPECT_FALSE(s.binary);
    writePanelExample(s);
    std::vector<int> lengths;
    for (const auto &c : save.calls)
        lengths.push_back(c.asked);
    EXPECT_EQ(lengths, (std::vector<int>{11, 11, 10, 10, 6, 8}));
    EXPECT_EQ(save.count("writeU2"), 0u);
    EXPECT_EQ(save.bytes(), settings_test::textLines(settings_test::panelExample()));
}

TEST(StateStream, WorkedExampleReadsBackInBothForms)
{
    LoadState binary(StateForm::Binary, records(settings_test::panelExample()));
    StateStream b(Load, const_cast<LWLoadState *>(binary.state()));
    EXPECT_TRUE(b.binary);
    expectPanelExampleRead(readAll(b));
    EXPECT_EQ(b.kind, Entry) << "the end line leaves an empty Entry";

    LoadState text(StateForm::Text, settings_test::textLines(settings_test::panelExample()) + "after : 1\n");
    StateStream t(Load, const_cast<LWLoadState *>(text.state()));
    expectPanelExampleRead(readAll(t));
    EXPECT_FALSE(text.atEnd()) << "nothing after the end line is read";
}

TEST(StateStream, TextFileModeWritesLinesAndReadsThemBack)
{
    std::FILE *file = std::tmpfile();
    const std::string fallback = testing::TempDir() + "stream.txt";
    if (!file)   // Windows puts tmpfile() in the drive's root, which may not be writable
        file = std::fopen(fallback.c_str(), "w+b");
    ASSERT_NE(file, nullptr);
    StateStream out(TextFile, file);
    EXPECT_FALSE(out.binary);
    writePanelExample(out);
    std::rewind(file);
    char bytes[256] = {};
    const std::size_t n = std::fread(bytes, 1, sizeof bytes, file);
    EXPECT_EQ(std::string(bytes, n), settings_test::textLines(settings_test::panelExample()));

    std::rewind(file);
    StateStream in(TextFile, file);
    std::vector<Parsed> got = readAll(in);
    // fgets keeps the newline, so the end line is an entry and the scan runs to the end of file.
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[5].key, "End All");
    got.pop_back();
    expectPanelExampleRead(got);
    std::fclose(file);
    std::remove(fallback.c_str());
}

TEST(StateStream, ParsesMarkersKeysAndValues)
{
    const std::vector<std::tuple<std::string, LineKind, std::string, std::string>> cases = {
        {"itemName : a:b", Entry, "itemName", "a:b"},
        {"{ Panel", BlockOpen, "Panel", ""},
        {"{ Panel : ", BlockOpen, "Panel", ""},
        {"{", BlockOpen, "", ""},
        {"   ] list", ListClose, "list", ""},
        {"[k:v", ListOpen, "k", "v"},
        {": 5", Entry, "", "5"},
        {"# x : 5", Comment, "x", "5"},
        {"x\t: 1", Entry, "x\t", "1"},
        {"v : 1\r\n", Entry, "v", "1\r"},
        {"  \n", Entry, "", ""},
        {"", Entry, "", ""},
        {" End All", Entry, "End All", ""},
        {"End All ", Entry, "End All", ""},
        {"key :   ", Entry, "key", ""},
        {"a { b : c", Entry, "a { b", "c"},
        {"End All", Any, "", ""},
    };
    for (const auto &[text, kind, key, value] : cases) {
        const Parsed p = parse(text);
        EXPECT_EQ(p.kind, kind) << '"' << text << '"';
        EXPECT_EQ(p.key, key) << '"' << text << '"';
        EXPECT_EQ(p.value, value) << '"' << text << '"';
    }
}

TEST(StateStream, GetIntReadsAsAtoiWithoutOverflowing)
{
    const std::vector<std::pair<std::string, int>> cases = {
        {"x : 12px", 12}, {"x : abc", 0}, {"x :  -7", -7}, {"x : +3", 3},
        {"x : 99999999999999999999", INT_MAX}, {"x : -99999999999", INT_MIN},
    };
    for (const auto &[text, expected] : cases) {
        StateStream s(Load, nullptr);
        std::snprintf(s.line, sizeof s.line, "%s", text.c_str());
        s.parseLine();
        int n = 42;
        EXPECT_FALSE(s.getInt("y", n));
        EXPECT_EQ(n, 42);
        EXPECT_TRUE(s.getInt("x", n));
        EXPECT_EQ(n, expected) << text;
    }
}

TEST(StateStream, ComposesMarkersSeparatorsAndIndentation)
{
    StateStream s(Load, nullptr);   // Load mode composes and sends nothing
    s.writeLine(BlockClose, "", nullptr);
    EXPECT_STREQ(s.line, "}  : ") << "an empty key still counts as a key";
    EXPECT_EQ(s.indentCount, -2);
    s.writeLine(BlockOpen, "b", nullptr);
    EXPECT_STREQ(s.line, "{ b : ") << "a negative indent gives no indentation";
    s.writeEntry("k", "%s", "v");
    EXPECT_STREQ(s.line, "k : v");
    s.writeLine(Comment, nullptr, nullptr);
    EXPECT_STREQ(s.line, "#    ");
    s.writeLine(static_cast<LineKind>(42), "k", nullptr);
    EXPECT_STREQ(s.line, "k : ") << "unknown kinds are written as entries";
    EXPECT_FALSE(s.readLine()) << "no state: nothing to read";
}

TEST(StateStream, DeepNestingAndLongTextsStayInsideTheBuffers)
{
    SaveState save(StateForm::Binary);
    StateStream s(Save, const_cast<LWSaveState *>(save.state()));
    for (int i = 0; i < 40; ++i)
        s.writeLine(ListOpen, "deep", nullptr);
    EXPECT_EQ(s.indentCount, 80);
    EXPECT_EQ(std::string(s.indent), std::string(31, ' '));

    const std::string longText(1000, 'k');
    s.writeEntry(longText.c_str(), "%s", longText.c_str());
    EXPECT_EQ(std::string(s.keyOut), std::string(255, 'k'));
    EXPECT_EQ(std::string(s.valueOut), std::string(255, 'k'));
    EXPECT_EQ(std::string(s.line), std::string(31, ' ') + std::string(255, 'k') + " : " + std::string(222, 'k'));
    ASSERT_FALSE(save.calls.empty());
    EXPECT_EQ(save.calls.back().asked, 512) << "the record holds the cut line and its NUL";

    // Read back, parsed keys and values are cut to 255 characters as well.
    LoadState load(StateForm::Binary, record(std::string(300, 'a') + " : " + std::string(300, 'b')));
    StateStream in(Load, const_cast<LWLoadState *>(load.state()));
    ASSERT_TRUE(in.next());
    EXPECT_EQ(std::string(in.key), std::string(255, 'a'));
    EXPECT_EQ(std::string(in.value), std::string(208, 'b'));
}

TEST(StateStream, AValueCutAtABlankReadsBackTheSameAfterASave)
{
    // The cut falls just after a newline and a space: kept, they would be trimmed on the next
    // read, and a value saved and read again would change.
    const std::string value = std::string(253, 'v') + "\n " + std::string(40, 'w');
    LoadState load(StateForm::Binary, record("itemName : " + value));
    StateStream in(Load, const_cast<LWLoadState *>(load.state()));
    ASSERT_TRUE(in.next());
    EXPECT_EQ(std::string(in.value), std::string(253, 'v'));

    SaveState save(StateForm::Binary);
    StateStream out(Save, const_cast<LWSaveState *>(save.state()));
    out.writeEntry("itemName", "%s", in.value);
    LoadState again(StateForm::Binary, save.bytes());
    StateStream reread(Load, const_cast<LWLoadState *>(again.state()));
    ASSERT_TRUE(reread.next());
    EXPECT_STREQ(reread.value, in.value);
}

TEST(StateStream, OverlongAndUnterminatedRecordsAreConsumedWholeAndCut)
{
    std::string data = record(std::string(1000, 'z'));              // excess read in several pieces
    data += std::string{0, 5} + "abcde";                             // no NUL in the record
    data += record("x : 1");
    data += std::string{static_cast<char>(0xFF), static_cast<char>(0xFF)} + "short";   // count beyond the data
    LoadState load(StateForm::Binary, data);
    StateStream s(Load, const_cast<LWLoadState *>(load.state()));
    ASSERT_TRUE(s.next());
    EXPECT_EQ(std::string(s.line), std::string(511, 'z'));
    ASSERT_TRUE(s.next());
    EXPECT_STREQ(s.key, "abcde");
    ASSERT_TRUE(s.next());
    EXPECT_STREQ(s.key, "x");
    ASSERT_TRUE(s.next());
    EXPECT_STREQ(s.key, "short");
    EXPECT_FALSE(s.next());
}

TEST(StateStream, TextReadsEndOnNegativeResultsAndNeverShowStaleBytes)
{
    ScriptedLoad host(LWIO_ASCII);
    host.reads = {{17, "a longer line : 1"}, {2, "ab"}, {0, ""}, {900, std::string(900, 'q')}, {-5, ""}, {3, "zzz"}};
    StateStream s(Load, const_cast<LWLoadState *>(host.state()));
    ASSERT_TRUE(s.next());
    EXPECT_STREQ(s.key, "a longer line");
    ASSERT_TRUE(s.next());
    EXPECT_STREQ(s.line, "ab") << "terminated at the count, not at an old NUL";
    ASSERT_TRUE(s.next()) << "an empty line is an empty entry, not the end";
    EXPECT_STREQ(s.key, "");
    ASSERT_TRUE(s.next());
    EXPECT_EQ(std::string(s.line), std::string(256, 'q')) << "a count beyond the request is bounded";
    EXPECT_FALSE(s.next()) << "a negative result ends the data";
    EXPECT_EQ(host.asked, (std::deque<int>{256, 256, 256, 256, 256}));
}

TEST(StateStream, BinaryReadsTrustNoCountBeyondTheRequest)
{
    ScriptedLoad host(LWIO_BINARY);
    host.counts = {600, 3, 3};
    host.reads = {{4000, "ok!"}, {88, ""}, {3, std::string("hi", 3)}, {-1, ""}};
    StateStream s(Load, const_cast<LWLoadState *>(host.state()));
    ASSERT_TRUE(s.next());
    EXPECT_STREQ(s.line, "ok!");
    ASSERT_TRUE(s.next()) << "the record's excess was still consumed";
    EXPECT_STREQ(s.line, "hi");
    EXPECT_FALSE(s.next()) << "a negative read ends the data";
    EXPECT_EQ(host.asked, (std::deque<int>{512, 88, 3, 3}));

    // A record of 3 bytes, without its NUL, after a longer one: a reported 88 must not let the
    // longer line's bytes show through.
    ScriptedLoad after(LWIO_BINARY);
    after.counts = {20, 3};
    after.reads = {{20, "twenty bytes of text"}, {88, "abc"}};
    StateStream t(Load, const_cast<LWLoadState *>(after.state()));
    ASSERT_TRUE(t.next());
    ASSERT_TRUE(t.next());
    EXPECT_STREQ(t.line, "abc");
}
