// SPDX-License-Identifier: GPL-3.0-or-later
// Monitor texts of the engines in the field, and the port list reply.
#include <gtest/gtest.h>

#include <deque>

#include "AgwTestSupport.h"

using namespace std::string_literals;

namespace {

class Monitor : public ::testing::Test {
protected:
    // The header points into its text, so the texts stay for the test's run.
    MonitorHeader parse(const std::string& text, bool expected = true)
    {
        const std::string& kept = texts.emplace_back(text);
        MonitorHeader h;
        EXPECT_EQ(client.ParseMonitorHeader(kept, h), expected) << text;
        return h;
    }
    std::deque<std::string> texts;
    TAGWPE client{"N0CALL"};
};

} // namespace

TEST_F(Monitor, DireWolfUI)
{
    const MonitorHeader h = parse(
        " 1:Fm N0CALL-1 To APRS Via WIDE1-1 <UI pid=F0 Len=20 PF=0 >[19:29:58]\r>Test one two three\n\r\0"s);
    EXPECT_EQ(h.PortText, " 1");
    EXPECT_EQ(DigitsOnly(std::string(h.PortText)), "1");
    EXPECT_EQ(h.Source, "N0CALL-1");
    EXPECT_EQ(h.Destination, "APRS");
    EXPECT_EQ(h.FrameType, "UI");
    EXPECT_EQ(h.Pid, "F0");
    EXPECT_EQ(h.InfoLen, 20);
    EXPECT_EQ(h.RecvSeq, 0);
    EXPECT_EQ(h.SendSeq, 0);
    EXPECT_EQ(h.Info, ">Test one two three\n\r\0"s);
}

TEST_F(Monitor, DireWolfIFrameHasSendBeforeReceive)
{
    const MonitorHeader h =
        parse(" 1:Fm K1ABC-1 To W2XYZ-7 <I S3 R1 pid=0xF0 Len=5 P=0 >[20:49:39]\rhello\r\0"s);
    EXPECT_EQ(h.FrameType, "I");
    EXPECT_EQ(h.SendSeq, 3);
    EXPECT_EQ(h.RecvSeq, 1);
    EXPECT_EQ(h.Pid, "0xF0");
    EXPECT_EQ(h.InfoLen, 5);
    EXPECT_EQ(h.Info, "hello\r\0"s);
}

TEST_F(Monitor, QtSoundModemIFrameHasReceiveBeforeSend)
{
    MonitorHeader h = parse(" 1:Fm K1ABC-1 To W2XYZ-7 <I R1 S3 pid=F0 Len=5 >[20:49:39]\rhello\r");
    EXPECT_EQ(h.RecvSeq, 1);
    EXPECT_EQ(h.SendSeq, 3);
    EXPECT_EQ(h.Pid, "F0");
    EXPECT_EQ(h.InfoLen, 5);
    EXPECT_EQ(h.Info, "hello");

    h = parse(" 2:Fm K1ABC-1 To W2XYZ-7 <I P R6 S7 pid=8 Len=12 >[20:49:39]\rhello world!\r");
    EXPECT_EQ(h.RecvSeq, 6);
    EXPECT_EQ(h.SendSeq, 7);
    EXPECT_EQ(h.Pid, "8");
    EXPECT_EQ(h.InfoLen, 12);
}

TEST_F(Monitor, LinBpqWritesNoBlankBeforeTheBracketAndNoLengthInIFrames)
{
    MonitorHeader h = parse(" 1:Fm G8BPQ-2 To APRS <UI pid=F0 Len=20>[12:00:00]\r01234567890123456789\r");
    EXPECT_EQ(h.Pid, "F0");
    EXPECT_EQ(h.InfoLen, 20);
    EXPECT_EQ(h.Info, "01234567890123456789");

    h = parse(" 1:Fm G8BPQ-2 To G8BPQ-4 <I C P S3 R1>[12:00:00]\rconnected text\r");
    EXPECT_EQ(h.FrameType, "I");
    EXPECT_EQ(h.SendSeq, 3);
    EXPECT_EQ(h.RecvSeq, 1);
    EXPECT_EQ(h.Pid, "");
    EXPECT_EQ(h.InfoLen, 0);
    EXPECT_EQ(h.Info, "connected text");
}

TEST_F(Monitor, OtherFrameTypesCarryNoNumbersButALength)
{
    // Dire Wolf gives XID, TEST and SREJ a length too.
    const std::pair<const char*, int32_t> cases[] = {
        {"<RR R5 F=1 >", 0},          {"<SREJ R5 F=1 Len=7 >", 7}, {"<XID P=1 Len=3 >", 3}, {"<RR P/F R5>", 0},
        {"<DM>", 0},                  {"<C C P>", 0},              {"<ui pid=F0 Len=20 >", 20},
        {"<i S3 R1 pid=F0 Len=5 >", 5}, {"<TEST P=1 Len=300 >", 300}};
    for (const auto& [desc, len] : cases) {
        const MonitorHeader h = parse(" 1:Fm A To B "s + desc + "[20:49:39]\rinfo\r\0"s);
        EXPECT_EQ(h.Source, "A");
        EXPECT_EQ(h.Pid, "") << desc;
        EXPECT_EQ(h.InfoLen, len) << desc;
        EXPECT_EQ(h.RecvSeq, 0) << desc;
        EXPECT_EQ(h.SendSeq, 0) << desc;
        EXPECT_EQ(h.Info, "info\r\0"s) << desc;
    }
}

// AX.25 names at most 8 digipeaters, and no engine writes more than a few
// KiB: a text beyond either is read no further than a real one.
TEST_F(Monitor, HostileTextsAreReadNoFurtherThanARealOne)
{
    std::string via = "D1";
    for (int i = 2; i <= 500; ++i)
        via += ",D" + std::to_string(i);
    MonitorHeader h = parse(" 1:Fm A To B Via " + via + " <UI pid=F0 Len=5 >[20:49:39]\rhello\r");
    ASSERT_EQ(h.Via.size(), 8u);
    EXPECT_EQ(h.Via.back(), "D8");
    EXPECT_EQ(h.InfoLen, 5);

    // 16 MiB of information: the header line is read, a description inside
    // the information is not, and nothing of it is copied.
    const std::string info(16 * 1024 * 1024, 'x');
    h = parse(" 1:Fm A To B <UI pid=F0 Len=5 >[20:49:39]\r" + info + "<I S1 R2 Len=9>\r");
    EXPECT_EQ(h.FrameType, "UI");
    EXPECT_EQ(h.InfoLen, 5);
    EXPECT_EQ(h.Info, "");
    h = parse(" 1:Fm A To B " + info + "<UI pid=F0 Len=5 >\r");
    EXPECT_EQ(h.FrameType, "");
}

TEST_F(Monitor, MalformedNumberFailsWithoutThrowingAndKeepsWhatWasRead)
{
    MonitorHeader h;
    EXPECT_NO_THROW(h = parse(" 1:Fm A To B <UI pid=F0 Len=x >[20:49:39]\rinfo\r", false));
    EXPECT_EQ(h.Source, "A");
    EXPECT_EQ(h.FrameType, "UI");
    EXPECT_EQ(h.Pid, "F0");
    EXPECT_EQ(h.InfoLen, 0);
    EXPECT_EQ(h.Info, "");

    h = parse(" 1:Fm A To B <I S3 R1 pid=F0 Len=-5 >[20:49:39]\rinfo\r", false);
    EXPECT_EQ(h.SendSeq, 3);
    EXPECT_EQ(h.RecvSeq, 1);
    EXPECT_EQ(h.Pid, "F0");
    EXPECT_EQ(h.InfoLen, 0);

    h = parse(" 1:Fm A To B <UI pid=F0 Len=99999999999 >\rinfo", false);
    EXPECT_EQ(h.InfoLen, 0);
    h = parse(" 1:Fm A To B <I S3 R99999999999 pid=F0 Len=5 >\rinfo", false);
    EXPECT_EQ(h.RecvSeq, 0);
    EXPECT_EQ(h.Pid, "");

    // Leading digits are enough; the biggest 32-bit length still reads.
    EXPECT_EQ(parse(" 1:Fm A To B <UI pid=F0 Len=7x >\r").InfoLen, 7);
    EXPECT_EQ(parse(" 1:Fm A To B <UI pid=F0 Len=2147483647 >\r").InfoLen, 2147483647);
}

TEST_F(Monitor, MissingMarkersLeaveTheLaterFieldsEmpty)
{
    MonitorHeader h = parse("no colon at all");
    EXPECT_EQ(h.PortText, "no colon at all");
    EXPECT_EQ(std::string(h.Source) + std::string(h.Destination) + std::string(h.FrameType) + std::string(h.Pid) +
                  std::string(h.Info),
              "");

    h = parse(" 1:Fm A To B without description\rinfo");
    EXPECT_EQ(h.Destination, "B");
    EXPECT_EQ(h.FrameType, "");
    EXPECT_EQ(h.Info, "");

    h = parse("");
    EXPECT_EQ(h.PortText, "");

    // ldsped leaves some descriptions open: the line end closes them.
    h = parse(" 0:Fm A To B <UI pid=F0 Len=4\rdata");
    EXPECT_EQ(h.InfoLen, 4);
    EXPECT_EQ(h.Info, "data");
}

TEST_F(Monitor, InfoFollowsTheFirstCarriageReturnWithoutAFinalOne)
{
    EXPECT_EQ(parse(" 1:Fm A To B <UI pid=F0 Len=0 >[20:49:39]\r").Info, "");
    EXPECT_EQ(parse(" 1:Fm A To B <UI pid=F0 Len=9 >[20:49:39]\rline1\rline2\r").Info, "line1\rline2");
    // Binary information keeps its zero bytes.
    EXPECT_EQ(parse(" 1:Fm A To B <UI pid=CF Len=4 >[20:49:39]\r\0\x01\r\0\r"s).Info, "\0\x01\r\0"s);
    // A '>' or '=' inside the information does not disturb the description.
    const MonitorHeader h = parse(" 1:Fm A To B <UI pid=F0 Len=6 >[20:49:39]\r>a=1<b\r\0"s);
    EXPECT_EQ(h.InfoLen, 6);
    EXPECT_EQ(h.Info, ">a=1<b\r\0"s);
}

TEST_F(Monitor, ResultsOfAnEarlierParseDoNotLeak)
{
    MonitorHeader h;
    const std::string first = " 1:Fm A To B <I S3 R1 pid=F0 Len=5 >\rhello", second = " 2:Fm C To D <RR R5 >\r";
    client.ParseMonitorHeader(first, h);
    client.ParseMonitorHeader(second, h);
    EXPECT_EQ(h.PortText, " 2");
    EXPECT_EQ(h.Pid, "");
    EXPECT_EQ(h.SendSeq + h.RecvSeq + h.InfoLen, 0);
    EXPECT_EQ(h.Info, "");
}

TEST(PortInfo, CountFieldDecides)
{
    RecordingSocket socket;
    TAGWPE client("N0CALL");
    client.AttachSocket(&socket, 1);
    EXPECT_FALSE(client.ParsePortInfo(0, "0;Port1 x;"));
    EXPECT_FALSE(client.ParsePortInfo(0, "none;Port1 x;"));
    EXPECT_FALSE(client.ParsePortInfo(0, ""));
    // More digits than 32 bits hold: refused, not thrown.
    EXPECT_FALSE(client.ParsePortInfo(0, "99999999999;Port1 x;"));
    EXPECT_EQ(client.Ports[0]->Description, "");

    EXPECT_TRUE(client.ParsePortInfo(0, "3;first;second;"));
    EXPECT_EQ(client.ListedPorts, 3);
    EXPECT_EQ(client.Ports[0]->Description, "first");
    EXPECT_FALSE(client.Ports[1]);

    // A wild count neither loops for ages nor reaches past the rings.
    EXPECT_TRUE(client.ParsePortInfo(0, "2147483647;wild;"));
    EXPECT_EQ(client.Ports[0]->Description, "wild");

    EXPECT_FALSE(client.ParsePortCapabilities(0, std::string(12, '\x01')));
}

TEST(PortInfo, DireWolfReplyNamesEveryListedPortWhenManyAreServed)
{
    RecordingSocket socket;
    TAGWPE client("N0CALL");
    client.AttachSocket(&socket, 128);
    ASSERT_TRUE(client.ParsePortInfo(
        0, "2;Port1 first soundcard left;Port2 first soundcard right;Port3 INVALID CHANNEL;\0"s));
    EXPECT_EQ(client.ListedPorts, 2) << "the count is of the channels, not of the slots listed";
    ASSERT_TRUE(client.Ports[0] && client.Ports[1]);
    EXPECT_EQ(client.Ports[0]->Description, "Port1 first soundcard left");
    EXPECT_EQ(client.Ports[1]->Description, "Port2 first soundcard right");
    EXPECT_FALSE(client.Ports[2]);

    // Bytes after the NUL are stale (ldsped) and name nothing.
    ASSERT_TRUE(client.ParsePortInfo(0, "3;A;B\0C;D;"s));
    EXPECT_EQ(client.Ports[1]->Description, "B");
    ASSERT_TRUE(client.Ports[2]);
    EXPECT_EQ(client.Ports[2]->Description, "");
}

TEST(PortInfo, BeforeTheFirstAttachThereIsNoRingToName)
{
    TAGWPE client("N0CALL");
    EXPECT_TRUE(client.ParsePortInfo(0, "1;Port1;"));
    EXPECT_FALSE(client.Ports[0]);
}

// The information handed on with the header is what follows the first
// carriage return of the whole text, wherever it stands, less the engine's
// closing CR and NUL.
TEST_F(Monitor, ShownInformationFollowsTheTextsFirstLineEnd)
{
    const std::string ui = " 1:Fm A To B <UI pid=F0 Len=2 >[1]";
    const struct {
        std::string text;
        std::string shown;
    } cases[] = {
        {ui + "\rhi\r\0"s, "hi"},
        {ui + "\rhi\r", "hi"},
        {ui + "\ra\rb\r\0"s, "a\rb"},
        {ui + "\r", ""},
        {ui + "\r\0"s, ""},
        {ui + "\r\r\r", "\r"},
        {ui, ""},
        {" 1:Fm A\rB To C <UI pid=F0 Len=2 >[1]\rhi\r", "B To C <UI pid=F0 Len=2 >[1]\rhi"},
        {" 1:Fm A To B Via C\r,D <UI pid=F0 Len=2 >[1]\rxy\r\0"s, ",D <UI pid=F0 Len=2 >[1]\rxy"},
        {" 1:Fm A To B <UI pid=F0\r Len=2 >[1]\rxy\r", " Len=2 >[1]\rxy"},
        {" 1:Fm  A To B <I R1 S2 pid=F0 Len=2 >[1]\rok\r", "ok"},
        {" 1:Fm A To B <DM>\r", ""},
        {" 1:Fm A To B <UI pid=F0 Len=9000 >[1]\r" + std::string(5000, 'x') + "\r\0"s, std::string(5000, 'x')},
    };
    for (const auto& c : cases) {
        TAGWPE client("N0CALL");
        MonitorHeader h;
        client.ParseMonitorHeader(c.text, h);
        EXPECT_EQ(h.Shown, c.shown) << c.text;
        // The same header reused for a text without information keeps none.
        client.ParseMonitorHeader(ui, h);
        EXPECT_EQ(h.Shown, "") << c.text;
    }
}
