// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A busy packet channel as audio: three stations with their own preambles
// and tails taking turns, and the monitored Dire Wolf digipeating some of
// their frames. Each period's audio holds the stations' transmissions; the
// digipeater's own transmissions are left as silence of the length they take
// on the air (Dire Wolf's transmit audio goes nowhere), and counted as
// carrier. Plain C++, no Qt.
#include "DireWolf.h"

#include <cstdint>
#include <string>
#include <vector>

struct ChannelStation {
    std::string call;
    int preambleFlags; // the opening flag among them
    int trailingFlags; // the closing flag and the tail
};

// One transmission of a period: who keyed up and how long the carrier was on.
struct PlannedTransmission {
    std::string transmitter;
    bool own = false; // the digipeater, reported as 'T'
    int64_t carrierSamples = 0;
    std::string monitorLine; // "SRC>DST,VIA:info" as sent
};

struct ChannelPeriod {
    Samples audio;                // the stations' audio, one period long
    int64_t carrierSamples = 0;   // audio carrier plus the digipeater's transmissions
    int heard = 0, digipeats = 0; // frames the engine decodes, and repeats
    std::vector<PlannedTransmission> transmissions;
};

class SimulatedChannel {
public:
    // The digipeater: the engine's call, TXDELAY and TXTAIL in milliseconds.
    SimulatedChannel(int periodMs, std::string digipeaterCall, int digipeaterDelayMs, int digipeaterTailMs,
                     int sampleRate = kSampleRate);

    const std::vector<ChannelStation>& stations() const { return members; }
    // The next period, its carrier on for about `load` of it (0.2 or 0.6);
    // periods of 2.5 s or more.
    ChannelPeriod next(double load);

private:
    struct Step {
        size_t station;
        bool digipeated;
    };
    int64_t samplesOfBits(int64_t bits) const;
    int64_t transmissionSamples(const Step& step, const std::string& text) const;
    int64_t digipeatSamples(const Step& step, const std::string& text) const;
    std::string info(int length);

    int periodMs, rate;
    std::string digiCall;
    int digiDelayMs, digiTailMs;
    std::vector<ChannelStation> members;
    int count = 0, frames = 0;
};

// Bits of a frame (given without FCS) as a TNC sends it: with its FCS, bit
// stuffed, closing flag not included.
int64_t StuffedFrameBits(const std::string& frame);
