// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one monitored frame adds to the period's totals.
#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

struct MonitorHeader;

struct FrameAmounts {
    int64_t Frames = 0;
    int64_t Bytes = 0; // information plus the 19 bytes counted for addresses, control and checksum
    int64_t Datas = 0; // information bytes
};

// The monitor kinds that describe a frame on the air: 'I', 'S' and 'U' heard,
// 'T' sent by the station itself (a digipeat, a beacon, a BBS's reply), which
// occupies the channel just the same.
// Inline: asked of every frame received.
inline bool IsOwnTransmission(char Kind)
{
    return Kind == 'T';
}
inline bool IsMonitoredKind(char Kind)
{
    return Kind == 'I' || Kind == 'S' || Kind == 'U' || IsOwnTransmission(Kind);
}

// The information bytes of one monitored frame, from its parsed header and its
// whole data part. The header's "Len=" where there is one (Dire Wolf gives it
// for UI, I, XID, TEST and SREJ; its data part stops at the first NUL of the
// information, so it is often shorter); otherwise, for I, UI and TEST frames,
// the bytes that follow the header line (LinBPQ writes I frames without it);
// for an FRMR those, but at least its three bytes; for an XID those, or the
// parameters LinBPQ shows on the header line. Other frames carry none. Never
// more than InformationRoom: a larger length cannot be true.
int64_t InformationBytes(const MonitorHeader& Header, std::string_view Data);
// The same, given the information the text shows (MonitorInformation), for
// callers that have it already.
int64_t InformationBytesShown(const MonitorHeader& Header, std::string_view Shown);

// The most information the frame can carry: the longest frame an engine
// passes on, less the frame's addresses (at most 8 digipeaters), control
// and PID.
int64_t InformationRoom(const MonitorHeader& Header);

// The amounts of one frame of the monitored port: its information bytes, and
// those plus 19 bytes for addresses, control and checksum. Header as
// ParseMonitorHeader gave it, with the information it found in the text.
FrameAmounts MonitoredFrameAmounts(const MonitorHeader& Header);

// Total + Amount, held at the largest total that still reads back as a
// signed 32-bit number instead of turning into an unreadable one.
inline int64_t AddToTotal(int64_t Total, int64_t Amount)
{
    return std::min<int64_t>(Total + Amount, std::numeric_limits<int32_t>::max());
}
