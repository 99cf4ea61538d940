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
    // Words between blanks. Only the names that matter have an '=' looked
    // for, and all of them begin with 'p', 'P' or 'F'.
    const char* p = line.data();
    const char* const end = p + line.size();
    bool first = true;
    for (;;) {
        while (p < end && *p == ' ')
            ++p;
        if (p == end)
            break;
        const char* const start = p;
        while (p < end && *p != ' ')
            ++p;
        if (first) { // the frame type, which the header already holds
            first = false;
            continue;
        }
        const std::string_view word(start, static_cast<size_t>(p - start));
        const char* equals = nullptr;
        if (*start == 'p' || *start == 'P' || *start == 'F')
            for (const char* at = start; at < p && !equals; ++at)
                if (*at == '=')
                    equals = at;
        const std::string_view name = equals ? std::string_view(start, static_cast<size_t>(equals - start)) : word;
        const std::string_view value = equals ? std::string_view(equals + 1, static_cast<size_t>(p - equals - 1))
                                              : std::string_view();
        if (name == "pid") {
            d.pid = hexByte(value);
        } else if (name == "P" || name == "F" || name == "PF" || name == "P/F") {
            d.pollFinal = !equals ? 1 : (value == "1" ? 1 : 0);
            // Dire Wolf writes "PF" for frames whose two C bits are equal, as
            // its own APRS frames have them (both set).
            d.role = name == "P" ? Description::Command
                : name == "F"   ? Description::Response
                : name == "PF" && equals ? Description::Both
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

// Eight bytes as the air sends them: the first byte's least significant bit
// first, which is bit order in a little-endian word.
uint64_t loadWord(const unsigned char* P)
{
    uint64_t word = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&word, P, sizeof word);
    } else {
        for (size_t i = 0; i < 8; ++i)
            word |= uint64_t{P[i]} << (8 * i);
    }
    return word;
}

uint64_t loadWord(const char* P)
{
    return loadWord(reinterpret_cast<const unsigned char*>(P));
}

// Four bytes as the low half of a word, in the same order.
uint64_t loadWord4(const char* P)
{
    uint32_t half = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&half, P, sizeof half);
    } else {
        for (size_t i = 0; i < 4; ++i)
            half |= uint32_t{static_cast<unsigned char>(P[i])} << (8 * i);
    }
    return half;
}

// The bits of a frame as sent. Known bytes are taken eight at a time, CRC and
// stuffing alike; bytes whose value is unknown only add their length,
// stuffing for them is estimated afterwards, and a run of 1s does not carry
// across them.
class FrameBits {
public:
    void Known(const unsigned char* P, size_t Count)
    {
        // An empty view may have no bytes at all to point to.
        if (Count == 0)
            return;
        known += static_cast<int64_t>(Count);
        if (waiting > 0) {
            const size_t take = std::min(Count, 8 - waiting);
            std::memcpy(held.data() + waiting, P, take);
            waiting += take;
            P += take;
            Count -= take;
            if (waiting < 8)
                return;
            word(held.data());
            waiting = 0;
        }
        for (; Count >= 8; P += 8, Count -= 8)
            word(P);
        std::memcpy(held.data(), P, Count);
        waiting = Count;
    }
    void Known(std::string_view Bytes) { Known(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size()); }
    void Unknown(int64_t Count)
    {
        if (Count <= 0)
            return;
        flushHeld();
        unknown += Count;
        ones = 0;
    }
    // The frame check sequence, exact when every byte before it is known.
    void Fcs()
    {
        if (unknown > 0) {
            Unknown(FcsBytes);
            return;
        }
        crcHeld();
        const auto fcs = static_cast<uint16_t>(~crc);
        held[waiting] = static_cast<unsigned char>(fcs & 0xFF);
        held[waiting + 1] = static_cast<unsigned char>(fcs >> 8);
        known += FcsBytes;
        const size_t total = waiting + FcsBytes;
        if (total > 8) {
            stuff(loadWord(held.data()), 64);
            stuff(held[8], 8 * static_cast<unsigned>(total - 8));
        } else {
            stuff(heldWord(total), 8 * static_cast<unsigned>(total));
        }
        waiting = 0;
    }
    int64_t Bits()
    {
        flushHeld();
        const int64_t unknownBits = unknown * 8;
        return known * 8 + unknownBits + stuffed + (unknownBits + BitsPerStuffedBit / 2) / BitsPerStuffedBit;
    }

private:
    // Eight known bytes: the CRC sliced, the stuffing from the whole word.
    void word(const unsigned char* P)
    {
        const auto first = static_cast<uint16_t>(crc ^ (P[0] | P[1] << 8));
        crc = static_cast<uint16_t>(CrcSlices[7][first & 0xFF] ^ CrcSlices[6][first >> 8] ^ CrcSlices[5][P[2]] ^
                                    CrcSlices[4][P[3]] ^ CrcSlices[3][P[4]] ^ CrcSlices[2][P[5]] ^
                                    CrcSlices[1][P[6]] ^ CrcSlices[0][P[7]]);
        stuff(loadWord(P), 64);
    }
    // The low Bits bits of Word (whole bytes, the rest 0) after the run of 1s so
    // far. A run of n 1s gets n / 5 0s inserted, one after every fifth.
    void stuff(uint64_t Word, unsigned Bits)
    {
        // Bit i set: bits i to i + 4 are 1s. Runs that reach past the word's
        // end are finished by the next one.
        const uint64_t pairs = Word & (Word >> 1);
        const uint64_t five = pairs & (pairs >> 2) & (Word >> 4);
        const auto lead = static_cast<unsigned>(std::countr_one(Word));
        const bool carried = ones + lead >= 5;
        if (five == 0 && !carried) {
            // Most words: nothing inserted, the run left is their last 1s.
            ones = static_cast<unsigned>(std::countl_one(Word << (64 - Bits)));
            return;
        }
        // Where the next fifth 1 may start: after the last 0 inserted.
        unsigned from = 0;
        if (carried) {
            ++stuffed;
            from = 5 - ones;
        }
        for (uint64_t left = five >> from << from; left != 0;) {
            ++stuffed;
            from = static_cast<unsigned>(std::countr_zero(left)) + 5;
            left = from < 64 ? five >> from << from : 0;
        }
        // Whole bytes: a word of 1s throughout has had a 0 inserted.
        const auto top = static_cast<unsigned>(std::countl_one(Word << (64 - Bits)));
        ones = std::min(top, Bits - from);
    }
    // The held bytes as the low bytes of a word.
    uint64_t heldWord(size_t Count) const
    {
        const uint64_t word = loadWord(held.data());
        return Count >= 8 ? word : word & ((uint64_t{1} << (8 * Count)) - 1);
    }
    void crcHeld()
    {
        for (size_t i = 0; i < waiting; ++i)
            crc = static_cast<uint16_t>((crc >> 8) ^ CrcSlices[0][(crc ^ held[i]) & 0xFF]);
    }
    void flushHeld()
    {
        if (waiting == 0)
            return;
        crcHeld();
        stuff(heldWord(waiting), 8 * static_cast<unsigned>(waiting));
        waiting = 0;
    }

    // Up to seven bytes waiting for the next eight, room for the FCS after them.
    std::array<unsigned char, 16> held{};
    size_t waiting = 0;
    int64_t known = 0;
    int64_t unknown = 0;
    int64_t stuffed = 0;
    uint16_t crc = 0xFFFF;
    unsigned ones = 0;
};

// The six characters of an address field for a call of any length, byte by
// byte; where its '-' is (its length without one).
size_t callBytes(unsigned char* Out, std::string_view Call)
{
    const char* c = Call.data();
    const size_t size = Call.size();
    const size_t shown = std::min<size_t>(size, 6);
    size_t i = 0;
    for (; i < shown && c[i] != '-'; ++i)
        Out[i] = static_cast<unsigned char>(static_cast<unsigned char>(c[i]) << 1);
    size_t dash = i;
    for (; i < 6; ++i)
        Out[i] = ' ' << 1;
    if (dash == 6)
        while (dash < size && c[dash] != '-')
            ++dash;
    return dash;
}

// The bytes before the information: addresses, control and PID, built in
// place and handed over at once.
class FrameHead {
public:
    explicit FrameHead(FrameBits& Frame)
        : frame(Frame)
    {
    }
    // An address field: six characters shifted left by one, blank-padded,
    // then the SSID byte with the C (or, for a digipeater, H) bit on top, the
    // two reserved bits set and the end-of-addresses bit at the bottom.
    void Address(std::string_view Call, bool TopBit, bool Last)
    {
        if (bytes.size() - used < AddressBytes + 1)
            Flush();
        unsigned char* out = bytes.data() + used;
        used += AddressBytes;
        const char* c = Call.data();
        const size_t size = Call.size();
        size_t dash = size;
        if (size >= 4 && size <= 8) {
            // A call as one word: its '-' found, the bytes before it shifted
            // at once, blanks after them.
            const uint64_t word = size == 8 ? loadWord(c) : loadWord4(c) | loadWord4(c + size - 4) << (8 * (size - 4));
            const uint64_t dashes = word ^ 0x2D2D2D2D2D2D2D2Dull;
            const uint64_t found = (dashes - 0x0101010101010101ull) & ~dashes & 0x8080808080808080ull;
            if (found != 0)
                dash = static_cast<size_t>(std::countr_zero(found)) / 8;
            dash = std::min(dash, size);
            const size_t shown = std::min<size_t>(dash, 6);
            const uint64_t kept = (uint64_t{1} << (8 * shown)) - 1;
            // Each byte shifted on its own: no bit crosses into the next.
            const uint64_t field = (((word & kept) | (0x202020202020ull & ~kept)) << 1) & 0xFEFEFEFEFEFEull;
            // Eight bytes written, the last two rewritten or not yet used.
            if constexpr (std::endian::native == std::endian::little) {
                std::memcpy(out, &field, sizeof field);
            } else {
                for (size_t i = 0; i < 6; ++i)
                    out[i] = static_cast<unsigned char>(field >> (8 * i));
            }
        } else {
            dash = callBytes(out, Call);
        }
        int ssid = 0;
        for (size_t k = dash + 1; k < size && c[k] >= '0' && c[k] <= '9'; ++k)
            ssid = std::min(ssid * 10 + (c[k] - '0'), 1000);
        out[6] = static_cast<unsigned char>((TopBit ? 0x80 : 0) | 0x60 | ((ssid & 0x0f) << 1) | (Last ? 1 : 0));
    }
    void Byte(uint8_t Value)
    {
        if (used == bytes.size())
            Flush();
        bytes[used++] = Value;
    }
    void Unknown(int64_t Count)
    {
        Flush();
        frame.Unknown(Count);
    }
    void Flush()
    {
        frame.Known(bytes.data(), used);
        used = 0;
    }

private:
    FrameBits& frame;
    // Destination, source, eight digipeaters, two control bytes and the PID,
    // and room for an address written as a whole word.
    std::array<unsigned char, 10 * AddressBytes + 3 + 1> bytes;
    size_t used = 0;
};

} // namespace

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data)
{
    return FrameAirBits(Header, Data, MonitorInformation(Data));
}

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown)
{
    const Description d = describe(Data);
    const std::string_view type = Header.FrameType;
    const bool information = type == "I";
    const bool carriesPid = information || type == "UI";
    const std::optional<uint8_t> supervisory = supervisoryControl(type);
    // Eleven names to compare: only for frames that are neither I nor S.
    const std::optional<uint8_t> unnumbered =
        information || supervisory ? std::optional<uint8_t>() : unnumberedControl(type);
    // Sequence numbers above 7 only exist in modulo-128 links, whose I and S
    // frames have two control bytes; U frames always have one.
    const bool modulo128 = (information || supervisory) && (d.recv > 7 || d.send > 7);

    FrameBits frame;
    FrameHead head(frame);
    // Command: destination C bit set; response: source C bit set.
    const bool both = d.role == Description::Both;
    head.Address(Header.Destination, both || d.role != Description::Response, false);
    head.Address(Header.Source, both || d.role == Description::Response, Header.Via.empty());
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
        head.Address(call, i < repeated, i + 1 == Header.Via.size());
    }

    const int64_t recv = std::max<int64_t>(d.recv, 0), send = std::max<int64_t>(d.send, 0);
    const int pf = d.pollFinal;
    if (information && modulo128) {
        head.Byte(static_cast<uint8_t>((send & 0x7f) << 1));
        head.Byte(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (information) {
        head.Byte(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | ((send & 7) << 1)));
    } else if (supervisory && modulo128) {
        head.Byte(*supervisory);
        head.Byte(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (supervisory) {
        head.Byte(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | *supervisory));
    } else if (unnumbered) {
        head.Byte(static_cast<uint8_t>(*unnumbered | (pf << 4)));
    } else {
        head.Unknown(1);
    }

    if (carriesPid) {
        if (d.pid)
            head.Byte(*d.pid);
        else
            head.Unknown(1);
    }
    head.Flush();

    // I and UI frames: the length the header gives, else what is shown. Other
    // frames (XID, TEST, FRMR, SREJ) carry what the engine shows after the line.
    const int64_t info = carriesPid ? InformationBytesShown(Header, Shown) : static_cast<int64_t>(Shown.size());
    if (static_cast<int64_t>(Shown.size()) == info) {
        frame.Known(Shown);
    } else {
        frame.Unknown(info);
    }

    frame.Fcs();
    return frame.Bits() + FlagBits;
}

int64_t RawFrameAirBits(std::string_view Frame)
{
    FrameBits frame;
    frame.Known(Frame);
    frame.Fcs();
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
