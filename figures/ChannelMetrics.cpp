// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChannelMetrics.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <limits>

namespace {

constexpr int64_t NsPerSecond = 1000000000;
constexpr int64_t Largest = std::numeric_limits<int64_t>::max();

// Counters stop at the largest value rather than wrap into a decrease, which
// Prometheus would take for a restart.
int64_t saturatedSum(int64_t Total, int64_t Amount)
{
    if (Amount <= 0)
        return Total;
    return Total > Largest - Amount ? Largest : Total + Amount;
}

std::string integer(int64_t Value)
{
    char text[24];
    std::snprintf(text, sizeof text, "%" PRId64, Value);
    return text;
}

// Exact decimals, so that a load of 7 % reads 0.07 and not 0.07000000000000001.
std::string fixedPoint(int64_t Value, int64_t Scale, int Digits)
{
    const bool negative = Value < 0;
    // Magnitudes as unsigned: the most negative value has no positive twin.
    const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(Value) : static_cast<uint64_t>(Value);
    const uint64_t whole = magnitude / static_cast<uint64_t>(Scale);
    uint64_t fraction = magnitude % static_cast<uint64_t>(Scale);
    std::string text = (negative ? "-" : "") + std::to_string(whole);
    if (fraction == 0)
        return text;
    std::string digits(static_cast<size_t>(Digits), '0');
    for (int i = Digits - 1; i >= 0; --i) {
        digits[static_cast<size_t>(i)] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    digits.erase(digits.find_last_not_of('0') + 1);
    return text + "." + digits;
}

std::string ratio(int64_t Percent)
{
    return fixedPoint(Percent, 100, 2);
}

void family(std::string& Page, const char* Name, const char* Type, const char* Help)
{
    Page += "# HELP ";
    Page += Name;
    Page += ' ';
    Page += Help;
    Page += "\n# TYPE ";
    Page += Name;
    Page += ' ';
    Page += Type;
    Page += '\n';
}

void sample(std::string& Page, const char* Name, const std::string& Labels, const std::string& Value)
{
    Page += Name;
    Page += '{';
    Page += Labels;
    Page += "} ";
    Page += Value;
    Page += '\n';
}

std::string portLabel(int32_t Port)
{
    return "port=\"" + integer(Port) + "\"";
}

} // namespace

int64_t FrameAirNanoseconds(int64_t Bits, int64_t BitRate, int64_t KeyingMs)
{
    if (BitRate <= 0)
        return 0;
    // A year of bits is far beyond any frame; holding there keeps the
    // arithmetic clear of overflow whatever a length field claimed.
    constexpr int64_t Cap = 365LL * 24 * 3600;
    const int64_t seconds = Bits / BitRate;
    if (seconds >= Cap)
        return Cap * NsPerSecond;
    const int64_t bits = seconds * NsPerSecond + (Bits % BitRate) * NsPerSecond / BitRate;
    const int64_t keyingMs = std::clamp<int64_t>(KeyingMs, -Cap * 1000, Cap * 1000);
    return std::max<int64_t>(bits + keyingMs * 1000000, 0);
}

void ChannelMetrics::Watch(int32_t Port)
{
    counters.try_emplace({Port, false});
    counters.try_emplace({Port, true});
    if (!latest)
        currentPort = Port;
}

void ChannelMetrics::AddFrame(const MetricsFrame& Frame)
{
    Watch(Frame.Port);
    Counters& c = counters[{Frame.Port, Frame.Own}];
    c.Frames = saturatedSum(c.Frames, Frame.Amounts.Frames);
    c.Bytes = saturatedSum(c.Bytes, Frame.Amounts.Bytes);
    c.Datas = saturatedSum(c.Datas, Frame.Amounts.Datas);
    c.AirNanoseconds = saturatedSum(c.AirNanoseconds, Frame.AirNanoseconds);
}

void ChannelMetrics::AddPeriod(const PeriodRecord& Record, int64_t PeriodMs)
{
    Watch(Record.Port);
    currentPort = Record.Port;
    latest = Record;
    periodMs = PeriodMs;
}

std::string ChannelMetrics::Exposition() const
{
    std::string page;
    page.reserve(2048);

    struct CounterFamily {
        const char* Name;
        const char* Help;
        int64_t Counters::*Field;
        bool Seconds;
    };
    static constexpr CounterFamily counterFamilies[] = {
        {"chanload_frames_total", "Frames monitored on the radio port.", &Counters::Frames, false},
        {"chanload_bytes_total", "Bytes of the monitored frames, 19 a frame for addresses, control and checksum "
                                 "included.", &Counters::Bytes, false},
        {"chanload_data_bytes_total", "Information bytes of the monitored frames.", &Counters::Datas, false},
        {"chanload_airtime_seconds_total", "Seconds the monitored frames kept the channel busy, preamble and tail "
                                           "included.", &Counters::AirNanoseconds, true},
    };
    for (const CounterFamily& f : counterFamilies) {
        family(page, f.Name, "counter", f.Help);
        for (const auto& [key, c] : counters) {
            const std::string labels = portLabel(key.first) + ",source=\"" + (key.second ? "own" : "heard") + "\"";
            const int64_t value = c.*f.Field;
            sample(page, f.Name, labels, f.Seconds ? fixedPoint(value, NsPerSecond, 9) : integer(value));
        }
    }

    struct GaugeFamily {
        const char* Name;
        const char* Help;
        int16_t PeriodRecord::*Field;
    };
    static constexpr GaugeFamily gaugeFamilies[] = {
        {"chanload_usage_ratio", "Bytes of the last period as a share of what the channel carries in one period.",
         &PeriodRecord::Usage},
        {"chanload_efficiency_ratio", "Information bytes as a share of all bytes over the last ten periods.",
         &PeriodRecord::Efficiency},
        {"chanload_load_ratio", "Bytes of the last ten periods as a share of what the channel carries in ten "
                                "periods.", &PeriodRecord::Load},
        {"chanload_airtime_ratio", "Share of the last period the channel carried a signal.", &PeriodRecord::Airtime},
    };
    const bool figures = latest && latest->HasFigures();
    for (const GaugeFamily& f : gaugeFamilies) {
        family(page, f.Name, "gauge", f.Help);
        if (figures)
            sample(page, f.Name, portLabel(latest->Port), ratio((*latest).*f.Field));
    }

    family(page, "chanload_engine_up", "gauge",
           "1 while the meter is connected to the engine and the engine answers, else 0.");
    if (currentPort != 0 || latest)
        sample(page, "chanload_engine_up", portLabel(currentPort), figures ? "1" : "0");
    family(page, "chanload_period_seconds", "gauge", "Length of the sample period.");
    if (latest)
        sample(page, "chanload_period_seconds", portLabel(latest->Port), fixedPoint(periodMs, 1000, 3));
    bool stationFamily = false;
    for (const auto& [port, counters] : stations) {
        for (const StationAirCounters::Series& s : counters.Visible()) {
            if (!stationFamily)
                family(page, "chanload_station_airtime_seconds_total", "counter",
                       "Seconds the station's transmissions kept the channel busy, for the 50 busiest stations of "
                       "the last 24 hours; the others' under call=\"others\".");
            stationFamily = true;
            sample(page, "chanload_station_airtime_seconds_total",
                   portLabel(port) + ",call=\"" + EscapeLabelValue(s.Call) + "\"",
                   fixedPoint(s.AirNanoseconds, NsPerSecond, 9));
        }
    }
    family(page, "chanload_build_info", "gauge", "The program's version; always 1.");
    sample(page, "chanload_build_info", "version=\"" + EscapeLabelValue(version) + "\"", "1");
    return page;
}

std::string EscapeLabelValue(const std::string& Value)
{
    std::string escaped;
    escaped.reserve(Value.size());
    for (char c : Value) {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '"')
            escaped += "\\\"";
        else if (c == '\n')
            escaped += "\\n";
        else
            escaped += c;
    }
    return escaped;
}
