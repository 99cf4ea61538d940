// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChannelMetrics.h"
#include "PeriodFigures.h"

#include <gtest/gtest.h>

#include <limits>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

// The samples of a page, series (name and labels) to value; comment lines
// checked for the families they name.
std::map<std::string, std::string> samplesOf(const std::string& Page)
{
    std::map<std::string, std::string> samples;
    std::istringstream lines(Page);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.rfind("# ", 0) == 0)
            continue;
        const size_t space = line.rfind(' ');
        EXPECT_NE(space, std::string::npos) << line;
        if (space == std::string::npos)
            continue;
        EXPECT_TRUE(samples.emplace(line.substr(0, space), line.substr(space + 1)).second) << "twice: " << line;
    }
    return samples;
}

PeriodRecord period(int32_t Port, EngineState Engine, int16_t Usage, int16_t Efficiency, int16_t Load, int16_t Airtime)
{
    PeriodRecord r;
    r.Port = Port;
    r.Engine = Engine;
    r.Usage = Usage;
    r.Efficiency = Efficiency;
    r.Load = Load;
    r.Airtime = Airtime;
    return r;
}

MetricsFrame frame(int32_t Port, bool Own, int64_t Info, int64_t AirNs)
{
    return {Port, Own, FrameAmounts{1, Info + 19, Info}, AirNs};
}

constexpr const char* kAbsent = "(absent)";

struct Scenario {
    const char* name;
    std::vector<MetricsFrame> frames;
    std::vector<std::pair<PeriodRecord, int64_t>> periods;
    std::map<std::string, std::string> expected; // kAbsent: no such series
};

} // namespace

TEST(ChannelMetrics, Exposition_CountersGaugesAndBlindPeriods)
{
    const std::vector<Scenario> scenarios = {
        {"started, nothing heard yet: zero counters, engine not up, no figures",
         {},
         {},
         {{"chanload_frames_total{port=\"1\",source=\"heard\"}", "0"},
          {"chanload_frames_total{port=\"1\",source=\"own\"}", "0"},
          {"chanload_airtime_seconds_total{port=\"1\",source=\"own\"}", "0"},
          {"chanload_engine_up{port=\"1\"}", "0"},
          {"chanload_load_ratio{port=\"1\"}", kAbsent},
          {"chanload_period_seconds{port=\"1\"}", kAbsent},
          {"chanload_build_info{version=\"1.2.3\"}", "1"}}},
        {"heard and own frames counted apart, airtime to the nanosecond",
         {frame(1, false, 20, 566666666), frame(1, false, 0, 400000000), frame(1, true, 100, 1233333333)},
         {},
         {{"chanload_frames_total{port=\"1\",source=\"heard\"}", "2"},
          {"chanload_frames_total{port=\"1\",source=\"own\"}", "1"},
          // 20 + 19 and 0 + 19
          {"chanload_bytes_total{port=\"1\",source=\"heard\"}", "58"},
          {"chanload_bytes_total{port=\"1\",source=\"own\"}", "119"},
          {"chanload_data_bytes_total{port=\"1\",source=\"heard\"}", "20"},
          {"chanload_data_bytes_total{port=\"1\",source=\"own\"}", "100"},
          {"chanload_airtime_seconds_total{port=\"1\",source=\"heard\"}", "0.966666666"},
          {"chanload_airtime_seconds_total{port=\"1\",source=\"own\"}", "1.233333333"}}},
        {"an answered period: percentages as exact ratios",
         {},
         {{period(1, EngineState::Answering, 42, 7, 100, 5), 30000}},
         {{"chanload_usage_ratio{port=\"1\"}", "0.42"},
          {"chanload_efficiency_ratio{port=\"1\"}", "0.07"},
          {"chanload_load_ratio{port=\"1\"}", "1"},
          {"chanload_airtime_ratio{port=\"1\"}", "0.05"},
          {"chanload_engine_up{port=\"1\"}", "1"},
          {"chanload_period_seconds{port=\"1\"}", "30"}}},
        {"a silent engine after an answered period: no stale figures, engine down",
         {frame(1, false, 10, 0)},
         {{period(1, EngineState::Answering, 42, 7, 60, 5), 500},
          {period(1, EngineState::Silent, 0, 0, 0, 0), 500}},
         {{"chanload_usage_ratio{port=\"1\"}", kAbsent},
          {"chanload_efficiency_ratio{port=\"1\"}", kAbsent},
          {"chanload_load_ratio{port=\"1\"}", kAbsent},
          {"chanload_airtime_ratio{port=\"1\"}", kAbsent},
          {"chanload_engine_up{port=\"1\"}", "0"},
          {"chanload_period_seconds{port=\"1\"}", "0.5"},
          {"chanload_frames_total{port=\"1\",source=\"heard\"}", "1"}}},
        {"the engine lacks the port: no figures, engine not up",
         {},
         {{period(1, EngineState::NoPort, 0, 0, 0, 0), 1250}},
         {{"chanload_load_ratio{port=\"1\"}", kAbsent},
          {"chanload_engine_up{port=\"1\"}", "0"},
          {"chanload_period_seconds{port=\"1\"}", "1.25"}}},
        {"another port chosen: gauges follow it, the old port's counters stay",
         {frame(1, false, 5, 0), frame(2, true, 7, 0)},
         {{period(2, EngineState::Answering, 3, 50, 1, 0), 10000}},
         {{"chanload_frames_total{port=\"1\",source=\"heard\"}", "1"},
          {"chanload_frames_total{port=\"2\",source=\"own\"}", "1"},
          {"chanload_frames_total{port=\"2\",source=\"heard\"}", "0"},
          {"chanload_load_ratio{port=\"2\"}", "0.01"},
          {"chanload_load_ratio{port=\"1\"}", kAbsent},
          {"chanload_engine_up{port=\"2\"}", "1"},
          {"chanload_engine_up{port=\"1\"}", kAbsent},
          {"chanload_airtime_ratio{port=\"2\"}", "0"}}},
    };
    for (const Scenario& s : scenarios) {
        SCOPED_TRACE(s.name);
        ChannelMetrics metrics("1.2.3");
        metrics.Watch(1);
        for (const MetricsFrame& f : s.frames)
            metrics.AddFrame(f);
        for (const auto& [record, ms] : s.periods)
            metrics.AddPeriod(record, ms);
        const std::string page = metrics.Exposition();
        const auto samples = samplesOf(page);
        for (const auto& [series, value] : s.expected) {
            const auto found = samples.find(series);
            if (value == std::string(kAbsent))
                EXPECT_EQ(found, samples.end()) << series << "\n" << page;
            else if (found == samples.end())
                ADD_FAILURE() << "missing " << series << "\n" << page;
            else
                EXPECT_EQ(found->second, value) << series;
        }
    }
}

TEST(ChannelMetrics, Counters_HoldAtTheLargestValueInsteadOfWrapping)
{
    constexpr int64_t largest = std::numeric_limits<int64_t>::max();
    ChannelMetrics metrics("v");
    MetricsFrame huge{1, false, FrameAmounts{largest, largest, largest}, largest};
    metrics.AddFrame(huge);
    metrics.AddFrame(huge);
    const auto samples = samplesOf(metrics.Exposition());
    EXPECT_EQ(samples.at("chanload_frames_total{port=\"1\",source=\"heard\"}"), "9223372036854775807");
    EXPECT_EQ(samples.at("chanload_data_bytes_total{port=\"1\",source=\"heard\"}"), "9223372036854775807");
    EXPECT_EQ(samples.at("chanload_airtime_seconds_total{port=\"1\",source=\"heard\"}"), "9223372036.854775807");
}

TEST(ChannelMetrics, FrameAirNanoseconds_BitsAtTheRatePlusPreambleAndTail)
{
    struct Case {
        int64_t bits, rate, txDelay, txTail, expected;
    };
    const Case cases[] = {
        {1200, 1200, 300, 100, 1400000000}, // one second of bits and 0.4 s of keying
        {200, 1200, 300, 100, 566666666},   // 1/6 s truncated to the nanosecond
        {7, 9600, 0, 0, 729166},
        {0, 1200, 0, 0, 0},
        {100, 0, 300, 100, 0},              // no bit rate, no airtime, as the airtime figure
        {100, -1200, 300, 100, 0},
        {100, 1200, -1000, 0, 0},           // never negative
        {std::numeric_limits<int64_t>::max(), 1, 0, 0, 365LL * 24 * 3600 * 1000000000},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bits << " bits at " << c.rate << ", " << c.txDelay << "+" << c.txTail);
        EXPECT_EQ(FrameAirNanoseconds(c.bits, c.rate, c.txDelay + c.txTail), c.expected);
    }
}

TEST(ChannelMetrics, EscapeLabelValue_BackslashQuoteAndLineFeed)
{
    EXPECT_EQ(EscapeLabelValue("N0CALL-1"), "N0CALL-1");
    EXPECT_EQ(EscapeLabelValue("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
    ChannelMetrics metrics("1.0\"\n");
    EXPECT_NE(metrics.Exposition().find("chanload_build_info{version=\"1.0\\\"\\n\"} 1\n"), std::string::npos);
}

TEST(ChannelMetrics, Exposition_StationAirtimeByPortAndCall)
{
    ChannelMetrics metrics("v");
    metrics.Watch(2);
    EXPECT_EQ(metrics.Exposition().find("chanload_station_airtime_seconds_total"), std::string::npos)
        << "no station series before the first station";
    StationAirCounters& stations = metrics.Stations(2);
    stations.Add(1000, "N0CALL-1", 1500000000);
    stations.EndPeriod(1000);
    stations.Add(1030, "N0CALL-1", 250000000);
    stations.Add(1030, "Q\"X", 0);
    stations.EndPeriod(1030);
    const auto samples = samplesOf(metrics.Exposition());
    EXPECT_EQ(samples.at("chanload_station_airtime_seconds_total{port=\"2\",call=\"N0CALL-1\"}"), "0.25");
    EXPECT_EQ(samples.at("chanload_station_airtime_seconds_total{port=\"2\",call=\"others\"}"), "1.5");
    // A station with no air in the day has no series.
    EXPECT_EQ(samples.count("chanload_station_airtime_seconds_total{port=\"2\",call=\"Q\\\"X\"}"), 0u);
}
