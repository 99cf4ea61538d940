// SPDX-License-Identifier: GPL-3.0-or-later
#include "FrameAmounts.h"

#include "AGWUnit.h"
#include "TextRoutines.h"

#include <algorithm>

namespace {

constexpr int64_t OverheadBytes = 19;
constexpr int64_t AddressBytes = 7;
// An FRMR's information is the rejected control field and two bytes of state.
constexpr int64_t FrmrInfoBytes = 3;

bool startsWith(std::string_view Text, std::string_view Prefix)
{
    return Text.substr(0, Prefix.size()) == Prefix;
}

// LinBPQ writes an XID's parameters on the header line as words instead of
// passing its information on: "2=21 3=34a00 RX Paclen=256 RX Window=7". Each
// shown parameter is counted at its size in an AX.25 XID (type, length and
// value), plus the four bytes that open the parameter field.
int64_t shownXidParameterBytes(std::string_view Line)
{
    int64_t bytes = 0;
    std::string_view rest = Line, word;
    while (!rest.empty()) {
        NextWord(rest, word);
        if (startsWith(word, "2="))
            bytes += 2 + 2; // classes of procedures
        else if (startsWith(word, "3="))
            bytes += 2 + 3; // HDLC optional functions
        else if (startsWith(word, "Paclen="))
            bytes += 2 + 2; // I field length, receive
        else if (startsWith(word, "Window="))
            bytes += 2 + 1; // window size, receive
        else if (word == "Compress")
            bytes += 2;
    }
    return bytes > 0 ? bytes + 4 : 0;
}

} // namespace

int64_t InformationRoom(const MonitorHeader& Header)
{
    // By length first: asked twice for every frame.
    const std::string_view type = Header.FrameType;
    const bool pid = type.size() == 2 ? type[0] == 'U' && type[1] == 'I' : type.size() == 1 && type[0] == 'I';
    const auto addresses = static_cast<int64_t>(2 + std::min(Header.Via.size(), MonitorHeader::MaxVia));
    return MonitorHeader::MaxFrameBytes - AddressBytes * addresses - 1 - (pid ? 1 : 0);
}

int64_t InformationBytes(const MonitorHeader& Header, std::string_view Data)
{
    // A length the header gives is taken as it is: the text after the
    // header line is not looked for.
    if (Header.HasInfoLen)
        return InformationBytesShown(Header, {});
    return InformationBytesShown(Header, MonitorInformation(Data));
}

namespace {

// The information of a frame whose header line gives no length, by its
// kind. Apart: the word-by-word reading of an XID keeps the usual frame's
// path from being short.
[[gnu::noinline]] int64_t claimedByKind(const MonitorHeader& Header, int64_t Shown)
{
    const std::string_view type = Header.FrameType;
    if (type == "UI" || type == "I" || type == "TEST")
        return Shown;
    if (type == "FRMR")
        return std::max(Shown, FrmrInfoBytes);
    if (type == "XID")
        return std::max(Shown, shownXidParameterBytes(Header.LineRest));
    return 0;
}

} // namespace

int64_t InformationBytesShown(const MonitorHeader& Header, std::string_view Shown)
{
    const int64_t claimed = Header.HasInfoLen
        ? int64_t{static_cast<uint32_t>(Header.InfoLen)} // an unsigned count on the wire
        : claimedByKind(Header, static_cast<int64_t>(Shown.size()));
    return std::clamp<int64_t>(claimed, 0, InformationRoom(Header));
}

FrameAmounts MonitoredFrameAmounts(const MonitorHeader& Header)
{
    const int64_t info = InformationBytesShown(Header, Header.Shown);
    return {1, info + OverheadBytes, info};
}
