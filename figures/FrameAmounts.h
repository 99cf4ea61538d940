#pragma once
// What one monitored frame adds to the period's totals.
#include <cstdint>
#include <limits>

struct MonitorHeader;

struct FrameAmounts {
    int64_t Frames = 0;
    int64_t Bytes = 0; // information plus the 19 bytes counted for addresses, control and checksum
    int64_t Datas = 0; // information bytes
};

// The monitor kinds that describe a frame on the air.
bool IsMonitoredKind(char Kind);

// The amounts of one frame of the monitored port.
FrameAmounts MonitoredFrameAmounts(const MonitorHeader& Header);

// Total + Amount, held at the largest total that still reads back as a
// signed 32-bit number instead of turning into an unreadable one.
int64_t AddToTotal(int64_t Total, int64_t Amount);
