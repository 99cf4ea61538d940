// SPDX-License-Identifier: GPL-3.0-or-later
#include "AGWUnit.h"

#include <algorithm>
#include <cstring>

#include "TextRoutines.h"

namespace {

constexpr size_t CallFromAt = 8;
constexpr size_t CallToAt = 18;
constexpr size_t CallWidth = 10;
constexpr size_t KindAt = 4;
constexpr size_t LengthAt = 28;

uint32_t readU32(const char* p)
{
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

void writeU32(std::string& frame, size_t at, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        frame[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A call field ends at its first zero byte or after all ten bytes. Its
// first eight bytes are looked at at once: a memchr call cost more than the
// field, twice per frame.
[[gnu::always_inline]] inline std::string_view readCall(const char* field)
{
    if constexpr (textscan::ByWords) {
        if (const uint64_t zeros = textscan::matches(textscan::load8(field), '\0'))
            return {field, static_cast<size_t>(std::countr_zero(zeros)) / 8};
        return {field, field[8] == '\0' ? size_t{8} : field[9] == '\0' ? size_t{9} : CallWidth};
    }
    const void* zero = std::memchr(field, 0, CallWidth);
    return {field, zero ? static_cast<size_t>(static_cast<const char*>(zero) - field) : CallWidth};
}

void writeCall(std::string& frame, size_t at, const std::string& call)
{
    const std::string padded = PadRight(call, CallWidth, '\0');
    frame.replace(at, CallWidth, padded, 0, CallWidth);
}

// The counters are plain 32-bit sums that wrap.
void addTo(int32_t& counter, uint64_t amount)
{
    counter = static_cast<int32_t>(static_cast<uint32_t>(counter) + static_cast<uint32_t>(amount));
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number formed by the digits a word begins with ("20>" gives 20); false
// when it begins with none or they do not fit 32 bits.
bool leadingNumber(std::string_view word, int32_t& value)
{
    int64_t number = 0;
    size_t i = 0;
    for (; i < word.size() && isDigit(word[i]); ++i) {
        number = number * 10 + (word[i] - '0');
        if (number > INT32_MAX)
            return false;
    }
    if (i == 0)
        return false;
    value = static_cast<int32_t>(number);
    return true;
}

bool isSequenceWord(std::string_view word, char letter)
{
    return word.size() >= 2 && word[0] == letter && isDigit(word[1]);
}

bool acceptedKind(char kind)
{
    return std::string_view("XCGdmkDHgx").find(kind) != std::string_view::npos;
}

} // namespace

AGWSocket::~AGWSocket() = default;

// ---------------------------------------------------------------- TAGWPort

TAGWPort::TAGWPort(int32_t PortNumber)
    : PortNumber(PortNumber)
    , PortIndex(PortNumber - 1)
{
}

void TAGWPort::CountPassedOn(uint32_t Length)
{
    addTo(FramesIn, 1);
    addTo(BytesIn, TAGWPE::HeaderSize + uint64_t{Length});
    addTo(DataIn, Length);
}

bool TAGWPort::Full() const
{
    return following(WriteIndex) == ReadIndex;
}

void TAGWPort::makeRoom(size_t Size)
{
    if (Storage.size() - Used >= Size)
        return;
    // The waiting frames begin where the oldest of them does (an empty ring
    // has Used 0, so it can only grow).
    const size_t front = Empty() ? Used : Slots[ReadIndex].At;
    if (front >= Used - front && Storage.size() - (Used - front) >= Size) {
        std::memmove(Storage.data(), Storage.data() + front, Used - front);
        Used -= front;
        for (int32_t i = ReadIndex; i != WriteIndex; i = following(i))
            Slots[i].At -= front;
        return;
    }
    Storage.resize(std::max(Used + Size, 2 * Storage.size()));
}

void TAGWPort::prepareSlot(size_t Size)
{
    if (static_cast<size_t>(WriteIndex) >= Slots.size()) {
        if (Slots.empty())
            Slots.reserve(8);
        Slots.resize(static_cast<size_t>(WriteIndex) + 1);
    }
    makeRoom(Size);
}

inline TAGWPort::Slot& TAGWPort::openSlot(size_t Size)
{
    // Once a ring has run a while its slots and buffer are there: the
    // making of them stays out of the way.
    if (static_cast<size_t>(WriteIndex) >= Slots.size() || Storage.size() - Used < Size) [[unlikely]]
        prepareSlot(Size);
    Slot& slot = Slots[WriteIndex];
    slot.At = Used;
    return slot;
}

inline void TAGWPort::closeSlot(size_t Size, size_t DataSize)
{
    Used += Size;
    addTo(FramesIn, 1);
    addTo(BytesIn, TAGWPE::HeaderSize + DataSize);
    addTo(DataIn, DataSize);
    WriteIndex = following(WriteIndex);
}

bool TAGWPort::StoreFrame(uint8_t Port, char Kind, std::string_view CallFrom, std::string_view CallTo,
                          int32_t DataLen, std::string_view Data)
{
    if (Full())
        return false;
    const size_t fromSize = CallFrom.size();
    const size_t toSize = CallTo.size();
    const size_t size = fromSize + toSize + Data.size();
    Slot& slot = openSlot(size);
    slot.FromSize = fromSize;
    slot.ToAt = fromSize;
    slot.ToSize = toSize;
    slot.DataAt = fromSize + toSize;
    slot.DataSize = Data.size();
    slot.DataLen = DataLen;
    slot.Port = Port;
    slot.Kind = Kind;
    char* out = Storage.data() + slot.At;
    // memcpy with a null source is undefined even for no bytes.
    if (fromSize)
        std::memcpy(out, CallFrom.data(), fromSize);
    if (toSize)
        std::memcpy(out + fromSize, CallTo.data(), toSize);
    if (!Data.empty())
        std::memcpy(out + fromSize + toSize, Data.data(), Data.size());
    closeSlot(size, Data.size());
    return true;
}

bool TAGWPort::StoreReceived(const char* Header, uint32_t Length)
{
    if (Full())
        return false;
    // Both call fields as they lie, one fixed-size copy: two copies of a
    // few bytes each cost more than the frame's data.
    constexpr size_t calls = 2 * CallWidth;
    const size_t size = calls + Length;
    Slot& slot = openSlot(size);
    slot.FromSize = readCall(Header + CallFromAt).size();
    slot.ToAt = CallWidth;
    slot.ToSize = readCall(Header + CallToAt).size();
    slot.DataAt = calls;
    slot.DataSize = Length;
    slot.DataLen = static_cast<int32_t>(Length);
    slot.Port = static_cast<uint8_t>(Header[0]);
    slot.Kind = Header[KindAt];
    char* out = Storage.data() + slot.At;
    std::memcpy(out, Header + CallFromAt, calls);
    if (Length)
        std::memcpy(out + calls, Header + TAGWPE::HeaderSize, Length);
    closeSlot(size, Length);
    return true;
}

bool TAGWPort::TakeFrame(AGWFrameView& Frame)
{
    if (Empty())
        return false;
    const Slot& slot = Slots[ReadIndex];
    const char* at = Storage.data() + slot.At;
    Frame.Port = slot.Port;
    Frame.Kind = slot.Kind;
    Frame.CallFrom = {at, slot.FromSize};
    Frame.CallTo = {at + slot.ToAt, slot.ToSize};
    Frame.DataLen = slot.DataLen;
    Frame.Data = {at + slot.DataAt, slot.DataSize};
    ReadIndex = following(ReadIndex);
    // Emptied: the next frame starts the buffer and the slots over. The
    // bytes stay where they are until then, so Frame's views still hold.
    if (ReadIndex == WriteIndex) {
        ReadIndex = WriteIndex = 0;
        Used = 0;
    }
    return true;
}

bool TAGWPort::TakeFrame(uint8_t& Port, char& Kind, std::string& CallFrom, std::string& CallTo,
                         int32_t& DataLen, std::string& Data)
{
    AGWFrameView frame;
    if (!TakeFrame(frame))
        return false;
    Port = frame.Port;
    Kind = frame.Kind;
    CallFrom.assign(frame.CallFrom);
    CallTo.assign(frame.CallTo);
    DataLen = frame.DataLen;
    Data.assign(frame.Data);
    return true;
}

bool TAGWPort::WriteFrame(AGWSocket* Socket, uint8_t Port, char Kind, const std::string& CallFrom,
                          const std::string& CallTo, int32_t DataLen, const std::string& Data)
{
    if (!Socket || DataLen < 0 || static_cast<size_t>(DataLen) != Data.size())
        return false;
    std::string frame(TAGWPE::HeaderSize, '\0');
    frame.reserve(TAGWPE::HeaderSize + Data.size());
    frame[0] = static_cast<char>(Port);
    frame[KindAt] = Kind;
    writeCall(frame, CallFromAt, CallFrom);
    writeCall(frame, CallToAt, CallTo);
    writeU32(frame, LengthAt, static_cast<uint32_t>(Data.size()));
    frame += Data;
    Socket->SendText(frame);
    addTo(FramesOut, 1);
    addTo(BytesOut, frame.size());
    addTo(DataOut, Data.size());
    return true;
}

// ---------------------------------------------------------------- TAGWPE

TAGWPE::TAGWPE(const std::string& CallSign)
    : CallSign(CallSign)
{
}

bool TAGWPE::served(uint8_t Port) const
{
    // With several ports every index below the count is served, its ring made
    // on demand; with one, only an existing ring 0 (none before the first attach).
    return Port < std::min(PortCount, MaxPorts) && (PortCount > 1 || Ports[Port]);
}

TAGWPort* TAGWPE::servedRing(uint8_t Port, bool create)
{
    if (!served(Port))
        return nullptr;
    if (!Ports[Port] && create)
        Ports[Port] = std::make_unique<TAGWPort>(Port + 1);
    return Ports[Port].get();
}

bool TAGWPE::AttachSocket(AGWSocket* Socket, int32_t RequestedPorts)
{
    PortCount = RequestedPorts > 1 ? std::min(RequestedPorts, MaxPorts) : 1;
    for (int32_t i = PortCount; i <= MaxPorts; ++i)
        Ports[i].reset();
    if (PortCount == 1 && !Ports[0])
        Ports[0] = std::make_unique<TAGWPort>(1);
    ReadPos = End = Offered = 0;
    SkipLeft = 0;
    ListedPorts = -1;
    this->Socket = Socket;
    return true;
}

bool TAGWPE::DetachSocket()
{
    Received.reset();
    Capacity = ReadPos = End = Offered = 0;
    SkipLeft = 0;
    Socket = nullptr;
    return true;
}

bool TAGWPE::SendFrame(uint8_t Port, char Kind, const std::string& CallFrom, const std::string& CallTo,
                       int32_t DataLen, const std::string& Data)
{
    if (!Socket || !acceptedKind(Kind))
        return false;
    TAGWPort* ring = servedRing(Port, true);
    return ring && ring->WriteFrame(Socket, Port, Kind, CallFrom, CallTo, DataLen, Data);
}

bool TAGWPE::Register()
{
    if (CallSign.empty() || !Socket)
        return false;
    // Engines register the call given in "call from" and answer 'X' with one byte.
    SendFrame(0, 'X', CallSign, "", 0, "");
    SendFrame(0, 'G', "", "", 0, "");
    SendFrame(0, 'g', "", "", 0, "");
    SendFrame(0, 'm', "", "", 0, "");
    return true;
}

bool TAGWPE::StartMonitoring()
{
    if (!Socket)
        return false;
    SendFrame(0, 'G', "", "", 0, "");
    SendFrame(0, 'g', "", "", 0, "");
    SendFrame(0, 'm', "", "", 0, "");
    return true;
}

bool TAGWPE::AskRawFrames()
{
    return SendFrame(0, 'k', "", "", 0, "");
}

bool TAGWPE::AskPortInfo()
{
    return SendFrame(0, 'G', "", "", 0, "");
}

bool TAGWPE::Unregister()
{
    if (CallSign.empty() || !Socket)
        return false;
    // An 'x' with empty calls would unregister nothing.
    SendFrame(0, 'x', CallSign, "", 0, "");
    return true;
}

bool TAGWPE::ReceiveBytes(std::string_view Chunk)
{
    if (ReadPos == End)
        ReadPos = End = 0;
    if (End == 0) {
        // Nothing waits: cut straight from the chunk and keep only its rest.
        size_t used = 0;
        const bool whole = cutFrames(Chunk, used);
        const std::string_view rest = Chunk.substr(used);
        if (!rest.empty())
            std::memcpy(ReceiveSpace(rest.size()), rest.data(), rest.size());
        End += rest.size();
        Offered = 0;
        return whole;
    }
    if (!Chunk.empty())
        std::memcpy(ReceiveSpace(Chunk.size()), Chunk.data(), Chunk.size());
    return ReceiveWritten(Chunk.size());
}

char* TAGWPE::ReceiveSpace(size_t Size)
{
    if (ReadPos == End)
        ReadPos = End = 0;
    if (Capacity - End < Size) {
        const size_t waiting = End - ReadPos;
        if (ReadPos >= waiting && Capacity - waiting >= Size) {
            std::memmove(Received.get(), Received.get() + ReadPos, waiting);
        } else {
            const size_t capacity = std::max(waiting + Size, 2 * Capacity);
            std::unique_ptr<char[]> grown(new char[capacity]);
            if (waiting)
                std::memcpy(grown.get(), Received.get() + ReadPos, waiting);
            Received = std::move(grown);
            Capacity = capacity;
        }
        ReadPos = 0;
        End = waiting;
    }
    Offered = Size;
    return Received.get() + End;
}

bool TAGWPE::ReceiveWritten(size_t Count)
{
    End += std::min(Count, Offered);
    Offered = 0;
    return cutFrames(std::string_view(Received.get() + ReadPos, End - ReadPos), ReadPos);
}

void TAGWPE::ReceiveKept(size_t Count)
{
    End += std::min(Count, Offered);
    Offered = 0;
}

bool TAGWPE::NextReceived(AGWFrameView& Frame)
{
    for (;;) {
        if (SkipLeft > 0) {
            const auto skipped = static_cast<size_t>(std::min<uint64_t>(SkipLeft, pending()));
            ReadPos += skipped;
            SkipLeft -= skipped;
            if (SkipLeft > 0)
                return false;
        }
        if (pending() < static_cast<size_t>(HeaderSize))
            return false;
        const char* header = Received.get() + ReadPos;
        const auto port = static_cast<uint8_t>(header[0]);
        const uint32_t length = readU32(header + LengthAt);
        if (length > MaxDataLen || !served(port)) {
            // Not handed out: its data is passed over as it arrives.
            ReadPos += HeaderSize;
            SkipLeft = length;
            continue;
        }
        if (pending() - HeaderSize < length)
            return false;
        TAGWPort* ring = Ports[port] ? Ports[port].get() : servedRing(port, true);
        if (!ring->Empty()) {
            if (!ring->StoreReceived(header, length))
                return false;
            ReadPos += HeaderSize + length;
            continue;
        }
        ring->CountPassedOn(length);
        Frame.Port = port;
        Frame.Kind = header[KindAt];
        Frame.CallFrom = readCall(header + CallFromAt);
        Frame.CallTo = readCall(header + CallToAt);
        Frame.DataLen = static_cast<int32_t>(length);
        Frame.Data = {header + HeaderSize, length};
        ReadPos += HeaderSize + length;
        return true;
    }
}

bool TAGWPE::cutFrames(std::string_view Bytes, size_t& Used)
{
    size_t at = 0;
    const auto done = [&](bool whole) {
        Used += at;
        return whole;
    };
    for (;;) {
        const size_t left = Bytes.size() - at;
        if (SkipLeft == 0) {
            if (left < static_cast<size_t>(HeaderSize))
                return done(true);
            const char* header = Bytes.data() + at;
            const auto port = static_cast<uint8_t>(header[0]);
            const uint32_t length = readU32(header + LengthAt);
            if (length <= MaxDataLen && served(port)) {
                if (left - HeaderSize < length)
                    return done(false);
                TAGWPort* ring = Ports[port] ? Ports[port].get() : servedRing(port, true);
                // A full ring keeps the frame, and all behind it, in the buffer.
                if (!ring->StoreReceived(header, length))
                    return done(false);
                at += HeaderSize + length;
                if (at == Bytes.size())
                    return done(true);
                continue;
            }
            // Not filed: its data is passed over as it arrives, never buffered.
            at += HeaderSize;
            SkipLeft = length;
        }
        const size_t skipped = static_cast<size_t>(std::min<uint64_t>(SkipLeft, Bytes.size() - at));
        at += skipped;
        SkipLeft -= skipped;
        if (SkipLeft > 0 || at == Bytes.size())
            return done(false);
    }
}

bool TAGWPE::NextFrame(uint8_t& Port, char& Kind, std::string& CallFrom, std::string& CallTo, int32_t& DataLen,
                       std::string& Data)
{
    if (!served(Port))
        return false;
    // A served port whose ring was never needed reads as an empty ring.
    TAGWPort* ring = Ports[Port].get();
    if (ring && ring->TakeFrame(Port, Kind, CallFrom, CallTo, DataLen, Data))
        return true;
    Port = 0;
    Kind = 0;
    CallFrom.clear();
    CallTo.clear();
    DataLen = 0;
    Data.clear();
    return false;
}

bool TAGWPE::NextFrame(uint8_t Ring, AGWFrameView& Frame)
{
    TAGWPort* ring = served(Ring) ? Ports[Ring].get() : nullptr;
    if (ring && ring->TakeFrame(Frame))
        return true;
    Frame = {};
    return false;
}

// ---------------------------------------------------------------- parsers

namespace {

constexpr size_t NoShape = std::string_view::npos;

// What follows the header line that ends at LineEnd (npos: none does),
// without the line end the engine adds after the information: CR and NUL on
// Dire Wolf, CR on LinBPQ.
std::string_view informationAfter(std::string_view Data, size_t LineEnd)
{
    if (LineEnd == std::string_view::npos)
        return {};
    std::string_view info = Data.substr(LineEnd + 1);
    if (!info.empty() && info.back() == '\0')
        info.remove_suffix(1);
    if (!info.empty() && info.back() == '\r')
        info.remove_suffix(1);
    return info;
}

// The digipeaters of the word [At, End) of Text, "DIGI1,DIGI2", up to the
// most a frame can name; empty names between commas name none.
void addVia(std::string_view Text, size_t At, size_t End, MonitorHeader& Header)
{
    const std::string_view calls = Text.substr(0, End);
    while (At < End && Header.Via.size() < MonitorHeader::MaxVia) {
        const size_t comma = std::min(FindByte(calls, At, ','), End);
        if (comma > At)
            Header.Via.emplace_back(Text.substr(At, comma - At));
        At = comma + 1;
    }
}

// What of Text the word-by-word reading reads: a text longer than any frame
// up to its first line end, looked for only where a header line can be.
std::string_view readableHeader(std::string_view Text)
{
    if (Text.size() <= MonitorHeader::MaxText)
        return Text;
    const std::string_view head = Text.substr(0, MonitorHeader::MaxHeaderLine);
    const size_t lineEnd = head.find('\r');
    return lineEnd == std::string_view::npos ? head : head.substr(0, lineEnd + 1);
}

// The addresses as every engine writes them, " P:Fm SRC To DST[ Via DIGIS] <",
// single blanks around "Fm" and "To", read by their markers in one pass. Gives
// where the description begins, having filled the addresses, or NoShape,
// having filled nothing, for any other text: the word-by-word reading below
// takes those. Only for texts whose markers all lie before the last five
// bytes, so that none of the line ends that reading strips from the end can
// fall into a word.
size_t readAddresses(std::string_view Text, MonitorHeader& Header)
{
    const size_t n = Text.size();
    if (n > MonitorHeader::MaxText || n < 16)
        return NoShape;
    const size_t limit = n - 5;
    const char* t = Text.data();
    // A carriage return anywhere before '<' leaves the text to the reading
    // below: then the header line's end is the first one after '<'.
    const size_t colon = FindEither(Text, 0, ':', '\r');
    if (colon >= limit - 8 || t[colon] != ':' || std::memcmp(t + colon + 1, "Fm ", 3) != 0 || t[colon + 4] == ' ')
        return NoShape;
    const size_t source = colon + 4;
    const size_t sourceEnd = FindEither(Text, source, ' ', '\r');
    if (sourceEnd >= limit - 5 || std::memcmp(t + sourceEnd, " To ", 4) != 0 || t[sourceEnd + 4] == ' ')
        return NoShape;
    const size_t destination = sourceEnd + 4;
    const size_t destinationEnd = FindEither(Text, destination, ' ', '\r');
    if (destinationEnd >= limit || t[destinationEnd] != ' ')
        return NoShape;
    size_t via = destinationEnd + 1;
    while (via < limit && t[via] == ' ')
        ++via;
    const size_t open = via < limit ? FindEither(Text, via, '<', '\r') : NoShape;
    if (open >= limit || t[open] != '<')
        return NoShape;
    Header.PortText = Text.substr(0, colon);
    Header.Source = Text.substr(source, sourceEnd - source);
    Header.Destination = Text.substr(destination, destinationEnd - destination);
    if (open - via >= 3 && std::memcmp(t + via, "Via", 3) == 0 && (open - via == 3 || t[via + 3] == ' ')) {
        size_t calls = via + 3;
        while (calls < open && t[calls] == ' ')
            ++calls;
        addVia(Text, calls, std::min(FindByte(Text, calls, ' '), open), Header);
    }
    return open + 1;
}

// The blank-separated words of a description, which holds no line end.
// Pointers rather than views: a description is read word by word once per
// frame, and each view's bounds checks cost as much as the bytes.
class DescriptionWords {
public:
    DescriptionWords(const char* Begin, const char* End)
        : at(Begin)
        , end(End)
    {
    }
    // The next word; empty at the end.
    std::string_view next()
    {
        while (at < end && *at == ' ')
            ++at;
        const char* start = at;
        while (at < end && *at != ' ')
            ++at;
        return {start, static_cast<size_t>(at - start)};
    }
    // The word after the next '=', the words up to it passed over; empty
    // without one.
    std::string_view afterEquals()
    {
        while (at < end && *at != '=')
            ++at;
        if (at == end)
            return {};
        ++at;
        return next();
    }

private:
    const char* at;
    const char* end;
};

// The description, rest being the text after '<'; rest then holds what
// follows it. False when a number in it is not an integer.
bool readDescription(std::string_view& rest, MonitorHeader& Header)
{
    // The description runs to '>' (LinBPQ and QtSoundModem put no blank
    // before it, as in "<DM>"); ldsped leaves some open, so the line end
    // bounds it too.
    const size_t close = std::min(FindEither(rest, 0, '>', '\r'), rest.size());
    const std::string_view description = rest.substr(0, close);
    rest.remove_prefix(close < rest.size() && rest[close] == '>' ? close + 1 : close);
    // "UI pid=F0 Len=20 ...", as Dire Wolf, QtSoundModem and LinBPQ write
    // a UI frame, read by position: the words below give the same fields.
    if (close > 7 && std::memcmp(description.data(), "UI pid=", 7) == 0 && description[7] != ' ') {
        const size_t pidEnd = std::min(FindByte(description, 7, ' '), close);
        if (pidEnd + 5 < close && std::memcmp(description.data() + pidEnd, " Len=", 5) == 0 &&
            description[pidEnd + 5] != ' ') {
            Header.FrameType = description.substr(0, 2);
            Header.Pid = description.substr(7, pidEnd - 7);
            if (!leadingNumber(description.substr(pidEnd + 5), Header.InfoLen))
                return false;
            Header.HasInfoLen = true;
            return true;
        }
    }
    DescriptionWords words(description.data(), description.data() + close);
    const std::string_view type = words.next();
    Header.FrameType = type;
    const bool iFrame = type.size() == 1 && type[0] == 'I';
    if (iFrame) {
        // Dire Wolf writes "S3 R1", QtSoundModem "R1 S3": take them by name.
        DescriptionWords numbers = words;
        bool haveRecv = false, haveSend = false;
        for (std::string_view word = numbers.next(); !word.empty(); word = numbers.next()) {
            if (!haveRecv && isSequenceWord(word, 'R')) {
                if (!leadingNumber(word.substr(1), Header.RecvSeq))
                    return false;
                haveRecv = true;
            } else if (!haveSend && isSequenceWord(word, 'S')) {
                if (!leadingNumber(word.substr(1), Header.SendSeq))
                    return false;
                haveSend = true;
            }
        }
    }
    if (iFrame || (type.size() == 2 && type[0] == 'U' && type[1] == 'I')) {
        // pid first, then the length; LinBPQ's I frames carry neither.
        Header.Pid = words.afterEquals();
        const std::string_view length = words.afterEquals();
        if (!length.empty() && !leadingNumber(length, Header.InfoLen))
            return false;
        Header.HasInfoLen = !length.empty();
        return true;
    }
    // XID, TEST and the like: Dire Wolf gives their length as "Len=", ldsped
    // as "len=". The first word after the type that begins so: found by its
    // '=' rather than word by word, as most descriptions have none.
    const size_t typeEnd = static_cast<size_t>(type.data() - description.data()) + type.size();
    for (size_t equals = FindByte(description, typeEnd + 4, '='); equals < close;
         equals = FindByte(description, equals + 1, '=')) {
        const char* word = description.data() + equals - 3;
        if (word[-1] == ' ' && (word[0] == 'L' || word[0] == 'l') && word[1] == 'e' && word[2] == 'n') {
            if (!leadingNumber(description.substr(equals + 1), Header.InfoLen))
                return false;
            Header.HasInfoLen = true;
            break;
        }
    }
    return true;
}

// The header line after the description, rest, and the information after it.
void readLineRest(std::string_view Text, std::string_view rest, MonitorHeader& Header)
{
    // The line ends at the first carriage return; one that ends the whole text
    // belongs to neither the header nor the information.
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    SplitAt(rest, '\r', Header.LineRest);
    if (Text.size() <= MonitorHeader::MaxText)
        Header.Info = rest;
}

} // namespace

bool TAGWPE::ParseMonitorHeader(std::string_view Text, MonitorHeader& Header)
{
    // Reset field by field: a header is reused from frame to frame.
    Header.PortText = Header.Source = Header.Destination = Header.FrameType = Header.Pid = {};
    Header.RecvSeq = Header.SendSeq = Header.InfoLen = 0;
    Header.HasInfoLen = false;
    Header.Via.clear();
    Header.LineRest = Header.Info = Header.Shown = {};
    std::string_view rest, word;
    const size_t description = readAddresses(Text, Header);
    const bool fast = description != NoShape;
    if (fast) {
        // The words read up to '<' dropped up to four carriage returns from the text's end.
        size_t end = Text.size();
        for (int i = 0; i < 4 && Text[end - 1] == '\r'; ++i)
            --end;
        rest = Text.substr(description, end - description);
    } else {
        rest = readableHeader(Text);
        SplitAt(rest, ':', word);
        Header.PortText = word;
        NextWord(rest, word); // "Fm"
        NextWord(rest, word);
        Header.Source = word;
        NextWord(rest, word); // "To"
        NextWord(rest, word);
        Header.Destination = word;
        SplitAt(rest, '<', word);
        // " Via DIGI1,DIGI2 ": the digipeaters the frame names, used or not.
        std::string_view via = word, viaWord;
        NextWord(via, viaWord);
        if (viaWord == "Via") {
            NextWord(via, viaWord);
            addVia(viaWord, 0, viaWord.size(), Header);
        }
    }

    if (!readDescription(rest, Header))
        return false;
    if (!fast) {
        Header.Shown = MonitorInformation(Text);
        readLineRest(Text, rest, Header);
        return true;
    }
    // No carriage return before rest: the first from there ends the line,
    // unless it is the one that ends the whole text.
    const size_t from = static_cast<size_t>(rest.data() - Text.data());
    const size_t lineEnd = FindByte(Text, from, '\r');
    Header.Shown = informationAfter(Text, lineEnd);
    if (!rest.empty() && rest.back() == '\r')
        rest.remove_suffix(1);
    const size_t restEnd = from + rest.size();
    if (lineEnd < restEnd) {
        Header.LineRest = Text.substr(from, lineEnd - from);
        Header.Info = Text.substr(lineEnd + 1, restEnd - lineEnd - 1);
    } else {
        Header.LineRest = rest;
    }
    return true;
}

bool TAGWPE::ParsePortInfo(uint8_t Port, const std::string& Text)
{
    (void)Port;
    // The list ends at its NUL; ldsped leaves stale bytes after it.
    std::string_view rest(Text.data(), std::min(Text.size(), Text.find('\0'))), field;
    SplitAt(rest, ';', field);
    const std::string digits = DigitsOnly(std::string(field));
    int32_t count = 0;
    if (digits == "0" || !leadingNumber(digits, count))
        return false;
    ListedPorts = count;
    // Fields beyond the served ports would be dropped anyway.
    const int32_t listed = std::min(count, std::min(PortCount, MaxPorts));
    for (int32_t i = 0; i < listed; ++i) {
        SplitAt(rest, ';', field);
        if (TAGWPort* ring = servedRing(static_cast<uint8_t>(i), true))
            ring->Description = field;
    }
    return true;
}

bool TAGWPE::ParsePortCapabilities(uint8_t Port, const std::string& Text)
{
    (void)Port;
    (void)Text;
    return false;
}

std::string_view MonitorPortText(std::string_view Text)
{
    const std::string_view head = readableHeader(Text);
    return head.substr(0, std::min(FindByte(head, 0, ':'), head.size()));
}

std::string_view MonitorInformation(std::string_view Data)
{
    return informationAfter(Data, FindByte(Data, 0, '\r'));
}
