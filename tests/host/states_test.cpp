// The stand-in host's load and save states behave as the host documents its two forms.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "host/states.h"

using standin::LoadState;
using standin::SaveState;
using standin::StateForm;

namespace {
constexpr LWID skipId = 0x534B4950u;   // "SKIP"
constexpr LWID wantId = 0x57414E54u;   // "WANT"
const LWBlockIdent skipBlock{skipId, "Skip"};
const LWBlockIdent wantBlock{wantId, "Want"};
const LWBlockIdent wanted[] = {wantBlock, {0, nullptr}};

std::string saveMixed(StateForm form, const std::string &path = {})
{
    SaveState save(form, path);
    const LWSaveState *s = save.state();
    const unsigned short u2[] = {0x0102, 0xFFFF};
    s->beginBlk(s->writeData, &skipBlock, 0);
    s->writeU2(s->writeData, u2, 2);
    s->endBlk(s->writeData);
    s->beginBlk(s->writeData, &wantBlock, 1);
    const int i4 = -7;
    const double dp = 0.1;
    s->writeI4(s->writeData, &i4, 1);
    s->writeDP(s->writeData, &dp, 1);
    EXPECT_EQ(s->depth(s->writeData), 1);
    s->endBlk(s->writeData);
    s->writeStr(s->writeData, "tail");
    return save.bytes();
}
} // namespace

TEST(StandInStates, TextSaveTakesLengthsFromTheNulAndWritesCountsInHex)
{
    SaveState save(StateForm::Text);
    const LWSaveState *s = save.state();
    EXPECT_EQ(s->ioMode, LWIO_ASCII);
    s->write(s->writeData, "ab\tc", 2);
    const unsigned short counts[] = {19, 255};
    s->writeU2(s->writeData, counts, 2);
    EXPECT_EQ(save.bytes(), "abc\n13 FF\n");
    EXPECT_EQ(save.calls[0].asked, 2);
}

TEST(StandInStates, TextReadGivesPiecesOfTheCurrentLineAndMinusOneAtTheEnd)
{
    LoadState load(StateForm::Text, "hello world\n\n13 ff\nx");
    const LWLoadState *s = load.state();
    char buf[16];
    std::memset(buf, 'Z', sizeof buf);
    EXPECT_EQ(s->read(s->readData, buf, 5), 5);
    EXPECT_EQ(std::string(buf, 6), "helloZ") << "the buffer is not terminated";
    EXPECT_EQ(s->read(s->readData, buf, 16), 6);
    EXPECT_EQ(s->read(s->readData, buf, 16), 0) << "an empty line";
    unsigned short vals[3] = {};
    EXPECT_EQ(s->readU2(s->readData, vals, 3), 2);
    EXPECT_EQ(vals[0], 0x13);
    EXPECT_EQ(vals[1], 0xFF);
    EXPECT_EQ(s->read(s->readData, buf, 16), 1);
    EXPECT_EQ(s->read(s->readData, buf, 16), -1);
    EXPECT_EQ(s->readU2(s->readData, vals, 1), 0);
}

TEST(StandInStates, BinaryFormIsRawAndBigEndian)
{
    const std::string bytes = saveMixed(StateForm::Binary);
    EXPECT_EQ(bytes.substr(0, 12), std::string("SKIP\0\0\0\4\1\2\xFF\xFF", 12));
    LoadState load(StateForm::Binary, "\1\2ab");
    const LWLoadState *s = load.state();
    unsigned short v = 0;
    char buf[8];
    EXPECT_EQ(s->readU2(s->readData, &v, 1), 1);
    EXPECT_EQ(v, 0x0102);
    EXPECT_EQ(s->read(s->readData, buf, 8), 2) << "a short read at the end";
    EXPECT_EQ(s->read(s->readData, buf, 8), 0);
}

TEST(StandInStates, TypedValuesAndBlocksRoundTripThroughFilesInBothForms)
{
    for (StateForm form : {StateForm::Binary, StateForm::Text}) {
        const std::string path = testing::TempDir() + "mixed.state";
        const std::string bytes = saveMixed(form, path);
        auto load = LoadState::fromFile(form, path);
        ASSERT_TRUE(load);
        const LWLoadState *s = load->state();
        EXPECT_EQ(s->findBlk(s->readData, wanted), wantId) << "the other block is skipped";
        EXPECT_EQ(s->depth(s->readData), 1);
        int i4 = 0;
        double dp = 0;
        EXPECT_EQ(s->readI4(s->readData, &i4, 1), 1);
        EXPECT_EQ(s->readDP(s->readData, &dp, 1), 1);
        EXPECT_EQ(i4, -7);
        EXPECT_EQ(dp, 0.1);
        s->endBlk(s->readData);
        char text[3];
        EXPECT_EQ(s->readStr(s->readData, text, sizeof text), 2) << "cut to the buffer";
        EXPECT_STREQ(text, "ta");
        EXPECT_TRUE(load->atEnd());
        EXPECT_EQ(s->findBlk(s->readData, wanted), 0u);
        std::remove(path.c_str());
    }
}
