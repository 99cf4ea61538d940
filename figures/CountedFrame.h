// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Who put a counted frame on the air, and how long it took.
//
// Dire Wolf's monitor text does not show which digipeater has repeated a
// frame; its raw frames ('K', sent to a client once it asked with 'k') carry
// the address field with the has-been-repeated (H) bits. For every frame it
// hears Dire Wolf sends the raw frame first, then the monitor frame; for its
// own transmissions ('T') it sends no raw frame. FrameOrigins pairs the two
// and describes each counted frame:
//
//   FrameOrigins origins;
//   on a 'K' frame:         origins.TakeRaw(port, data);
//   on a monitored frame:   CountedFrame f = origins.Describe(port, kind, header, data);
//
// The description holds no timing; the preamble estimate adds that.
#include "InfoHash.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct MonitorHeader;

struct CountedFrame {
    // The station that keyed up: the source, or for a digipeated frame the
    // last digipeater whose H bit is set; for the station's own frames its
    // own call (the digipeater call it put into the path, or the source of
    // what it originated).
    std::string Transmitter;
    // As the monitor text writes them: views into it, valid while it is.
    std::string_view Source, Destination;
    uint64_t InfoHash = 0;           // InfoHashOf the information bytes
    bool Own = false;                // the station's own transmission ('T')
    bool Digipeated = false;         // sent by a digipeater, not by its source
    int64_t AirBits = 0;             // HDLC bits, stuffing and closing flag included
    bool Exact = false;              // from the raw frame: addresses, H bits and length as sent
};

// The address field of a raw AX.25 frame: calls as "CALL-7" ("CALL" for SSID
// 0), the H bit of each digipeater. Nothing when the field does not end
// within the frame, within 10 addresses.
struct RawAddresses {
    std::string Destination, Source;
    std::vector<std::string> Via;
    std::vector<bool> Repeated;
};
std::optional<RawAddresses> ParseRawAddresses(std::string_view Frame);


class FrameOrigins {
public:
    // A raw frame ('K'): one byte the engine puts in front, then the frame
    // without its FCS. Kept until the monitored frame it belongs to comes.
    void TakeRaw(uint8_t Port, std::string_view Data);
    // The monitored frame of Kind ('I', 'S', 'U' heard, 'T' own) on Port,
    // with the header ParseMonitorHeader read from Data, its whole data part.
    CountedFrame Describe(uint8_t Port, char Kind, const MonitorHeader& Header, std::string_view Data);
    // The station's own call as learned from its digipeats; empty until then.
    const std::string& OwnCall() const { return ownCall; }

private:
    // A call as the monitor text writes it, "ABCDEF-15" at the longest.
    struct ShortCall {
        std::array<char, 10> text{};
        size_t size = 0;
        std::string_view View() const { return {text.data(), size}; }
    };
    // A raw frame waiting for its monitor frame: the calls it is matched by
    // and the station that sent it, decoded once; the slot keeps the frame's
    // buffer for the next.
    struct Raw {
        uint8_t port = 0;
        std::string frame;
        ShortCall source, destination, transmitter;
        bool digipeated = false;
    };
    // A heard frame's calls (source, destination, the digipeaters) one after
    // another in one buffer that keeps its room, each ending where ends
    // says: a frame is recorded with a copy per call, not a string assigned.
    struct Heard {
        // Source, destination and the most digipeaters a header holds.
        static constexpr size_t MaxCalls = 10;
        std::vector<char> calls;
        std::array<uint32_t, MaxCalls> ends{};
        size_t count = 0;
        uint64_t info = 0;

        std::string_view Call(size_t Index) const
        {
            const uint32_t from = Index == 0 ? 0 : ends[Index - 1];
            return {calls.data() + from, ends[Index] - from};
        }
        size_t Via() const { return count - 2; }
    };
    // Dire Wolf sends each raw frame right before its monitor frame; a few
    // are kept in case an engine sends frames the monitor leaves out.
    static constexpr size_t KeptRaw = 4;
    // Recently heard frames, to recognise the station's digipeats of them.
    static constexpr size_t KeptHeard = 16;
    // The heard frame Age places before the newest (0: the newest).
    const Heard& heardBefore(size_t Age) const { return heard[(heardNext + KeptHeard - 1 - Age) % KeptHeard]; }
    // Oldest first, from rawFirst on.
    std::array<Raw, KeptRaw> raws;
    size_t rawFirst = 0, rawCount = 0;
    // A ring whose entries keep their buffers from frame to frame.
    std::array<Heard, KeptHeard> heard;
    size_t heardNext = 0, heardCount = 0;
    std::string ownCall;
};
