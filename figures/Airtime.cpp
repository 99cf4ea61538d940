// SPDX-License-Identifier: GPL-3.0-or-later
#include "Airtime.h"

#include "AGWUnit.h"
#include "FrameAmounts.h"
#include "PeriodFigures.h"
#include "TextRoutines.h"
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

// The value of each byte as a hexadecimal digit, 16 for any other.
constexpr std::array<uint8_t, 256> makeHexDigits()
{
    std::array<uint8_t, 256> digits{};
    for (unsigned c = 0; c < 256; ++c)
        digits[c] = c >= '0' && c <= '9' ? static_cast<uint8_t>(c - '0')
            : c >= 'a' && c <= 'f'       ? static_cast<uint8_t>(c - 'a' + 10)
            : c >= 'A' && c <= 'F'       ? static_cast<uint8_t>(c - 'A' + 10)
                                         : 16;
    return digits;
}

constexpr auto HexDigits = makeHexDigits();

std::optional<uint8_t> hexByte(std::string_view Text)
{
    if (Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X'))
        Text.remove_prefix(2);
    if (Text.size() == 1) {
        const uint8_t v = HexDigits[static_cast<unsigned char>(Text[0])];
        return v < 16 ? std::optional<uint8_t>(v) : std::nullopt;
    }
    if (Text.size() == 2) {
        const uint8_t high = HexDigits[static_cast<unsigned char>(Text[0])];
        const uint8_t low = HexDigits[static_cast<unsigned char>(Text[1])];
        return (high | low) < 16 ? std::optional<uint8_t>(static_cast<uint8_t>(high << 4 | low)) : std::nullopt;
    }
    return std::nullopt;
}

// The top bit of each byte of Word that is 0, and perhaps of bytes above the
// first such byte: only the lowest set bit is exact.
uint64_t zeroBytes(uint64_t Word)
{
    return (Word - 0x0101010101010101ull) & ~Word & 0x8080808080808080ull;
}

// Up to eight bytes of a short text as one number, the first byte lowest,
// with its length in the top byte: names compare as one word.
constexpr uint64_t textKey(std::string_view Text)
{
    uint64_t key = uint64_t{Text.size()} << 56;
    for (size_t i = 0; i < Text.size() && i < 7; ++i)
        key |= uint64_t{static_cast<unsigned char>(Text[i])} << (8 * i);
    return key;
}

// A text's key as textKey makes it; past seven bytes, one that no name has.
uint64_t keyOf(std::string_view Text)
{
    if (Text.size() > 7)
        return ~uint64_t{0};
    const uint64_t bytes =
        Text.empty() ? 0 : LoadShort(reinterpret_cast<const unsigned char*>(Text.data()), Text.size());
    return bytes | uint64_t{Text.size()} << 56;
}

// What one word after the frame type says: "pid=F0"; P/F as "P", "F",
// "PF" or "P/F", alone or with "=0" or "=1"; "C" and "R"; numbers "R5", "S3".
void readWord(std::string_view Word, Description& d)
{
    const size_t size = Word.size();
    // The P/F bit, from the value after the name's end At (none: set).
    const auto pollFinal = [&](size_t At) {
        d.pollFinal = At == size ? 1 : (size == At + 2 && Word[At + 1] == '1' ? 1 : 0);
    };
    switch (Word[0]) {
    case 'p':
        if (size >= 3 && Word[1] == 'i' && Word[2] == 'd' && (size == 3 || Word[3] == '='))
            d.pid = hexByte(size > 4 ? Word.substr(4) : std::string_view());
        break;
    case 'P':
        if (size == 1 || Word[1] == '=') {
            pollFinal(1);
            d.role = Description::Command;
        } else if (Word[1] == 'F' && (size == 2 || Word[2] == '=')) {
            pollFinal(2);
            // Dire Wolf writes "PF" for frames whose two C bits are equal, as
            // its own APRS frames have them (both set).
            if (size > 2)
                d.role = Description::Both;
        } else if (size >= 3 && Word[1] == '/' && Word[2] == 'F' && (size == 3 || Word[3] == '=')) {
            pollFinal(3);
        }
        break;
    case 'F':
        if (size == 1 || Word[1] == '=') {
            pollFinal(1);
            d.role = Description::Response;
        }
        break;
    case 'C':
        if (size == 1)
            d.role = Description::Command;
        break;
    case 'R':
    case 'S':
        if (size == 1) {
            if (Word[0] == 'R')
                d.role = Description::Response;
        } else if (const auto n = decimal(Word.substr(1))) {
            (Word[0] == 'R' ? d.recv : d.send) = *n;
        }
        break;
    default:
        break;
    }
}

Description describe(std::string_view Data)
{
    Description d;
    // The description runs from the header line's first '<' to the next '>'.
    const size_t open = FindEither(Data, 0, '<', '\r');
    if (open == std::string_view::npos || Data[open] != '<')
        return d;
    const size_t close = std::min(FindEither(Data, open + 1, '>', '\r'), Data.size());
    // Words between blanks, their end found eight bytes at a time where the
    // text has eight bytes left.
    const char* p = Data.data() + open + 1;
    const char* const end = Data.data() + close;
    const char* const readable = Data.data() + Data.size();
    bool first = true;
    // A UI frame as Dire Wolf, QtSoundModem and LinBPQ describe it, "UI
    // pid=F0 Len=20 ...": its first three words by position.
    if (end - p >= 15 && std::memcmp(p, "UI pid=", 7) == 0 && p[7] != ' ' && p[8] != ' ' &&
        std::memcmp(p + 9, " Len=", 5) == 0) {
        d.pid = hexByte(std::string_view(p + 7, 2));
        p += 14;
        while (p < end && *p != ' ')
            ++p;
        first = false;
    }
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
        readWord(std::string_view(start, static_cast<size_t>(p - start)), d);
    }
    return d;
}

// What the frame type makes of the control byte: an I frame's, an S frame's
// or a U frame's (LinBPQ writes SABM as "C" and DISC as "D"), the latter two
// with their bits beside the numbers and P/F; Other for types not known.
struct FrameKind {
    enum Class { Information, Supervisory, Unnumbered, Other };
    Class kind = Other;
    uint8_t control = 0;
    bool pid = false;
};

FrameKind kindOf(std::string_view Type)
{
    struct Entry {
        uint64_t key;
        FrameKind kind;
    };
    // Names compared as one number each, the most frequent first.
    static constexpr Entry table[] = {
        {textKey("UI"), {FrameKind::Unnumbered, 0x03, true}},   {textKey("I"), {FrameKind::Information, 0, true}},
        {textKey("RR"), {FrameKind::Supervisory, 0x01}},        {textKey("RNR"), {FrameKind::Supervisory, 0x05}},
        {textKey("REJ"), {FrameKind::Supervisory, 0x09}},       {textKey("SREJ"), {FrameKind::Supervisory, 0x0D}},
        {textKey("SABM"), {FrameKind::Unnumbered, 0x2F}},       {textKey("SABME"), {FrameKind::Unnumbered, 0x6F}},
        {textKey("DISC"), {FrameKind::Unnumbered, 0x43}},       {textKey("DM"), {FrameKind::Unnumbered, 0x0F}},
        {textKey("UA"), {FrameKind::Unnumbered, 0x63}},         {textKey("FRMR"), {FrameKind::Unnumbered, 0x87}},
        {textKey("XID"), {FrameKind::Unnumbered, 0xAF}},        {textKey("TEST"), {FrameKind::Unnumbered, 0xE3}},
        {textKey("C"), {FrameKind::Unnumbered, 0x2F}},          {textKey("D"), {FrameKind::Unnumbered, 0x43}},
    };
    const uint64_t key = keyOf(Type);
    for (const Entry& e : table)
        if (e.key == key)
            return e.kind;
    return {};
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
    // Bit i set: bits i to i + 4 of Word are 1s.
    static uint64_t fiveOnes(uint64_t Word)
    {
        const uint64_t pairs = Word & (Word >> 1);
        return pairs & (pairs >> 2) & (Word >> 4);
    }
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
        // Runs that reach past the word's end are finished by the next one.
        const uint64_t five = fiveOnes(Word);
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
    if (size <= 8 && dash + 3 >= size) {
        // One or two bytes after the '-', read from the word (0 above the call).
        if (dash + 1 < size) {
            const uint64_t after = word >> (8 * (dash + 1));
            const auto tens = static_cast<unsigned>(after & 0xFF) - '0';
            const auto ones = static_cast<unsigned>((after >> 8) & 0xFF) - '0';
            ssid = static_cast<int>(tens > 9 ? 0 : ones > 9 ? tens : tens * 10 + ones);
        }
    } else {
        for (size_t k = dash + 1; k < size && c[k] >= '0' && c[k] <= '9'; ++k)
            ssid = std::min(ssid * 10 + (c[k] - '0'), 1000);
    }
    const uint64_t ssidByte = (TopBit ? 0x80 : 0) | 0x60 | ((ssid & 0x0f) << 1) | (Last ? 1 : 0);
    return field | ssidByte << 48;
}

int64_t frameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown,
                     std::optional<size_t> Repeated);

} // namespace

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data)
{
    return FrameAirBits(Header, Data, MonitorInformation(Data));
}

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown)
{
    return frameAirBits(Header, Data, Shown, std::nullopt);
}

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown, size_t Repeated)
{
    return frameAirBits(Header, Data, Shown, Repeated);
}

namespace {

// Without Repeated, as the text marks them: a '*' marks the last digipeater
// that has repeated the frame; those before it have repeated it too. Dire
// Wolf shows no '*' at all.
int64_t frameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown,
                     std::optional<size_t> Repeated)
{
    const Description d = describe(Data);
    const FrameKind kind = kindOf(Header.FrameType);
    const bool information = kind.kind == FrameKind::Information;
    const bool carriesPid = kind.pid;
    const bool supervisory = kind.kind == FrameKind::Supervisory;
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
    // The H bits the text marks are set once the last '*' is known; the
    // addresses are all in the buffer by then.
    static_assert((2 + MonitorHeader::MaxVia) * AddressBytes + 8 <= sizeof head);
    const size_t given = Repeated.value_or(0);
    size_t marked = 0;
    for (size_t i = 0; i < Header.Via.size(); ++i) {
        std::string_view call = Header.Via[i];
        if (!call.empty() && call.back() == '*') {
            call.remove_suffix(1);
            marked = i + 1;
        }
        // A digipeater not repeated yet sends no '*' either; as the text
        // marks none past the last repeated one, this only applies to a
        // given count.
        if (Repeated && i >= given && !call.empty() && call.back() == '*')
            call.remove_suffix(1);
        address(call, i < given, i + 1 == Header.Via.size());
    }
    if (!Repeated)
        for (size_t i = 0; i < marked; ++i)
            head[AddressBytes * (2 + i) + 6] |= 0x80;

    const int64_t recv = std::max<int64_t>(d.recv, 0), send = std::max<int64_t>(d.send, 0);
    const int pf = d.pollFinal;
    if (information && modulo128) {
        byte(static_cast<uint8_t>((send & 0x7f) << 1));
        byte(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (information) {
        byte(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | ((send & 7) << 1)));
    } else if (supervisory && modulo128) {
        byte(kind.control);
        byte(static_cast<uint8_t>(((recv & 0x7f) << 1) | pf));
    } else if (supervisory) {
        byte(static_cast<uint8_t>(((recv & 7) << 5) | (pf << 4) | kind.control));
    } else if (kind.kind == FrameKind::Unnumbered) {
        byte(static_cast<uint8_t>(kind.control | (pf << 4)));
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

} // namespace

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
