// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What one monitored frame adds to the period's totals.
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
bool IsMonitoredKind(char Kind);
bool IsOwnTransmission(char Kind);

// The amounts of one frame of the monitored port, from its parsed header and
// its whole data part. I and UI frames carry information: its length is the
// header's "Len=" where there is one, otherwise the bytes that follow the
// header line (LinBPQ writes I frames without it). Other frames carry none.
FrameAmounts MonitoredFrameAmounts(const MonitorHeader& Header, std::string_view Data);

// Total + Amount, held at the largest total that still reads back as a
// signed 32-bit number instead of turning into an unreadable one.
int64_t AddToTotal(int64_t Total, int64_t Amount);
