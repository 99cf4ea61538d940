// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Client side of the AGWPE TCP interface as Dire Wolf, QtSoundModem, LinBPQ and
// ldsped speak it.
//
// Both directions carry an unbroken run of frames: a 36-byte header, then as
// many data bytes as the header announces. No delimiter, no checksum.
//
//   offset  width  field
//    0       1     port: 0-based radio channel (byte 0 only)
//    1       3     written 0; some engines read bytes 0-3 as one integer
//    4       1     kind, one ASCII letter
//    5       1     written 0 (LinBPQ drops the connection otherwise)
//    6       1     PID: written 0, ignored on receipt (stale on monitor frames)
//    7       1     written 0
//    8      10     call from, zero-padded; a 10-character call has no zero
//   18      10     call to, same rule
//   28       4     data length, unsigned 32-bit little-endian
//   32       4     reserved, written 0
//
// Sent, always on port 0 and without data: 'G' port list (also once a tick,
// as a sign of life), 'g' port capabilities, 'm' monitoring and 'k' raw frames
// (toggles in every engine, so they go out once per connection). The library can also send 'X'
// register and 'x' unregister (call from = the callsign), which the meter
// never does: a registered call makes the engine accept connections on air.
// Acted on: 'I', 'S', 'U' monitored frames and 'T' the station's own
// transmissions (text header, then the frame's information), 'G' the port
// list "n;desc1;desc2;...". Anything else is cut
// and filed like the others and left to the reader to drop.
//
// A monitor text reads " 1:Fm SRC To DST[ Via DIGI1,DIGI2] <DESC>[hh:mm:ss]\r"
// followed by the information. The number before ':' is the 1-based radio
// port; DESC is "UI pid=F0 Len=20 ...", "I S3 R1 pid=F0 Len=5 ..." (the
// sequence numbers in either order, pid and Len missing on LinBPQ) or another
// frame type without numbers that count.
#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// One received frame as a ring hands it out: views into the ring's own
// storage, valid until the ring files its next frame (the next ReceiveBytes)
// or is destroyed. Reading them costs no copy.
struct AGWFrameView {
    uint8_t Port = 0;
    char Kind = 0;
    std::string_view CallFrom, CallTo;
    int32_t DataLen = 0;
    std::string_view Data;
};

// The fields of the text header of a monitored frame, such as
// " 1:Fm N0CALL-1 To APRS Via WIDE1-1 <UI pid=F0 Len=20 PF=0 >[19:29:58]\r".
// The text fields are views into the text parsed, valid while it is: no
// field is copied per frame, the digipeaters' calls included.
// ParseMonitorHeader resets every field: a field added here is reset there
// too.
struct MonitorHeader {
    // AX.25 names at most 8 digipeaters; further ones in a text are ignored.
    static constexpr size_t MaxVia = 8;
    // The longest frame an engine passes on: Dire Wolf takes up to 2123 bytes of
    // addresses, control, PID and information (check sequence not included).
    static constexpr int64_t MaxFrameBytes = 2123;
    // No engine writes a longer monitor text (Dire Wolf stops at 2123 bytes);
    // of a longer one only the header line, within its first MaxHeaderLine
    // bytes, is read.
    static constexpr size_t MaxText = 4096;
    static constexpr size_t MaxHeaderLine = 1024;

    // The digipeaters' calls in the order the text names them, '*' kept,
    // at most MaxVia: further ones are dropped.
    class Calls {
    public:
        void push_back(std::string_view Call)
        {
            if (count < MaxVia)
                calls[count++] = Call;
        }
        void emplace_back(std::string_view Call) { push_back(Call); }
        void clear() { count = 0; }
        size_t size() const { return count; }
        bool empty() const { return count == 0; }
        std::string_view operator[](size_t Index) const { return calls[Index]; }
        std::string_view back() const { return calls[count - 1]; }
        const std::string_view* begin() const { return calls.data(); }
        const std::string_view* end() const { return calls.data() + count; }

    private:
        std::array<std::string_view, MaxVia> calls{};
        size_t count = 0;
    };

    std::string_view PortText, Source, Destination, FrameType, Pid;
    int32_t RecvSeq = 0, SendSeq = 0, InfoLen = 0;
    bool HasInfoLen = false; // a "Len=" was there (LinBPQ writes I frames without)
    Calls Via;
    // The header line after the description: the time, and whatever an engine
    // adds there (LinBPQ's XID parameters and FRMR bytes).
    std::string_view LineRest;
    std::string_view Info; // empty for a text longer than MaxText
    // The information as MonitorInformation gives it, found with the header
    // line's end rather than looked for again.
    std::string_view Shown;
};

// The information bytes of a monitored frame's data: what follows the header
// line, without the line end the engine adds after it.
std::string_view MonitorInformation(std::string_view Data);

// The port's text of a monitor text, what ParseMonitorHeader gives as
// PortText, without reading the rest: frames of other ports need no more.
std::string_view MonitorPortText(std::string_view Text);

// Where the client object writes its requests: the program's TCP socket, or
// a recording fake in tests.
class AGWSocket {
public:
    virtual ~AGWSocket();
    virtual void SendText(const std::string& Text) = 0;
};

// The frames received for one radio port, oldest first, and what went through it.
// Slots are made as the ring first needs them, and an emptied ring starts
// over at slot 0: a ring that is drained as frames come holds a few slots,
// not all of them. The frames' calls and data lie one after the other in one
// buffer of the ring, reused once the ring is empty, so filing a frame is a
// copy into memory already there rather than three strings of its own.
class TAGWPort {
public:
    static constexpr int32_t SlotCount = 513;

    explicit TAGWPort(int32_t PortNumber);

    // False, storing nothing, when 512 frames already wait unread: a full ring
    // never overwrites or empties itself.
    bool StoreFrame(uint8_t Port, char Kind, std::string_view CallFrom, std::string_view CallTo,
                    int32_t DataLen, std::string_view Data);
    // The same for a frame as it lies on the wire: the 36-byte Header, then
    // Length data bytes right behind it.
    bool StoreReceived(const char* Header, uint32_t Length);
    // False, outputs untouched, when no frame waits.
    bool TakeFrame(uint8_t& Port, char& Kind, std::string& CallFrom, std::string& CallTo,
                   int32_t& DataLen, std::string& Data);
    // As above without copying: Frame's views stay valid until the next
    // StoreFrame. False, Frame untouched, when no frame waits.
    bool TakeFrame(AGWFrameView& Frame);
    // Header and data go out in one write: LinBPQ drops a client whose data
    // does not follow its header at once. False, writing nothing, without a
    // socket or when DataLen is not the length of Data (the engine would lose
    // the framing of everything after it).
    bool WriteFrame(AGWSocket* Socket, uint8_t Port, char Kind, const std::string& CallFrom,
                    const std::string& CallTo, int32_t DataLen, const std::string& Data);

    // A frame of this port handed on where it arrived, never filed: it
    // counts in the totals all the same.
    void CountPassedOn(uint32_t Length);

    bool Full() const;
    bool Empty() const { return ReadIndex == WriteIndex; }

    int32_t PortNumber;
    int32_t PortIndex;
    int32_t ReadIndex = 0;
    int32_t WriteIndex = 0;
    // Running totals: 32-bit, wrapping, never reset.
    int32_t FramesIn = 0;
    int32_t FramesOut = 0;
    int32_t BytesIn = 0;
    int32_t BytesOut = 0;
    int32_t DataIn = 0;
    int32_t DataOut = 0;
    std::string Description;

    // Slots made so far (at most SlotCount).
    size_t SlotsMade() const { return Slots.size(); }
    // Bytes the ring keeps for the frames' calls and data, in use or not.
    size_t StorageBytes() const { return Storage.size(); }

private:
    // Where a frame's calls and data lie in Storage: CallFrom at At, CallTo
    // and the data ToAt and DataAt bytes after it (a received frame keeps
    // its call fields whole, ten bytes each).
    struct Slot {
        size_t At = 0;
        size_t FromSize = 0;
        size_t ToAt = 0;
        size_t ToSize = 0;
        size_t DataAt = 0;
        size_t DataSize = 0;
        int32_t DataLen = 0;
        uint8_t Port = 0;
        char Kind = 0;
    };
    // The slot after Index: a comparison, where the remainder by 513 was a
    // multiplication and shifts twice per frame.
    static int32_t following(int32_t Index) { return Index + 1 == SlotCount ? 0 : Index + 1; }
    // Room for Size more bytes at Used: the waiting frames are moved to the
    // front once the taken ones before them outweigh them, else the buffer grows.
    void makeRoom(size_t Size);
    // The slot at WriteIndex, with room for Size bytes at its At; then, once
    // they are written, the slot filed.
    Slot& openSlot(size_t Size);
    // Makes the slot at WriteIndex and room for Size bytes, where missing.
    void prepareSlot(size_t Size);
    void closeSlot(size_t Size, size_t DataSize);

    std::vector<Slot> Slots;
    std::vector<char> Storage;
    size_t Used = 0;
};

// The program's one client of the engine: sends the requests, cuts the
// received stream into frames, files them by port, parses monitor texts.
class TAGWPE {
public:
    static constexpr int32_t HeaderSize = 36;
    static constexpr int32_t MaxPorts = 128;
    // No engine sends more than a few KiB in one frame; a longer one is skipped
    // as it arrives instead of being buffered.
    static constexpr uint32_t MaxDataLen = 16u * 1024u * 1024u;

    explicit TAGWPE(const std::string& CallSign);

    // RequestedPorts above 1 serves that many ports (at most 128), each ring
    // created when first needed; 0 or 1 serves port index 0 alone. Always true.
    bool AttachSocket(AGWSocket* Socket, int32_t RequestedPorts);
    // Forgets the socket and any partly received frame; the rings stay. Always true.
    bool DetachSocket();
    // Registers CallSign ('X') and starts monitoring. Library use only: a
    // registered call makes the engine answer connect requests on the air.
    bool Register();
    bool Unregister();
    // Port list, capabilities and monitoring: everything a listener needs,
    // without registering a call. False without a socket.
    bool StartMonitoring();
    // Raw frames ('k', a toggle like 'm': sent once per connection): the
    // engine then passes on every heard frame as received ('K'), before its
    // monitor frame. Registers nothing, transmits nothing. False without a socket.
    bool AskRawFrames();
    // Asks for the port list again; every engine answers at once, and it
    // transmits nothing, so it tells whether the engine is still alive.
    bool AskPortInfo();
    bool SendFrame(uint8_t Port, char Kind, const std::string& CallFrom, const std::string& CallTo,
                   int32_t DataLen, const std::string& Data);
    // Appends Chunk and files every complete frame. When the ring of the next
    // frame is full, cutting stops there and resumes at the next call (an empty
    // Chunk will do) once frames have been taken. False when it stopped in the
    // middle of a frame, at a full ring, or right after discarding a frame.
    // Only what is left over of Chunk (a partial frame, or frames behind a
    // full ring) is copied; the rest is cut where it lies.
    bool ReceiveBytes(std::string_view Chunk);
    // Room for Size more received bytes, for a socket to read into: the
    // caller writes up to Size bytes there and hands them on with
    // ReceiveWritten, and they are cut where they lie, never copied. The room
    // holds until the next call that receives bytes, attaches or detaches.
    char* ReceiveSpace(size_t Size);
    // Cuts the Count bytes just written at ReceiveSpace (no more than were
    // asked for are taken); the return value as for ReceiveBytes.
    bool ReceiveWritten(size_t Count);
    // Takes the Count bytes just written at ReceiveSpace (no more than were
    // asked for) without cutting them: NextReceived hands their frames out.
    void ReceiveKept(size_t Count);
    // The next whole frame of a served port from the bytes received, as
    // views into them: not copied into its ring, but counted there. A frame
    // whose ring still holds frames is filed behind them instead, to keep
    // each port's order (drain the rings first). The views hold until the
    // next call that receives bytes, attaches or detaches. False when no
    // whole frame waits, or when its ring is full.
    bool NextReceived(AGWFrameView& Frame);
    // Bytes received and not yet cut into frames.
    size_t Waiting() const { return pending(); }
    // Port selects the ring on entry and holds the frame's port on return.
    bool NextFrame(uint8_t& Port, char& Kind, std::string& CallFrom, std::string& CallTo,
                   int32_t& DataLen, std::string& Data);
    // The next frame of ring Ring, as views valid until the next ReceiveBytes
    // or AttachSocket. False, and Frame empty, when none waits.
    bool NextFrame(uint8_t Ring, AGWFrameView& Frame);

    // False, and no exception, when a sequence number or a length the header
    // holds is not an integer; the fields read before it keep their values.
    // Reads the header line only, and of a text longer than any frame gives
    // no Info, so that a hostile text costs no more than a real one.
    // Header's text fields point into Text's bytes and hold while they do (a
    // temporary string is refused: it would leave them dangling).
    bool ParseMonitorHeader(std::string_view Text, MonitorHeader& Header);
    bool ParseMonitorHeader(std::string&& Text, MonitorHeader& Header) = delete;
    bool ParsePortInfo(uint8_t Port, const std::string& Text);
    bool ParsePortCapabilities(uint8_t Port, const std::string& Text);

    std::string CallSign;
    int32_t PortCount = 1;
    // The number of radio ports the engine's last port list counted; -1 before one came.
    int32_t ListedPorts = -1;
    std::array<std::unique_ptr<TAGWPort>, MaxPorts + 1> Ports;

private:
    // The ring of a port index that is served, created on first need when
    // create is set and several ports are served; null otherwise.
    TAGWPort* servedRing(uint8_t Port, bool create);
    bool served(uint8_t Port) const;
    size_t pending() const { return End - ReadPos; }
    // Cuts Bytes from its start, adding what it consumed to Used; the return
    // value as for ReceiveBytes.
    bool cutFrames(std::string_view Bytes, size_t& Used);

    AGWSocket* Socket = nullptr;
    // Received bytes not yet cut lie from ReadPos to End; the consumed front
    // is dropped only once it outweighs the rest, so cutting stays linear.
    // Never zeroed: a socket writes into it directly, and pages it never
    // wrote to cost no memory.
    std::unique_ptr<char[]> Received;
    size_t Capacity = 0;
    size_t ReadPos = 0;
    size_t End = 0;
    // Of the room last given out, what ReceiveWritten may take.
    size_t Offered = 0;
    // Data bytes still to pass over of a frame that is not filed.
    uint64_t SkipLeft = 0;
};
