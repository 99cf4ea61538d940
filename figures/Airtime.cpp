// SPDX-License-Identifier: GPL-3.0-or-later
#include "Airtime.h"

#include "AGWUnit.h"
#include "FrameAmounts.h"
#include "PeriodFigures.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <limits>
#include <string>

namespace {

constexpr int64_t AddressBytes = 7;
constexpr int64_t FcsBytes = 2;
constexpr int64_t FlagBits = 8;
// Five 1s in a row, counted from a 0, take 2^6 - 2 random bits on average:
// one stuffed bit in 62.
constexpr int64_t BitsPerStuffedBit = 62;

// What the description between '<' and '>' says beyond the frame type, in
// the spellings of Dire Wolf ("S3 R1 pid=F0 Len=5 P=0"), QtSoundModem
// ("P R1 S3", "P/F") and LinBPQ ("C P S3 R1", "R R5").
struct Description {
    enum Role { Unknown, Command, Response, Both };
    Role role = Unknown;
    int pollFinal = 0;
    int64_t recv = -1, send = -1;
    std::optional<uint8_t> pid;
};

std::optional<int64_t> decimal(std::string_view Text)
{
    if (Text.empty() || Text.size() > 9)
        return std::nullopt;
    int64_t v = 0;
    for (char c : Text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

std::optional<uint8_t> hexByte(std::string_view Text)
{
    if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X'))
        Text.remove_prefix(2);
    if (Text.empty() || Text.size() > 2)
        return std::nullopt;
    unsigned v = 0;
    for (char c : Text) {
        const int d = c >= '0' && c <= '9' ? c - '0'
            : c >= 'a' && c <= 'f'         ? c - 'a' + 10
            : c >= 'A' && c <= 'F'         ? c - 'A' + 10
                                           : -1;
        if (d < 0)
            return std::nullopt;
        v = v * 16 + static_cast<unsigned>(d);
    }
    return static_cast<uint8_t>(v);
}

Description describe(std::string_view Data)
{
    Description d;
    std::string_view line = Data.substr(0, Data.find('\r'));
    const size_t open = line.find('<');
    if (open == std::string_view::npos)
        return d;
    line.remove_prefix(open + 1);
    line = line.substr(0, line.find('>'));
    bool first = true;
    while (!line.empty()) {
        const size_t blank = line.find(' ');
        const std::string_view word = line.substr(0, blank);
        line.remove_prefix(blank == std::string_view::npos ? line.size() : blank + 1);
        if (word.empty())
            continue;
        if (first) { // the frame type, which the header already holds
            first = false;
            continue;
        }
        const size_t equals = word.find('=');
        const std::string_view name = word.substr(0, equals);
        const std::string_view value = equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
        if (name == "pid") {
            d.pid = hexByte(value);
        } else if (name == "P" || name == "F" || name == "PF" || name == "P/F") {
            d.pollFinal = equals == std::string_view::npos ? 1 : (value == "1" ? 1 : 0);
            // Dire Wolf writes "PF" for frames whose two C bits are equal, as
            // its own APRS frames have them (both set).
            d.role = name == "P" ? Description::Command
                : name == "F"   ? Description::Response
                : name == "PF" && equals != std::string_view::npos ? Description::Both
                                                                   : d.role;
        } else if (word == "C") {
            d.role = Description::Command;
        } else if (word == "R") {
            d.role = Description::Response;
        } else if (word.size() > 1 && (word[0] == 'R' || word[0] == 'S')) {
            if (const auto n = decimal(word.substr(1)))
                (word[0] == 'R' ? d.recv : d.send) = *n;
        }
    }
    return d;
}

// The control byte of an unnumbered frame without its P/F bit; LinBPQ
// writes SABM as "C" and DISC as "D".
std::optional<uint8_t> unnumberedControl(std::string_view Type)
{
    struct Entry {
        std::string_view type;
        uint8_t control;
    };
    static constexpr Entry table[] = {{"UI", 0x03},   {"SABM", 0x2F}, {"SABME", 0x6F}, {"DISC", 0x43},
                                      {"DM", 0x0F},   {"UA", 0x63},   {"FRMR", 0x87},  {"XID", 0xAF},
                                      {"TEST", 0xE3}, {"C", 0x2F},    {"D", 0x43}};
    for (const Entry& e : table)
        if (e.type == Type)
            return e.control;
    return std::nullopt;
}

std::optional<uint8_t> supervisoryControl(std::string_view Type)
{
    if (Type == "RR")
        return 0x01;
    if (Type == "RNR")
        return 0x05;
    if (Type == "REJ")
        return 0x09;
    if (Type == "SREJ")
        return 0x0D;
    return std::nullopt;
}

// What stuffing one byte does, for each run of 1s (0 to 4) it starts with:
// the 0s it gets inserted, least significant bit first, and the run it
// leaves. Counting bit by bit took a third of the time of a burst of frames.
struct StuffStep {
    uint8_t stuffed;
    uint8_t run;
};

constexpr std::array<std::array<StuffStep, 256>, 5> makeStuffTable()
{
    std::array<std::array<StuffStep, 256>, 5> table{};
    for (int start = 0; start < 5; ++start)
        for (int byte = 0; byte < 256; ++byte) {
            int ones = start, stuffed = 0;
            for (int bit = 0; bit < 8; ++bit) {
                if ((byte >> bit) & 1) {
                    if (++ones == 5) {
                        ++stuffed;
                        ones = 0;
                    }
                } else {
                    ones = 0;
                }
            }
            table[static_cast<size_t>(start)][static_cast<size_t>(byte)] = {static_cast<uint8_t>(stuffed),
                                                                         static_cast<uint8_t>(ones)};
        }
    return table;
}

constexpr auto StuffTable = makeStuffTable();

// CRC-16/X.25 as HDLC computes it (reflected, polynomial 0x8408), a byte at a time.
constexpr std::array<uint16_t, 256> makeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte;
        for (int i = 0; i < 8; ++i)
            crc = (crc & 1) ? (crc >> 1) ^ 0x8408 : crc >> 1;
        table[byte] = static_cast<uint16_t>(crc);
    }
    return table;
}

constexpr auto CrcTable = makeCrcTable();

// The same CRC eight bytes at a time ("slicing by 8"): Slices[k][b] is the
// CRC of byte b followed by k zero bytes.
constexpr std::array<std::array<uint16_t, 256>, 8> makeCrcSlices()
{
    std::array<std::array<uint16_t, 256>, 8> slices{};
    slices[0] = makeCrcTable();
    for (size_t k = 1; k < 8; ++k)
        for (size_t b = 0; b < 256; ++b) {
            const uint16_t before = slices[k - 1][b];
            slices[k][b] = static_cast<uint16_t>((before >> 8) ^ slices[0][before & 0xFF]);
        }
    return slices;
}

constexpr auto CrcSlices = makeCrcSlices();

// The bits of a frame as sent, least significant bit of each byte first.
// Bytes whose value is unknown only add their length; stuffing for them is
// estimated afterwards, and a run of 1s does not carry across them.
class FrameBits {
public:
    // Bytes added one at a time wait in a small buffer, so that they too
    // are counted eight at a time.
    void Add(uint8_t Byte)
    {
        if (waiting == pending.size())
            flush();
        pending[waiting++] = Byte;
    }
    void Add(const std::array<uint8_t, AddressBytes>& Bytes)
    {
        if (pending.size() - waiting < Bytes.size())
            flush();
        std::memcpy(pending.data() + waiting, Bytes.data(), Bytes.size());
        waiting += Bytes.size();
    }
    void AddBytes(std::string_view Bytes)
    {
        flush();
        addKnown(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size());
    }
    void AddUnknown(int64_t Count)
    {
        if (Count <= 0)
            return;
        flush();
        unknown += Count;
        ones = 0;
    }
    // The frame check sequence, exact when every byte before it is known.
    void AddFcs()
    {
        if (unknown > 0) {
            AddUnknown(FcsBytes);
            return;
        }
        flush();
        const auto fcs = static_cast<uint16_t>(~crc);
        const unsigned char bytes[] = {static_cast<uint8_t>(fcs & 0xFF), static_cast<uint8_t>(fcs >> 8)};
        addKnown(bytes, sizeof bytes);
    }
    int64_t Bits()
    {
        flush();
        const int64_t unknownBits = unknown * 8;
        return known * 8 + unknownBits + stuffed + (unknownBits + BitsPerStuffedBit / 2) / BitsPerStuffedBit;
    }

private:
    void flush()
    {
        addKnown(pending.data(), waiting);
        waiting = 0;
    }
    void addOne(uint8_t Byte)
    {
        ++known;
        crc = static_cast<uint16_t>((crc >> 8) ^ CrcTable[(crc ^ Byte) & 0xFF]);
        const StuffStep step = StuffTable[static_cast<size_t>(ones)][Byte];
        stuffed += step.stuffed;
        ones = step.run;
    }
    // Eight bytes at a time where no run of five 1s is in them: on the air
    // the first byte's least significant bit comes first, which is bit order
    // in a little-endian word.
    void addKnown(const unsigned char* p, size_t left)
    {
        for (; left >= 8; p += 8, left -= 8) {
            uint64_t word = 0;
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(&word, p, sizeof word);
            } else {
                for (size_t i = 0; i < 8; ++i)
                    word |= uint64_t{p[i]} << (8 * i);
            }
            const uint64_t fiveOnes = word & (word >> 1) & (word >> 2) & (word >> 3) & (word >> 4);
            if (fiveOnes != 0 || ones + std::countr_one(word) >= 5) {
                // Stuffing byte by byte from the table; the CRC stays sliced.
                for (size_t i = 0; i < 8; ++i) {
                    const StuffStep step = StuffTable[static_cast<size_t>(ones)][p[i]];
                    stuffed += step.stuffed;
                    ones = step.run;
                }
            } else {
                // Nothing stuffed: the run left is the word's last 1s.
                ones = static_cast<uint8_t>(std::countl_one(word));
            }
            known += 8;
            const auto first = static_cast<uint16_t>(crc ^ (p[0] | p[1] << 8));
            crc = static_cast<uint16_t>(CrcSlices[7][first & 0xFF] ^ CrcSlices[6][first >> 8] ^ CrcSlices[5][p[2]] ^
                                        CrcSlices[4][p[3]] ^ CrcSlices[3][p[4]] ^ CrcSlices[2][p[5]] ^
                                        CrcSlices[1][p[6]] ^ CrcSlices[0][p[7]]);
        }
        for (; left > 0; ++p, --left)
            addOne(*p);
    }

    std::array<unsigned char, 96> pending{};
    size_t waiting = 0;
    int64_t known = 0;
    int64_t unknown = 0;
    uint16_t crc = 0xFFFF;
    uint8_t ones = 0;
    int64_t stuffed = 0;
};

// An address field: six characters shifted left by one, blank-padded, then
// the SSID byte with the C (or, for a digipeater, H) bit on top, the two
// reserved bits set and the end-of-addresses bit at the bottom.
void addAddress(FrameBits& Frame, std::string_view Call, bool TopBit, bool Last)
{
    // Plain loops: a call is a few bytes, shorter than a search's call.
    size_t dash = 0;
    while (dash < Call.size() && Call[dash] != '-')
        ++dash;
    const size_t base = std::min<size_t>(dash, 6);
    int ssid = 0;
    for (size_t i = dash + 1; i < Call.size(); ++i) {
        const char c = Call[i];
        if (c < '0' || c > '9')
            break;
        ssid = std::min(ssid * 10 + (c - '0'), 1000);
    }
    std::array<uint8_t, AddressBytes> field;
    for (size_t i = 0; i < 6; ++i)
        field[i] = static_cast<uint8_t>((i < base ? static_cast<unsigned char>(Call[i]) : ' ') << 1);
    field[6] = static_cast<uint8_t>((TopBit ? 0x80 : 0) | 0x60 | ((ssid & 0x0f) << 1) | (Last ? 1 : 0));
    Frame.Add(field);
}

} // namespace

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data)
{
    const Description d = describe(Data);
    const std::string_view type = Header.FrameType;
    const bool information = type == "I";
    const bool carriesPid = information || type == "UI";
    const auto supervisory = supervisoryControl(type);
    const auto unnumbered = unnumberedControl(type);
    // Sequence numbers above 7 only exist in modulo-128 links, whose I and S
    // frames have two control bytes; U frames always have one.
    const bool modulo128 = (information || supervisory) && (d.recv > 7 || d.send > 7);

    FrameBits frame;
    // Command: destination C bit set; response: source C bit set.
    const bool both = d.role == Description::Both;
    addAddress(frame, Header.Destination, both || d.role != Description::Response, false);
    addAddress(frame, Header.Source, both || d.role == Description::Response, Header.Via.empty());
    // A '*' marks the last digipeater that has repeated the frame; those
    // before it have repeated it too. Dire Wolf shows no '*' at all.
    size_t repeated = 0;
    for (size_t i = 0; i < Header.Via.size(); ++i)
        if (!Header.Via[i].empty() && Header.Via[i].back() == '*')
            repeated = i + 1;
    for (size_t i = 0; i < Header.Via.size(); ++i) {
        std::string_view call = Header.Via[i];
        if (!call.empty() && call.back() == '*')
            call.remove_suffix(1);
        addAddress(frame, call, i < repeated, i + 1 == Header.Via.size());
    }

    const int64_t recv = std::max<int64_t>(d.recv, 0), send = std::max<int64_t>(d.send, 0);
    const int pf = d.pollFinal;
    if (information && modulo128) {
        frame.Add(static_cast<uint8_t>((send & 0x7f) << 1));
        frame.Add(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (information) {
        frame.Add(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | ((send & 7) << 1)));
    } else if (supervisory && modulo128) {
        frame.Add(*supervisory);
        frame.Add(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (supervisory) {
        frame.Add(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | *supervisory));
    } else if (unnumbered) {
        frame.Add(static_cast<uint8_t>(*unnumbered | (pf << 4)));
    } else {
        frame.AddUnknown(1);
    }

    if (carriesPid) {
        if (d.pid)
            frame.Add(*d.pid);
        else
            frame.AddUnknown(1);
    }

    // I and UI frames: the length the header gives, else what is shown. Other
    // frames (XID, TEST, FRMR, SREJ) carry what the engine shows after the line.
    const std::string_view shown = MonitorInformation(Data);
    const int64_t info = carriesPid ? InformationBytesShown(Header, shown) : static_cast<int64_t>(shown.size());
    if (static_cast<int64_t>(shown.size()) == info) {
        frame.AddBytes(shown);
    } else {
        frame.AddUnknown(info);
    }

    frame.AddFcs();
    return frame.Bits() + FlagBits;
}

int64_t RawFrameAirBits(std::string_view Frame)
{
    FrameBits frame;
    frame.AddBytes(Frame);
    frame.AddFcs();
    return frame.Bits() + FlagBits;
}

int64_t SaturatingAdd(int64_t A, int64_t B)
{
    int64_t sum = 0;
    if (__builtin_add_overflow(A, B, &sum))
        return B > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return sum;
}

AirtimeTotals& AirtimeTotals::operator+=(const AirtimeTotals& Other)
{
    Bits = SaturatingAdd(Bits, Other.Bits);
    Transmissions = SaturatingAdd(Transmissions, Other.Transmissions);
    KeyedMs = SaturatingAdd(KeyedMs, Other.KeyedMs);
    KeyedTransmissions = SaturatingAdd(KeyedTransmissions, Other.KeyedTransmissions);
    return *this;
}

int64_t AirtimePercent(const AirtimeTotals& Totals, int64_t BitRate, int64_t TxDelayMs, int64_t TxTailMs,
                       int64_t TimerMs)
{
    if (BitRate <= 0)
        return 0;
    const int64_t periodMs = EffectivePeriodMs(TimerMs);
    // Transmissions without their own preamble and tail take the given ones.
    const int64_t assumed = std::max<int64_t>(Totals.Transmissions - Totals.KeyedTransmissions, 0);
    // Busy time in milliseconds times the bit rate, so that whole figures stay
    // whole: 10 preambles of 0.4 s are 4 s, not 3.9999.
    const long double estimate = static_cast<long double>(Totals.Bits) * 1000.0L +
        (static_cast<long double>(assumed) * static_cast<long double>(TxDelayMs + TxTailMs) +
         static_cast<long double>(Totals.KeyedMs)) *
            static_cast<long double>(BitRate);
    const long double capacity = static_cast<long double>(BitRate) * static_cast<long double>(periodMs);
    if (std::fabs(estimate) > 1e16L || capacity > 1e16L)
        return std::clamp<int64_t>(static_cast<int64_t>(std::trunc(
                                       std::clamp(estimate * 100.0L / capacity, -1.0L, 101.0L))),
                                   0, 100);
    const int64_t busy = Totals.Bits * 1000 + (assumed * (TxDelayMs + TxTailMs) + Totals.KeyedMs) * BitRate;
    return std::clamp<int64_t>(busy * 100 / (BitRate * periodMs), 0, 100);
}
