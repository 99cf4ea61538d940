// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One evaluated period as the history, the CSV log and the headless mode keep
// it, and the bounded ring of the last 24 hours.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

struct PeriodFigures;

// What the meter could see of the channel during a period. Only a period the
// engine answered in has figures; in the others a zero would claim a quiet
// channel where the meter was blind.
enum class EngineState : uint8_t {
    Answering,    // connected and the engine answered
    Silent,       // connected, but the last request went unanswered (or none ever was)
    Disconnected, // no connection during the tick
    NoPort,       // the engine's port list has fewer ports than the monitored one
};
// "answering", "silent", "disconnected", "no-port"
const char* EngineStateName(EngineState State);

// Small on purpose: a day of 30-second periods is 2880 of them.
struct PeriodRecord {
    int64_t Time = 0; // end of the period, seconds since 1970-01-01 UTC
    int32_t Port = 0; // radio port counted from 1
    int32_t Frames = 0, Bytes = 0, Datas = 0;
    int16_t Usage = 0, Efficiency = 0, Load = 0, Airtime = 0, OwnAirtime = 0;
    EngineState Engine = EngineState::Answering;
    // The airtime rests on preambles learned from the channel rather than
    // on the assumed TXDELAY/TXTAIL.
    bool MeasuredPreambles = false;

    bool HasFigures() const { return Engine == EngineState::Answering; }
};

PeriodRecord MakePeriodRecord(int64_t Time, int32_t Port, int32_t Frames, int32_t Bytes, int32_t Datas,
                              const PeriodFigures& Figures, int64_t Airtime, int64_t OwnAirtime);

// "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime,engine"
std::string CsvHeader();
// One line without its line end; time in ISO 8601 UTC with seconds. A period
// without figures leaves their fields empty.
std::string CsvLine(const PeriodRecord& Record);
// 2026-12-08T00:49:46Z
std::string Iso8601Utc(int64_t Time);

// The periods of the last 24 hours before the newest one, oldest first.
class PeriodHistory {
public:
    static constexpr int64_t SpanSeconds = 24 * 3600;
    // Ticks can come twice a second; more than that is never kept.
    static constexpr size_t MaxRecords = 2 * SpanSeconds;

    void Add(const PeriodRecord& Record);
    size_t Size() const { return records.size(); }
    bool Empty() const { return records.empty(); }
    const PeriodRecord& operator[](size_t Index) const { return records[Index]; }
    const PeriodRecord& Latest() const { return records.back(); }
    // Index of the first record at or after Time.
    size_t FirstSince(int64_t Time) const;

private:
    std::deque<PeriodRecord> records;
};
