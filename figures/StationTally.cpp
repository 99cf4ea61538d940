// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationTally.h"

#include "AGWUnit.h"
#include "CountedFrame.h"

#include <algorithm>
#include <limits>

namespace {

int64_t dayOf(int64_t Time)
{
    return Time >= 0 ? Time / 86400 : (Time - 86399) / 86400;
}

int64_t saturatedAdd(int64_t A, int64_t B)
{
    int64_t sum = 0;
    if (__builtin_add_overflow(A, B, &sum))
        return B > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

void addRow(StationRow& Into, const StationRow& From)
{
    Into.Frames = saturatedAdd(Into.Frames, From.Frames);
    Into.AirMicros = saturatedAdd(Into.AirMicros, From.AirMicros);
    Into.Originated = saturatedAdd(Into.Originated, From.Originated);
    Into.Copies = saturatedAdd(Into.Copies, From.Copies);
    Into.CopiesAirMicros = saturatedAdd(Into.CopiesAirMicros, From.CopiesAirMicros);
    Into.Own = Into.Own || From.Own;
    Into.LastHeard = std::max(Into.LastHeard, From.LastHeard);
}

} // namespace

StationFrame StationFrameOf(const CountedFrame& Frame, const MonitorHeader& Header, int64_t TimeMs,
                            int64_t AirMicros)
{
    StationFrame f;
    f.TimeMs = TimeMs;
    f.Transmitter = Frame.Transmitter;
    f.Source = Frame.Source;
    f.Destination = Frame.Destination;
    f.Own = Frame.Own;
    f.Digipeated = Frame.Digipeated;
    f.HasContent = Header.FrameType == "UI" || Header.FrameType == "I" || (Header.HasInfoLen && Header.InfoLen > 0);
    f.AirMicros = AirMicros;
    // The kind, the sequence numbers and the PID, folded into the
    // information's hash: the two texts hashed on from each other, the two
    // numbers mixed in as one word, so that no digits are written per frame.
    uint64_t kind = InfoHashOf(Header.Pid, InfoHashOf(Header.FrameType));
    const uint64_t sequences = uint64_t{static_cast<uint32_t>(Header.SendSeq)} << 32 |
        static_cast<uint32_t>(Header.RecvSeq);
    kind = (kind ^ sequences) * 0x9E3779B97F4A7C15ull;
    kind ^= kind >> 29;
    f.ContentHash = Frame.InfoHash ^ (kind * 0x100000001b3ULL);
    return f;
}

int64_t FrameAirMicros(int64_t Bits, int64_t BitRate, int64_t PreambleMs, int64_t TailMs)
{
    if (BitRate <= 0)
        return 0;
    const int64_t bits = std::clamp<int64_t>(Bits, 0, std::numeric_limits<int32_t>::max());
    const int64_t edges = std::clamp<int64_t>(PreambleMs, 0, 60000) + std::clamp<int64_t>(TailMs, 0, 60000);
    return (bits * 1000000 + BitRate / 2) / BitRate + edges * 1000;
}

size_t StationTally::CallHash::operator()(std::string_view Call) const
{
    return static_cast<size_t>(InfoHashOf(Call));
}

inline StationTally::Entry* StationTally::entryFor(std::string_view Call, uint64_t CallHash, int64_t Cost)
{
    // The top bits: the hash's last step mixes them best.
    Entry*& memo = recent[CallHash >> 58];
    if (memo && memo->Period.Call == Call) [[likely]]
        return memo;
    // A slot of the recent ones keeps no station that went under "others".
    if (Entry* entry = lookUp(Call, Cost))
        return memo = entry;
    return nullptr;
}

StationTally::Entry* StationTally::lookUp(std::string_view Call, int64_t Cost)
{
    if (const auto found = byCall.find(Call); found != byCall.end())
        return &found->second;
    if (byCall.size() >= MaxStations) {
        // The least busy of today's stations and the newcomer goes under
        // "others"; on a tie the stations already kept stay.
        auto least = byCall.end();
        for (auto it = byCall.begin(); it != byCall.end(); ++it)
            if (least == byCall.end() || it->second.DayBusyMicros < least->second.DayBusyMicros
                || (it->second.DayBusyMicros == least->second.DayBusyMicros
                    && it->second.LastHeardMs < least->second.LastHeardMs))
                least = it;
        if (least->second.DayBusyMicros >= Cost) {
            ++foldsToday;
            return nullptr;
        }
        // A station not heard today leaves without a trace in today's figures.
        if (least->second.DayBusyMicros > 0 || least->second.Active()) {
            fold(others, least->second);
            ++foldsToday;
        }
        byCall.erase(least);
        recent.fill(nullptr);
    }
    Entry& made = byCall.try_emplace(std::string(Call)).first->second;
    made.Period.Call = Call;
    return &made;
}

void StationTally::fold(Entry& Into, const Entry& From)
{
    addRow(Into.Period, From.Period);
    Into.DayBusyMicros = saturatedAdd(Into.DayBusyMicros, From.DayBusyMicros);
    Into.LastHeardMs = std::max(Into.LastHeardMs, From.LastHeardMs);
}

inline bool StationTally::isCopy(const StationFrame& Frame, uint64_t SourceHash)
{
    packets.MakeRoom(Frame.TimeMs - CopyWindowMs);
    // Each call's hash takes in its length, so "AB" to "C" is not "A" to "BC".
    const RecentPackets::Key key{InfoHashOf(Frame.Destination, SourceHash), Frame.ContentHash};
    // A clock that stepped back still finds the copy.
    if (const int64_t* latest = packets.Latest(key);
        latest && Frame.TimeMs - *latest <= CopyWindowMs && (Frame.HasContent || Frame.Digipeated))
        return true;
    packets.Add(key, Frame.TimeMs);
    return false;
}

void StationTally::Add(const StationFrame& Frame)
{
    const uint64_t sourceHash = InfoHashOf(Frame.Source);
    const bool copy = isCopy(Frame, sourceHash);
    const int64_t air = std::max<int64_t>(Frame.AirMicros, 0);
    const int64_t heard = Frame.TimeMs >= 0 ? Frame.TimeMs / 1000 : 0;

    const bool sentByOriginator = Frame.Transmitter == Frame.Source;
    Entry* sender = entryFor(Frame.Transmitter, sentByOriginator ? sourceHash : InfoHashOf(Frame.Transmitter),
                             sentByOriginator ? saturatedAdd(air, air) : air);
    Entry& tx = sender ? *sender : others;
    tx.Period.Frames = saturatedAdd(tx.Period.Frames, 1);
    tx.Period.AirMicros = saturatedAdd(tx.Period.AirMicros, air);
    tx.Period.Own = tx.Period.Own || Frame.Own;
    tx.Period.LastHeard = std::max(tx.Period.LastHeard, heard);
    tx.DayBusyMicros = saturatedAdd(tx.DayBusyMicros, air);
    tx.LastHeardMs = std::max(tx.LastHeardMs, Frame.TimeMs);

    // Making the originator's entry may fold the transmitter's away: tx is
    // not used from here on.
    Entry* origin = sentByOriginator ? sender : entryFor(Frame.Source, sourceHash, air);
    Entry& from = origin ? *origin : others;
    from.DayBusyMicros = saturatedAdd(from.DayBusyMicros, air);
    if (copy) {
        from.Period.Copies = saturatedAdd(from.Period.Copies, 1);
        from.Period.CopiesAirMicros = saturatedAdd(from.Period.CopiesAirMicros, air);
    } else {
        from.Period.Originated = saturatedAdd(from.Period.Originated, 1);
        if (origin) {
            origin->Originals[origin->OriginalsHead] = Frame.TimeMs;
            origin->OriginalsHead = static_cast<uint8_t>((origin->OriginalsHead + 1) % OriginalsKept);
            origin->OriginalsCount = static_cast<uint8_t>(std::min<size_t>(origin->OriginalsCount + 1u, OriginalsKept));
        }
    }
    if (!sentByOriginator)
        from.Period.LastHeard = std::max(from.Period.LastHeard, heard);
}

const StationPeriod& StationTally::ClosePeriod(int64_t Time)
{
    last.Time = Time;
    ++last.Sequence;
    last.Rows.clear();
    for (auto& [call, entry] : byCall) {
        if (entry.Active())
            last.Rows.push_back(entry.Period);
        entry.Period = StationRow{};
        entry.Period.Call = call;
    }
    if (others.Active()) {
        last.Rows.push_back(others.Period);
        last.Rows.back().Call = std::string(OthersCall);
    }
    others.Period = StationRow{};
    std::sort(last.Rows.begin(), last.Rows.end(), [](const StationRow& a, const StationRow& b) {
        if (a.AirMicros != b.AirMicros)
            return a.AirMicros > b.AirMicros;
        return a.Call < b.Call;
    });

    const int64_t today = dayOf(Time);
    if (day != INT64_MIN && today != day) {
        for (auto& [call, entry] : byCall)
            entry.DayBusyMicros = 0;
        others.DayBusyMicros = 0;
        foldsToday = 0;
    }
    day = today;
    return last;
}

int64_t StationTally::MedianIntervalMs(std::string_view Call, int64_t FromMs, int64_t ToMs) const
{
    const auto found = byCall.find(Call);
    if (found == byCall.end())
        return -1;
    const Entry& e = found->second;
    std::vector<int64_t> times;
    times.reserve(e.OriginalsCount);
    for (size_t i = 0; i < e.OriginalsCount; ++i) {
        const int64_t t = e.Originals[(e.OriginalsHead + OriginalsKept - e.OriginalsCount + i) % OriginalsKept];
        if (t >= FromMs && t <= ToMs)
            times.push_back(t);
    }
    if (times.size() < 2)
        return -1;
    std::sort(times.begin(), times.end());
    std::vector<int64_t> gaps;
    for (size_t i = 1; i < times.size(); ++i)
        gaps.push_back(times[i] - times[i - 1]);
    const size_t mid = gaps.size() / 2;
    std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(mid), gaps.end());
    const int64_t upper = gaps[mid];
    if (gaps.size() % 2 == 1)
        return upper;
    const int64_t lower = *std::max_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(mid));
    return lower + (upper - lower) / 2;
}
