// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The meter's figures as a Prometheus scrape sees them (text exposition format
// 0.0.4): counters that grow with every monitored frame, the gauges of the last
// evaluated period, and the build's version. No Qt: the HTTP side only asks for
// the text.
#include "FrameAmounts.h"
#include "PeriodRecord.h"
#include "StationAirCounters.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <utility>

// One monitored frame of the measured radio port as the counters take it.
struct MetricsFrame {
    int32_t Port = 0; // radio port counted from 1
    bool Own = false; // sent by the station itself
    FrameAmounts Amounts;
    int64_t AirNanoseconds = 0; // see FrameAirNanoseconds
};

// How long one frame keeps the channel busy, as the airtime figure counts it:
// its HDLC bits at the bit rate plus its transmission's preamble and tail
// (KeyingMs). 0 when the bit rate is not positive (the airtime figure has
// none then either); never negative, so that a counter built from it never
// goes back.
int64_t FrameAirNanoseconds(int64_t Bits, int64_t BitRate, int64_t KeyingMs);

class ChannelMetrics {
public:
    explicit ChannelMetrics(std::string Version) : version(std::move(Version)) {}

    // Makes the port's counters exist at zero before its first frame: a
    // counter that appears only with its first frames would hide them from
    // Prometheus's increase(). Also the port the engine gauge speaks of until
    // the first period ends.
    void Watch(int32_t Port);
    void AddFrame(const MetricsFrame& Frame);
    // The gauges follow the newest period. A period without figures (the
    // meter could not see the channel) drops the ratio gauges instead of
    // repeating old ones or showing a quiet channel; engine_up says why.
    void AddPeriod(const PeriodRecord& Record, int64_t PeriodMs);
    // The airtime per station of the radio port, for
    // chanload_station_airtime_seconds_total.
    StationAirCounters& Stations(int32_t Port) { return stations[Port]; }

    // The whole scrape page.
    std::string Exposition() const;

private:
    struct Counters {
        int64_t Frames = 0, Bytes = 0, Datas = 0, AirNanoseconds = 0;
    };
    // Ordered, so that the page lists ports and sources the same way each time.
    std::map<std::pair<int32_t, bool>, Counters> counters;
    int32_t currentPort = 0;
    std::map<int32_t, StationAirCounters> stations;
    std::optional<PeriodRecord> latest;
    int64_t periodMs = 0;
    std::string version;
};

// Label values escaped as the exposition format wants them: backslash,
// double quote and line feed.
std::string EscapeLabelValue(const std::string& Value);
