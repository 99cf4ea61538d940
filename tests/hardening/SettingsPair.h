// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Two sets of settings that differ in every field and in the length of every
// value, so that any mix of the two, or a cut, reads as neither.
#include "meter.h"

inline MeterSettings SettingsA()
{
    return {"127.0.0.1", 8000, 1, 30000, 1200, "N0CALL-2"};
}

inline MeterSettings SettingsB()
{
    return {"192.168.100.200", 18001, 12, 200, 96000, "DL1ABC-15 PORTABLE/MOBILE"};
}

inline bool SameSettings(const MeterSettings& a, const MeterSettings& b)
{
    return a.IpAddress == b.IpAddress && a.TcpPort == b.TcpPort && a.AgwPort == b.AgwPort && a.SampleMs == b.SampleMs
        && a.ChannelBps == b.ChannelBps && a.CallSign == b.CallSign;
}
