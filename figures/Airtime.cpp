// SPDX-License-Identifier: GPL-3.0-or-later
#include "Airtime.h"

#include "AGWUnit.h"
#include "FrameAmounts.h"
#include "PeriodFigures.h"
#include "Words.h"

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

// The top bit of each byte of Word that is 0, and perhaps of bytes above the
// first such byte: only the lowest set bit is exact.
uint64_t zeroBytes(uint64_t Word)
{
    return (Word - 0x0101010101010101ull) & ~Word & 0x8080808080808080ull;
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
    // Words between blanks, their end found eight bytes at a time where the
    // text has eight bytes left. Only the first letter of a word tells
    // whether it can matter, and the names before an '=' that do are at most
    // three letters long.
    const char* p = line.data();
    const char* const end = p + line.size();
    const char* const readable = Data.data() + Data.size();
    bool first = true;
    for (;;) {
        while (p < end && *p == ' ')
            ++p;
        if (p == end)
            break;
        const char* const start = p;
        if (readable - start >= 8) {
            const uint64_t blanks = zeroBytes(LoadWord(start) ^ 0x2020202020202020ull);
            p = std::min(start + (blanks != 0 ? std::countr_zero(blanks) / 8 : 8), end);
        }
        while (p < end && *p != ' ')
            ++p;
        if (first) { // the frame type, which the header already holds
            first = false;
            continue;
        }
        const std::string_view word(start, static_cast<size_t>(p - start));
        switch (word[0]) {
        case 'p':
        case 'P':
        case 'F': {
            size_t equals = std::string_view::npos;
            for (size_t i = 1; i < std::min<size_t>(word.size(), 4) && equals == std::string_view::npos; ++i)
                if (word[i] == '=')
                    equals = i;
            const std::string_view name = word.substr(0, equals);
            const std::string_view value =
                equals == std::string_view::npos ? std::string_view() : word.substr(equals + 1);
            if (name == "pid") {
                d.pid = hexByte(value);
            } else if (name == "P" || name == "F" || name == "PF" || name == "P/F") {
                const bool hasValue = equals != std::string_view::npos;
                d.pollFinal = !hasValue ? 1 : (value == "1" ? 1 : 0);
                // Dire Wolf writes "PF" for frames whose two C bits are equal, as
                // its own APRS frames have them (both set).
                d.role = name == "P" ? Description::Command
                    : name == "F"   ? Description::Response
                    : name == "PF" && hasValue ? Description::Both
                                               : d.role;
            }
            break;
        }
        case 'C':
            if (word.size() == 1)
                d.role = Description::Command;
            break;
        case 'R':
        case 'S':
            if (word == "R") {
                d.role = Description::Response;
            } else if (word.size() > 1) {
                if (const auto n = decimal(word.substr(1)))
                    (word[0] == 'R' ? d.recv : d.send) = *n;
            }
            break;
        default:
            break;
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

// The bits of a frame as sent. Known bytes are taken eight at a time: the CRC
// sliced, the stuffing counted from the whole word; a piece's last bytes are
// read as one word. Bytes whose value is unknown only add their length,
// stuffing for them is estimated afterwards, and a run of 1s does not carry
// across them.
class FrameBits {
public:
    void Known(const unsigned char* P, size_t Count)
    {
        known += static_cast<int64_t>(Count);
        // The state in locals: the bytes read may be any object's, members too.
        uint16_t c = crc;
        unsigned run = ones;
        int64_t added = stuffed;
        const bool whole = Count >= 8;
        for (; Count >= 8; P += 8, Count -= 8) {
            const auto first = static_cast<uint16_t>(c ^ (P[0] | P[1] << 8));
            c = static_cast<uint16_t>(CrcSlices[7][first & 0xFF] ^ CrcSlices[6][first >> 8] ^ CrcSlices[5][P[2]] ^
                                      CrcSlices[4][P[3]] ^ CrcSlices[3][P[4]] ^ CrcSlices[2][P[5]] ^
                                      CrcSlices[1][P[6]] ^ CrcSlices[0][P[7]]);
            stuff(LoadWord(P), 64, run, added);
        }
        if (Count > 0) {
            // The last bytes: the eight that end the piece, shifted down, where
            // it has eight.
            const uint64_t last = whole ? LoadWord(P + Count - 8) >> (8 * (8 - Count)) : LoadShort(P, Count);
            c = crcOf(last, static_cast<unsigned>(Count), c);
            stuff(last, 8 * static_cast<unsigned>(Count), run, added);
        }
        crc = c;
        ones = run;
        stuffed = added;
    }
    void Known(std::string_view Bytes) { Known(reinterpret_cast<const unsigned char*>(Bytes.data()), Bytes.size()); }
    void Unknown(int64_t Count)
    {
        if (Count <= 0)
            return;
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
        known += FcsBytes;
        stuff(static_cast<uint16_t>(~crc), 16, ones, stuffed);
    }
    int64_t Bits() const
    {
        const int64_t unknownBits = unknown * 8;
        return known * 8 + unknownBits + stuffed + (unknownBits + BitsPerStuffedBit / 2) / BitsPerStuffedBit;
    }

private:
    // The CRC after Count (1 to 8) bytes in a word. The register goes into the
    // first two bytes (for a single byte, its high byte is what the table's
    // entry is combined with); zero bytes in front of the word leave a register
    // of 0 as it is, so every count takes the eight slices.
    static uint16_t crcOf(uint64_t Word, unsigned Count, uint16_t Crc)
    {
        const uint64_t in = (Word ^ Crc) << (64 - 8 * Count);
        const unsigned high = Count == 1 ? Crc >> 8 : 0;
        return static_cast<uint16_t>(high ^ CrcSlices[7][in & 0xFF] ^ CrcSlices[6][(in >> 8) & 0xFF] ^
                                     CrcSlices[5][(in >> 16) & 0xFF] ^ CrcSlices[4][(in >> 24) & 0xFF] ^
                                     CrcSlices[3][(in >> 32) & 0xFF] ^ CrcSlices[2][(in >> 40) & 0xFF] ^
                                     CrcSlices[1][(in >> 48) & 0xFF] ^ CrcSlices[0][in >> 56]);
    }
    // The low Bits bits of Word (whole bytes, the rest 0) after a run of Ones
    // 1s. A run of n 1s gets n / 5 0s inserted, one after every fifth.
    [[gnu::always_inline]] static void stuff(uint64_t Word, unsigned Bits, unsigned& Ones, int64_t& Stuffed)
    {
        // Bit i set: bits i to i + 4 are 1s. Runs that reach past the word's
        // end are finished by the next one.
        const uint64_t pairs = Word & (Word >> 1);
        const uint64_t five = pairs & (pairs >> 2) & (Word >> 4);
        const auto lead = static_cast<unsigned>(std::countr_one(Word));
        if (five == 0 && Ones + lead < 5) {
            // Most words: nothing inserted, the run left is their last 1s.
            Ones = static_cast<unsigned>(std::countl_one(Word << (64 - Bits)));
            return;
        }
        const Stuffing s = stuffRuns(Word, Bits, five, Ones);
        Ones = s.ones;
        Stuffed += s.inserted;
    }
    struct Stuffing {
        unsigned ones, inserted;
    };
    // Returned, not written through references: the caller's state stays in
    // registers.
    [[gnu::noinline]] static Stuffing stuffRuns(uint64_t Word, unsigned Bits, uint64_t Five, unsigned Ones)
    {
        unsigned inserted = 0;
        // Where the next fifth 1 may start: after the last 0 inserted.
        unsigned from = 0;
        if (Ones + static_cast<unsigned>(std::countr_one(Word)) >= 5) {
            ++inserted;
            from = 5 - Ones;
        }
        for (uint64_t left = Five >> from << from; left != 0;) {
            ++inserted;
            from = static_cast<unsigned>(std::countr_zero(left)) + 5;
            left = from < 64 ? Five >> from << from : 0;
        }
        // Whole bytes: a word of 1s throughout has had a 0 inserted.
        const auto top = static_cast<unsigned>(std::countl_one(Word << (64 - Bits)));
        return {std::min(top, Bits - from), inserted};
    }

    int64_t known = 0;
    int64_t unknown = 0;
    int64_t stuffed = 0;
    uint16_t crc = 0xFFFF;
    unsigned ones = 0;
};

// An address field as the low seven bytes of a word: six characters shifted
// left by one, blank-padded, then the SSID byte with the C (or, for a
// digipeater, H) bit on top, the two reserved bits set and the
// end-of-addresses bit at the bottom.
uint64_t addressField(std::string_view Call, bool TopBit, bool Last)
{
    const char* c = Call.data();
    const size_t size = Call.size();
    // The call's first eight bytes as one word: its '-' found, the bytes
    // before it shifted at once, blanks after them.
    const uint64_t word = size >= 8 ? LoadWord(c)
        : size >= 4                 ? LoadHalfWord(c) | LoadHalfWord(c + size - 4) << (8 * (size - 4))
        : size > 0                  ? LoadShort(reinterpret_cast<const unsigned char*>(c), size)
                                    : 0;
    // Bytes past a short call are 0, never taken for a '-'.
    const uint64_t found = zeroBytes(word ^ 0x2D2D2D2D2D2D2D2Dull);
    size_t dash = size;
    if (found != 0) {
        dash = static_cast<size_t>(std::countr_zero(found)) / 8;
    } else if (size > 8) {
        dash = 8;
        while (dash < size && c[dash] != '-')
            ++dash;
    }
    const size_t shown = std::min<size_t>(dash, 6);
    const uint64_t kept = (uint64_t{1} << (8 * shown)) - 1;
    // Each byte shifted on its own: no bit crosses into the next.
    const uint64_t field = (((word & kept) | (0x202020202020ull & ~kept)) << 1) & 0xFEFEFEFEFEFEull;
    int ssid = 0;
    for (size_t k = dash + 1; k < size && c[k] >= '0' && c[k] <= '9'; ++k)
        ssid = std::min(ssid * 10 + (c[k] - '0'), 1000);
    const uint64_t ssidByte = (TopBit ? 0x80 : 0) | 0x60 | ((ssid & 0x0f) << 1) | (Last ? 1 : 0);
    return field | ssidByte << 48;
}

} // namespace

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data)
{
    return FrameAirBits(Header, Data, MonitorInformation(Data));
}

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown)
{
    // A '*' marks the last digipeater that has repeated the frame; those
    // before it have repeated it too. Dire Wolf shows no '*' at all.
    size_t repeated = 0;
    for (size_t i = 0; i < Header.Via.size(); ++i)
        if (!Header.Via[i].empty() && Header.Via[i].back() == '*')
            repeated = i + 1;
    return FrameAirBits(Header, Data, Shown, repeated);
}

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown, size_t Repeated)
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

    // Addresses, control and PID one after the other, then as many of the
    // information's first bytes as make them whole words: the rest of the
    // information goes eight bytes at a time straight from the text.
    FrameBits frame;
    std::array<unsigned char, 96> head;
    size_t used = 0;
    const auto flush = [&] {
        frame.Known(head.data(), used);
        used = 0;
    };
    const auto address = [&](std::string_view Call, bool TopBit, bool Last) {
        // Eight bytes written, the last of them the next field's or unused.
        if (used + 8 > head.size())
            flush();
        StoreWord(head.data() + used, addressField(Call, TopBit, Last));
        used += AddressBytes;
    };
    const auto byte = [&](uint8_t Value) {
        if (used == head.size())
            flush();
        head[used++] = Value;
    };
    const auto unknownByte = [&] {
        flush();
        frame.Unknown(1);
    };

    // Command: destination C bit set; response: source C bit set.
    const bool both = d.role == Description::Both;
    address(Header.Destination, both || d.role != Description::Response, false);
    address(Header.Source, both || d.role == Description::Response, Header.Via.empty());
    for (size_t i = 0; i < Header.Via.size(); ++i) {
        std::string_view call = Header.Via[i];
        if (!call.empty() && call.back() == '*')
            call.remove_suffix(1);
        // A digipeater not repeated yet sends no '*' either; as the text
        // marks none past the last repeated one, this only applies to a
        // given count.
        if (i >= Repeated && !call.empty() && call.back() == '*')
            call.remove_suffix(1);
        address(call, i < Repeated, i + 1 == Header.Via.size());
    }

    const int64_t recv = std::max<int64_t>(d.recv, 0), send = std::max<int64_t>(d.send, 0);
    const int pf = d.pollFinal;
    if (information && modulo128) {
        byte(static_cast<uint8_t>((send & 0x7f) << 1));
        byte(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (information) {
        byte(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | ((send & 7) << 1)));
    } else if (supervisory && modulo128) {
        byte(*supervisory);
        byte(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (supervisory) {
        byte(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | *supervisory));
    } else if (unnumbered) {
        byte(static_cast<uint8_t>(*unnumbered | (pf << 4)));
    } else {
        unknownByte();
    }

    if (carriesPid) {
        if (d.pid)
            byte(*d.pid);
        else
            unknownByte();
    }

    // I and UI frames: the length the header gives, else what is shown. Other
    // frames (XID, TEST, FRMR, SREJ) carry what the engine shows after the line.
    const int64_t info = carriesPid ? InformationBytesShown(Header, Shown) : static_cast<int64_t>(Shown.size());
    if (static_cast<int64_t>(Shown.size()) == info) {
        const size_t top = std::min(Shown.size(), (8 - used % 8) % 8);
        if (top > 0) {
            if (used + 8 > head.size())
                flush();
            StoreWord(head.data() + used, LoadShort(reinterpret_cast<const unsigned char*>(Shown.data()), top));
            used += top;
        }
        flush();
        frame.Known(Shown.substr(top));
    } else {
        flush();
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
