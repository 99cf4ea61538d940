// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Streams that the faulty engine sends, built from the engine-style frames of
// the meter tests.
#include "AgwWire.h"
#include "MeterFixture.h"

#include <cstdint>
#include <string>

// Many copies of one Dire Wolf style UI frame of radio port 1 with 20 info bytes.
inline QByteArray BurstOf(int frames)
{
    const QByteArray one = UiFrame(1, 20);
    QByteArray burst;
    burst.reserve(one.size() * frames);
    for (int i = 0; i < frames; ++i)
        burst += one;
    return burst;
}

// A monitor header of port byte 0 whose length field says length, with no data.
inline QByteArray HeaderAnnouncing(uint32_t length)
{
    const std::string h = agw::frame(0, 'U', "N0CALL-1", "APRS", {}, length);
    return QByteArray(h.data(), static_cast<qsizetype>(h.size()));
}
