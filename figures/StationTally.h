// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Who fills the channel: per transmitter the frames and airtime of a period,
// per originator its packets and the copies of them heard again. Bounded to
// a day's worth of stations; plain values, no Qt.
#include "RecentPackets.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// One frame on the air as the tally needs it. The calls are views into the
// frame they were taken from: valid while the frame is added, not copied.
struct StationFrame {
    int64_t TimeMs = 0;           // when it was heard, ms since 1970-01-01 UTC
    std::string_view Transmitter; // who keyed up: the source, the digipeater that repeated it, or this station
    std::string_view Source;      // who originated the packet
    std::string_view Destination;
    uint64_t ContentHash = 0; // of what makes two frames one packet beside source and destination
    bool Own = false;         // sent by this station itself
    bool Digipeated = false;  // sent by a digipeater, not by its source
    // Carries information (or is an I or UI frame). Frames without, such as
    // acknowledgements, differ in what the monitor text does not show: one
    // is a copy only when a digipeater repeats it.
    bool HasContent = true;
    int64_t AirMicros = 0;    // the frame's bits plus its transmitter's preamble and tail
};

struct CountedFrame;
struct MonitorHeader;

// The tally's view of a counted frame heard at TimeMs. Two frames are one
// packet when their information and their kind agree: an APRS packet and its
// digipeated copies, not two acknowledgements of a link.
StationFrame StationFrameOf(const CountedFrame& Frame, const MonitorHeader& Header, int64_t TimeMs,
                            int64_t AirMicros);

// The air one frame takes: its HDLC bits at the bit rate plus one preamble
// and tail. 0 when the bit rate is not positive.
int64_t FrameAirMicros(int64_t Bits, int64_t BitRate, int64_t PreambleMs, int64_t TailMs);

// One station's part of a period: one row of the stations table.
struct StationRow {
    std::string Call;
    int64_t Frames = 0;          // frames it transmitted
    int64_t AirMicros = 0;       // the air they took
    bool Own = false;            // this station's own transmissions
    int64_t Originated = 0;      // packets it originated that were heard for the first time
    int64_t Copies = 0;          // copies of its packets heard again within the copy window
    int64_t CopiesAirMicros = 0; // the air those copies took, whoever sent them
    int64_t LastHeard = 0;       // seconds since 1970-01-01 UTC; 0 when unknown

    bool operator==(const StationRow&) const = default;
};

// What the tally hands over at the end of each period.
struct StationPeriod {
    int64_t Time = 0;             // end of the period, seconds since 1970-01-01 UTC
    int64_t Sequence = 0;         // counts the periods closed, from 1
    std::vector<StationRow> Rows; // busiest first; "others" among them when stations were folded
};

class StationTally {
public:
    // Stations kept apart per day; beyond that the least busy are summed
    // under OthersCall.
    static constexpr size_t MaxStations = 500;
    // A packet heard again within this long of its first hearing is a copy,
    // as APRS de-duplication counts it.
    static constexpr int64_t CopyWindowMs = 30000;
    // Originals remembered per station for the median interval.
    static constexpr size_t OriginalsKept = 64;
    // Packets remembered for copy detection: more than a 9600 bit/s channel
    // carries in the copy window.
    static constexpr size_t PacketsKept = 4096;
    static constexpr std::string_view OthersCall = "others";

    StationTally() = default;
    // The recent entries point into this tally's own table.
    StationTally(const StationTally&) = delete;
    StationTally& operator=(const StationTally&) = delete;
    StationTally(StationTally&&) = default;
    StationTally& operator=(StationTally&&) = default;

    void Add(const StationFrame& Frame);

    // Ends the period at Time and starts the next. The rows name every
    // station that transmitted or was copied during it. From the first period
    // of a new UTC day on, the day's busyness starts again from zero.
    const StationPeriod& ClosePeriod(int64_t Time);
    const StationPeriod& LastPeriod() const { return last; }

    // Median of the intervals between a station's originals, both heard
    // within [FromMs, ToMs]; -1 when there are fewer than two. Only the
    // station's last OriginalsKept originals are remembered.
    int64_t MedianIntervalMs(std::string_view Call, int64_t FromMs, int64_t ToMs) const;

    // Stations kept apart now, and how many times today a station (or a
    // frame of one the table had no room for) was summed under "others".
    size_t Stations() const { return byCall.size(); }
    int64_t FoldsToday() const { return foldsToday; }

private:
    struct Entry {
        StationRow Period;
        int64_t DayBusyMicros = 0; // air it sent and air its packets took today
        int64_t LastHeardMs = 0;
        std::array<int64_t, OriginalsKept> Originals{}; // ring of times, ms
        uint8_t OriginalsHead = 0, OriginalsCount = 0;

        bool Active() const { return Period.Frames > 0 || Period.Originated > 0 || Period.Copies > 0; }
    };
    // The entry of Call, made when needed; null when the call is summed
    // under "others" because today's busier stations fill the table. Cost is
    // what the frame adds to its busyness.
    // CallHash is InfoHashOf(Call).
    Entry* entryFor(std::string_view Call, uint64_t CallHash, int64_t Cost);
    // The same past the recent entries: found in the table, or made there.
    // Apart, so that the usual case stays small enough to sit in Add.
    [[gnu::noinline]] Entry* lookUp(std::string_view Call, int64_t Cost);
    void fold(Entry& Into, const Entry& From);
    // Heard before within the copy window. SourceHash is InfoHashOf(Frame.Source).
    bool isCopy(const StationFrame& Frame, uint64_t SourceHash);

    // Looked up by view: no call is copied to find its entry.
    struct CallHash {
        using is_transparent = void;
        size_t operator()(std::string_view Call) const;
    };
    std::unordered_map<std::string, Entry, CallHash, std::equal_to<>> byCall;
    // The entries of calls looked up lately, one slot per hash of the call:
    // a burst of frames asks for the same few stations again and again.
    // Emptied whenever an entry leaves the table.
    static constexpr size_t RecentSlots = 64;
    std::array<Entry*, RecentSlots> recent{};
    Entry others;
    int64_t foldsToday = 0;
    int64_t day = INT64_MIN;
    RecentPackets packets{PacketsKept};
    StationPeriod last;
};
