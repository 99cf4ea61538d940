// SPDX-License-Identifier: GPL-3.0-or-later
#include "CountedFrame.h"

#include "AGWUnit.h"
#include "Airtime.h"
#include "FrameAmounts.h"
#include "Words.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

constexpr size_t AddressBytes = 7;
constexpr size_t MaxAddresses = 10; // destination, source and 8 digipeaters

// A call from its address field: the characters without blanks, then the
// SSID unless it is 0. Out has room for nine.
size_t rawCallInto(char* Out, const char* Field)
{
    // The six characters at once: shifted down, the blanks found; blanks
    // only after the characters (as calls are padded) need no byte loop.
    constexpr size_t NoCall = ~size_t{0}; // the byte loop is still to run
    size_t n = NoCall;
    uint64_t word = 0;
    std::memcpy(&word, Field, 6);
    if constexpr (std::endian::native == std::endian::little) {
        const uint64_t chars = (word >> 1) & 0x7F7F7F7F7F7Full;
        const uint64_t other = chars ^ 0x202020202020ull;
        // The top bit of each byte that is not a blank.
        const uint64_t kept = ((other & 0x7F7F7F7F7F7Full) + 0x7F7F7F7F7F7Full) & 0x808080808080ull;
        // Each byte's flag as its bottom bit, every other bit of the six set:
        // the 1s below the first blank's 0 are eight per character.
        const auto shown =
            static_cast<size_t>(std::countr_one((kept >> 7 | ~0x010101010101ull) & 0xFFFFFFFFFFFFull) / 8);
        if ((kept >> (8 * shown)) == 0) {
            std::memcpy(Out, &chars, 8);
            n = shown;
        }
    }
    if (n == NoCall) {
        n = 0;
        for (size_t i = 0; i < 6; ++i) {
            const char c = static_cast<char>(static_cast<uint8_t>(Field[i]) >> 1);
            if (c != ' ')
                Out[n++] = c;
        }
    }
    const int ssid = (static_cast<uint8_t>(Field[6]) >> 1) & 0x0F;
    if (ssid != 0) {
        Out[n++] = '-';
        if (ssid >= 10)
            Out[n++] = '1';
        Out[n++] = static_cast<char>('0' + ssid % 10);
    }
    return n;
}

std::string rawCall(std::string_view Address)
{
    char call[9];
    return std::string(call, rawCallInto(call, Address.data()));
}

// Calls compare without regard to case, a trailing '*' or an SSID of 0.
std::string_view trimmedCall(std::string_view Call)
{
    if (!Call.empty() && Call.back() == '*')
        Call.remove_suffix(1);
    if (Call.size() > 2 && Call.substr(Call.size() - 2) == "-0")
        Call.remove_suffix(2);
    return Call;
}

// The top bit of each byte of Word that is a lower-case letter: the bytes'
// low seven bits compared with the letters' bounds at once, bytes of 128 and
// above left out.
uint64_t lowerCaseBytes(uint64_t Word)
{
    constexpr uint64_t low7 = 0x7F7F7F7F7F7F7F7Full, ones = 0x0101010101010101ull;
    const uint64_t seven = Word & low7;
    return (ones * (127 + 'z' + 1) - seven) & ~Word & (seven + ones * (127 - ('a' - 1))) & ~low7;
}

bool hasLowerCase(std::string_view Call)
{
    const auto* p = reinterpret_cast<const unsigned char*>(Call.data());
    size_t left = Call.size();
    for (; left >= 8; p += 8, left -= 8)
        if (lowerCaseBytes(LoadWord(p)))
            return true;
    return left > 0 && lowerCaseBytes(LoadShort(p, left));
}

// Into Out, whose room is kept: a frame's transmitter is written in place.
// Calls are nearly always upper case already: looked at a word at a time,
// changed byte by byte only where they are not.
void assignPlainCall(std::string& Out, std::string_view Call)
{
    Out.assign(trimmedCall(Call));
    if (!hasLowerCase(Out))
        return;
    for (char& c : Out)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
}

char upper(char C)
{
    return C >= 'a' && C <= 'z' ? static_cast<char>(C - 'a' + 'A') : C;
}

// Compared where they lie: a raw frame's calls are matched for every frame heard.
bool sameCall(std::string_view A, std::string_view B)
{
    // The usual case: the same text.
    if (A == B)
        return true;
    A = trimmedCall(A);
    B = trimmedCall(B);
    if (A.size() != B.size())
        return false;
    for (size_t i = 0; i < A.size(); ++i)
        if (upper(A[i]) != upper(B[i]))
            return false;
    return true;
}

// Count bytes copied with a few moves of whole words instead of a call: a
// call is a handful of bytes.
void copyShort(char* To, const char* From, size_t Count)
{
    uint64_t head = 0, tail = 0;
    if (Count > 16) {
        std::memcpy(To, From, Count);
    } else if (Count >= 8) {
        std::memcpy(&head, From, 8);
        std::memcpy(&tail, From + Count - 8, 8);
        std::memcpy(To, &head, 8);
        std::memcpy(To + Count - 8, &tail, 8);
    } else if (Count >= 4) {
        uint32_t first = 0, last = 0;
        std::memcpy(&first, From, 4);
        std::memcpy(&last, From + Count - 4, 4);
        std::memcpy(To, &first, 4);
        std::memcpy(To + Count - 4, &last, 4);
    } else if (Count > 0) {
        To[0] = From[0];
        To[Count / 2] = From[Count / 2];
        To[Count - 1] = From[Count - 1];
    }
}

} // namespace

std::optional<RawAddresses> ParseRawAddresses(std::string_view Frame)
{
    RawAddresses a;
    for (size_t n = 0; n < MaxAddresses; ++n) {
        if (Frame.size() < (n + 1) * AddressBytes)
            return std::nullopt;
        const std::string_view field = Frame.substr(n * AddressBytes, AddressBytes);
        const std::string call = rawCall(field);
        const auto ssidByte = static_cast<uint8_t>(field[6]);
        if (n == 0) {
            a.Destination = call;
        } else if (n == 1) {
            a.Source = call;
        } else {
            a.Via.push_back(call);
            a.Repeated.push_back((ssidByte & 0x80) != 0);
        }
        if (ssidByte & 1)
            return n >= 1 ? std::optional<RawAddresses>(a) : std::nullopt;
    }
    return std::nullopt;
}

void FrameOrigins::TakeRaw(uint8_t Port, std::string_view Data)
{
    if (Data.empty())
        return;
    Data.remove_prefix(1);
    // The address field ends with the bit at the bottom of an SSID byte, after
    // the source at the earliest, within 10 addresses and within the frame.
    size_t addresses = 0;
    for (size_t n = 0; n < MaxAddresses && Data.size() >= (n + 1) * AddressBytes; ++n)
        if (static_cast<uint8_t>(Data[n * AddressBytes + 6]) & 1) {
            addresses = n + 1;
            break;
        }
    if (addresses < 2)
        return;
    if (rawCount == KeptRaw) {
        rawFirst = (rawFirst + 1) % KeptRaw;
        --rawCount;
    }
    Raw& r = raws[(rawFirst + rawCount) % KeptRaw];
    ++rawCount;
    r.port = Port;
    r.frame.assign(Data);
    const auto decode = [&](ShortCall& Call, size_t Index) {
        Call.size = rawCallInto(Call.text.data(), Data.data() + Index * AddressBytes);
    };
    decode(r.destination, 0);
    decode(r.source, 1);
    // The last digipeater whose H bit is set sent it, else its source.
    r.transmitter = r.source;
    r.digipeated = false;
    for (size_t i = addresses; i-- > 2;)
        if (static_cast<uint8_t>(Data[i * AddressBytes + 6]) & 0x80) {
            decode(r.transmitter, i);
            r.digipeated = true;
            break;
        }
}

CountedFrame FrameOrigins::Describe(uint8_t Port, char Kind, const MonitorHeader& Header, std::string_view Data)
{
    CountedFrame f;
    f.Source = Header.Source;
    f.Destination = Header.Destination;
    const std::string_view shown = Header.Shown;
    f.InfoHash = InfoHashOf(shown);
    f.Own = IsOwnTransmission(Kind);

    if (f.Own) {
        // A digipeat of a frame just heard: the station's call stands where
        // the heard frame had the alias it answered to.
        std::optional<size_t> mine;
        for (size_t age = 0; age < heardCount; ++age) {
            const Heard& h = heardBefore(age);
            if (h.info != f.InfoHash || !sameCall(h.Call(0), f.Source) || !sameCall(h.Call(1), f.Destination))
                continue;
            for (size_t i = 0; i < Header.Via.size(); ++i)
                if (i >= h.Via() || !sameCall(h.Call(2 + i), Header.Via[i])) {
                    mine = i;
                    break;
                }
            break;
        }
        if (mine) {
            assignPlainCall(ownCall, Header.Via[*mine]);
            f.Transmitter = ownCall;
            f.Digipeated = true;
            // Sent with the H bit set up to the station's own call.
            f.AirBits = FrameAirBits(Header, Data, shown, *mine + 1);
        } else {
            assignPlainCall(f.Transmitter, Header.Source);
            f.AirBits = FrameAirBits(Header, Data, shown);
        }
        return f;
    }

    // The oldest entry's buffers are reused for the newest.
    Heard& entry = heard[heardNext];
    heardNext = (heardNext + 1) % KeptHeard;
    heardCount = std::min(heardCount + 1, KeptHeard);
    size_t total = Header.Source.size() + Header.Destination.size();
    for (const std::string_view call : Header.Via)
        total += call.size();
    if (entry.calls.size() < total)
        entry.calls.resize(total);
    static_assert(2 + MonitorHeader::MaxVia <= Heard::MaxCalls);
    const size_t calls = 2 + Header.Via.size();
    entry.count = calls;
    uint32_t at = 0;
    for (size_t i = 0; i < calls; ++i) {
        const std::string_view call = i == 0 ? Header.Source
            : i == 1                         ? Header.Destination
                                             : Header.Via[i - 2];
        copyShort(entry.calls.data() + at, call.data(), call.size());
        at += static_cast<uint32_t>(call.size());
        entry.ends[i] = at;
    }
    entry.info = f.InfoHash;

    // The raw frame of this one; older ones that found no monitor frame go.
    for (size_t age = 0; age < rawCount; ++age) {
        const Raw& r = raws[(rawFirst + age) % KeptRaw];
        if (r.port != Port || !sameCall(r.source.View(), Header.Source) ||
            !sameCall(r.destination.View(), Header.Destination))
            continue;
        f.Exact = true;
        f.AirBits = RawFrameAirBits(r.frame);
        f.Transmitter = r.transmitter.View();
        f.Digipeated = r.digipeated;
        rawFirst = (rawFirst + age + 1) % KeptRaw;
        rawCount -= age + 1;
        return f;
    }

    // Engines that mark the repeating digipeater in the text ('*').
    f.AirBits = FrameAirBits(Header, Data, shown);
    std::string_view transmitter = Header.Source;
    for (size_t i = Header.Via.size(); i-- > 0;)
        if (!Header.Via[i].empty() && Header.Via[i].back() == '*') {
            transmitter = Header.Via[i];
            f.Digipeated = true;
            break;
        }
    assignPlainCall(f.Transmitter, transmitter);
    return f;
}
