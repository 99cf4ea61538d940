// SPDX-License-Identifier: GPL-3.0-or-later
// The monitor header's fields, compared with a plain word-by-word reading of
// the same text, on the shapes every engine writes and on damaged versions of them.
#include <gtest/gtest.h>

#include <random>

#include "AgwTestSupport.h"

namespace {

bool leadingNumber(std::string_view word, int32_t& value)
{
    int64_t number = 0;
    size_t i = 0;
    for (; i < word.size() && word[i] >= '0' && word[i] <= '9'; ++i)
        if ((number = number * 10 + (word[i] - '0')) > INT32_MAX)
            return false;
    if (i > 0)
        value = static_cast<int32_t>(number);
    return i > 0;
}

// Word by word from the start: the reading the program had before it read the
// common shape by its markers, and what every other text still gets.
bool wordByWord(std::string_view text, MonitorHeader& h)
{
    h = MonitorHeader{};
    std::string_view rest = text, word;
    if (rest.size() > MonitorHeader::MaxText) {
        const std::string_view head = rest.substr(0, MonitorHeader::MaxHeaderLine);
        const size_t lineEnd = head.find('\r');
        rest = lineEnd == std::string_view::npos ? head : head.substr(0, lineEnd + 1);
    }
    SplitAt(rest, ':', h.PortText);
    NextWord(rest, word);
    NextWord(rest, h.Source);
    NextWord(rest, word);
    NextWord(rest, h.Destination);
    std::string_view via;
    SplitAt(rest, '<', via);
    NextWord(via, word);
    if (word == "Via") {
        NextWord(via, word);
        for (std::string_view call; !word.empty() && h.Via.size() < MonitorHeader::MaxVia;)
            if (SplitAt(word, ',', call); !call.empty())
                h.Via.emplace_back(call);
    }
    const size_t end = std::min(rest.find_first_of(">\r"), rest.size());
    std::string_view description = rest.substr(0, end);
    rest.remove_prefix(end < rest.size() && rest[end] == '>' ? end + 1 : end);
    NextWord(description, h.FrameType);
    if (h.FrameType == "I") {
        bool recv = false, send = false;
        for (std::string_view words = description; !words.empty();) {
            NextWord(words, word);
            const bool number = word.size() >= 2 && word[1] >= '0' && word[1] <= '9';
            if (number && !recv && word[0] == 'R') {
                if (!leadingNumber(word.substr(1), h.RecvSeq))
                    return false;
                recv = true;
            } else if (number && !send && word[0] == 'S') {
                if (!leadingNumber(word.substr(1), h.SendSeq))
                    return false;
                send = true;
            }
        }
    }
    if (h.FrameType == "UI" || h.FrameType == "I") {
        SplitAt(description, '=', word);
        NextWord(description, h.Pid);
        SplitAt(description, '=', word);
        NextWord(description, word);
        if (!word.empty() && !leadingNumber(word, h.InfoLen))
            return false;
        h.HasInfoLen = !word.empty();
    } else {
        while (!description.empty() && !h.HasInfoLen) {
            NextWord(description, word);
            if (word.substr(0, 4) == "Len=" || word.substr(0, 4) == "len=") {
                if (!leadingNumber(word.substr(4), h.InfoLen))
                    return false;
                h.HasInfoLen = true;
            }
        }
    }
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    SplitAt(rest, '\r', h.LineRest);
    if (text.size() <= MonitorHeader::MaxText)
        h.Info = rest;
    // Shown: after the first carriage return of the whole text, less a
    // closing NUL and then a closing CR.
    if (const size_t lineEnd = text.find('\r'); lineEnd != std::string_view::npos) {
        h.Shown = text.substr(lineEnd + 1);
        if (!h.Shown.empty() && h.Shown.back() == '\0')
            h.Shown.remove_suffix(1);
        if (!h.Shown.empty() && h.Shown.back() == '\r')
            h.Shown.remove_suffix(1);
    }
    return true;
}

std::string fields(bool good, const MonitorHeader& h)
{
    std::string s = (good ? "ok|" : "failed|") + std::string(h.PortText) + "|" + std::string(h.Source) + "|" +
        std::string(h.Destination) + "|" + std::string(h.FrameType) + "|" + std::string(h.Pid) + "|" +
        std::to_string(h.RecvSeq) + "|" + std::to_string(h.SendSeq) + "|" + std::to_string(h.InfoLen) +
        (h.HasInfoLen ? "|len|" : "|-|") + std::string(h.LineRest) + "|" + std::string(h.Info) + "|" +
        std::string(h.Shown) + "|";
    for (const std::string_view call : h.Via)
        s += std::string(call) + ",";
    return s;
}

} // namespace

TEST(MonitorShapes, EveryEnginesShapeAndItsDamageReadAsWordByWord)
{
    // Addresses, descriptions and line ends as Dire Wolf, QtSoundModem,
    // LinBPQ and ldsped write them.
    const char* const heads[] = {" 1:Fm N0CALL-1 To APRS Via WIDE1-1,WIDE2-1 <", " 1:Fm K1ABC-1 To W2XYZ-7 <",
                                 " 2:Fm DL1ABC-10 To APZ Via N0CALL-9,WIDE2* <", " 0:Fm A To B Via C <",
                                 "12:Fm W1AW To BEACON Via WIDE1-1,WIDE2-2,WIDE3-3 <",
                                 // Lists past sixteen bytes and past the most a frame names,
                                 // empty names, blanks after "Via" and within the list.
                                 " 3:Fm KB1LONG-15 To APDW16 Via  ,RELAY*,,WIDE2-2, <",
                                 " 1:Fm A To B Via C1,C2,C3,C4,C5,C6,C7,C8,C9,CALL10-10 <",
                                 " 1:Fm A To B Via WIDE1-1 WIDE2-1 <", " 1:Fm A To B Via <"};
    const char* const descriptions[] = {
        "UI pid=F0 Len=20 PF=0 >", "I S3 R1 pid=0xF0 Len=5 P=0 >", "I R1 S3 pid=F0 Len=5 >",
        "I P R6 S7 pid=8 Len=12 >", "UI pid=F0 Len=20>",         "I C P S3 R1>",
        "RR R5 F=1 >",              "RR P/F R5>",                  "DM>",
        "XID P=1 Len=3 >",          "UI^ pid=F0 (Text) len=20 >", "SABM P=1 ",
        "I S12 R127 pid=F0 Len=300 P=0 >", "TEST xLen=3 Len=9 >", " Len=5 RR len=7 >",
        // Numbers of nine digits and more, with leading zeros and too large,
        // lengths that are no number, odd blanks and pids.
        "I S123456789 R0000000004 pid=F0 Len=0000000012 >", "I R1 S3 pid=F0 Len=2147483648 >",
        "I S3 R99999999999 pid=F0 Len=5 >", "I S3 R1 pid=F0 Len=x5 >", "I S3 R1  pid=F0 Len=5 >",
        "I S3 R1 pid=F=0 Len=5 P=1 >", "I S3 R1 pid=F0 Len= 5 >", "I S3 S4 R1 pid=F0 Len=5 >",
        "I S3 R1 pid=F0 Len=5", "I S3x R1 pid=F0 Len=5 >",
        // UI pids of one byte, of many, and one that ends the description.
        "UI pid=F Len=3 >", "UI pid=F0F0F0F0F0F0F0F0F0 Len=7 PF=0 >", "UI pid=F0>"};
    const char* const ends[] = {"\r\0", "\r", "", "\r\r", "\n\r\r\r\r\r"};
    const std::string markers = " :<>=,\r\0VFTSRLI0123456789x";

    std::mt19937 rng(20261208);
    TAGWPE client("N0CALL");
    MonitorHeader got, want;
    size_t damaged = 0, withAddresses = 0;
    for (int n = 0; n < 60000; ++n) {
        std::string text = std::string(heads[rng() % std::size(heads)]) + descriptions[rng() % std::size(descriptions)] +
            "[19:29:58]\r" + std::string(rng() % 24, 'i') + ends[rng() % std::size(ends)];
        // Damage two in three texts: bytes overwritten with markers, removed or cut off.
        for (int cuts = static_cast<int>(rng() % 6) - 2; cuts > 0; --cuts, ++damaged) {
            const size_t at = rng() % text.size();
            switch (rng() % 3) {
            case 0: text[at] = markers[rng() % markers.size()]; break;
            case 1: text.erase(at, 1 + rng() % 3); break;
            default: text.resize(at); break;
            }
            if (text.empty())
                break;
        }
        const bool good = client.ParseMonitorHeader(text, got);
        ASSERT_EQ(fields(good, got), fields(wordByWord(text, want), want)) << testing::PrintToString(text);
        ASSERT_EQ(MonitorPortText(text), want.PortText) << testing::PrintToString(text);
        const size_t from = text.find("Fm ");
        withAddresses += from != std::string::npos && got.Source.data() == text.data() + from + 3;
    }
    // Texts longer than any frame: their port, like the rest, is read in the
    // first line only, within the bytes a header line can take.
    const std::string info(MonitorHeader::MaxText, 'x');
    for (const std::string& text : {" 1:Fm A To B <UI pid=F0 Len=5 >\r" + info, info + ":Fm A To B",
                                    "12\r:Fm" + info, std::string(2000, ' ') + ":"}) {
        const bool good = client.ParseMonitorHeader(text, got);
        ASSERT_EQ(fields(good, got), fields(wordByWord(text, want), want));
        EXPECT_EQ(MonitorPortText(text), want.PortText);
    }
    // Both damaged texts and texts whose addresses stayed whole were met in numbers.
    EXPECT_GT(damaged, 20000u);
    EXPECT_GT(withAddresses, 20000u);
}
