#include "Airtime.h"

#include "AGWUnit.h"
#include "FrameAmounts.h"
#include "PeriodFigures.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace {

constexpr int64_t AddressBytes = 7;
constexpr int64_t FcsBytes = 2;
constexpr int64_t FlagBits = 8;

// HDLC inserts a 0 after five 1s in a row, counted over the bits as sent,
// least significant bit of each byte first.
class StuffingCounter {
public:
    void Add(uint8_t Byte)
    {
        for (int bit = 0; bit < 8; ++bit) {
            if ((Byte >> bit) & 1) {
                if (++ones == 5) {
                    ++stuffed;
                    ones = 0;
                }
            } else {
                ones = 0;
            }
        }
    }
    int64_t Stuffed() const { return stuffed; }

private:
    int ones = 0;
    int64_t stuffed = 0;
};

// An AX.25 address field: six characters shifted left by one, blank-padded,
// then the SSID byte.
void addAddress(StuffingCounter& Counter, std::string_view Call, bool Last)
{
    const size_t dash = Call.find('-');
    std::string_view base = Call.substr(0, std::min<size_t>(dash, 6));
    int ssid = 0;
    if (dash != std::string_view::npos) {
        for (char c : Call.substr(dash + 1)) {
            if (c < '0' || c > '9')
                break;
            ssid = ssid * 10 + (c - '0');
        }
    }
    for (size_t i = 0; i < 6; ++i)
        Counter.Add(static_cast<uint8_t>((i < base.size() ? static_cast<unsigned char>(base[i]) : ' ') << 1));
    Counter.Add(static_cast<uint8_t>(0x60 | ((ssid & 0x0f) << 1) | (Last ? 1 : 0)));
}

// Sequence numbers above 7 only exist in modulo-128 links.
bool modulo128(const MonitorHeader& Header)
{
    return Header.RecvSeq > 7 || Header.SendSeq > 7 || Header.FrameType == "SABME";
}

} // namespace

int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data)
{
    const bool carriesPid = Header.FrameType == "I" || Header.FrameType == "UI";
    const bool twoControl = Header.FrameType != "UI" && Header.FrameType != "SABME" && modulo128(Header);
    const int64_t info = MonitoredFrameAmounts(Header, Data).Datas;

    StuffingCounter counter;
    addAddress(counter, Header.Destination, false);
    addAddress(counter, Header.Source, Header.Via.empty());
    for (size_t i = 0; i < Header.Via.size(); ++i) {
        std::string call = Header.Via[i];
        // Dire Wolf marks a digipeater that has repeated the frame with '*'.
        if (!call.empty() && call.back() == '*')
            call.pop_back();
        addAddress(counter, call, i + 1 == Header.Via.size());
    }

    const std::string_view shown = MonitorInformation(Data);
    const bool infoKnown = static_cast<int64_t>(shown.size()) == info;
    if (infoKnown)
        for (char c : shown)
            counter.Add(static_cast<uint8_t>(c));

    // Control, PID, checksum and information not seen byte for byte: random
    // bits need one stuffed bit in 62 on average.
    const int64_t unseenBytes = (twoControl ? 2 : 1) + (carriesPid ? 1 : 0) + FcsBytes + (infoKnown ? 0 : info);
    const int64_t bytes = AddressBytes * (2 + static_cast<int64_t>(Header.Via.size())) + (twoControl ? 2 : 1) +
        (carriesPid ? 1 : 0) + info + FcsBytes;
    return bytes * 8 + counter.Stuffed() + (unseenBytes * 8) / 62 + FlagBits;
}

int64_t AirtimePercent(const AirtimeTotals& Totals, int64_t BitRate, int64_t TxDelayMs, int64_t TxTailMs,
                       int64_t TimerMs)
{
    if (BitRate <= 0)
        return 0;
    const long double busy = static_cast<long double>(Totals.Bits) / static_cast<long double>(BitRate) +
        static_cast<long double>(Totals.Transmissions) * static_cast<long double>(TxDelayMs + TxTailMs) / 1000.0L;
    const long double period = static_cast<long double>(EffectivePeriodMs(TimerMs)) / 1000.0L;
    return std::clamp<int64_t>(static_cast<int64_t>(std::trunc(busy * 100.0L / period)), 0, 100);
}
