// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How long the channel carried a signal: every frame as the HDLC bits a TNC
// puts on the air, plus the preamble and tail of its transmission.
#include <cstdint>
#include <string_view>

struct MonitorHeader;

// What a period's frames kept the channel busy with.
// Sums stop at the largest value instead of overflowing.
struct AirtimeTotals {
    int64_t Bits = 0;          // HDLC bits of the frames, stuffing and closing flag included
    int64_t Transmissions = 0; // each with its own preamble and tail
    // Of those transmissions, the ones whose preamble and tail are known on
    // their own (learned from the channel), and those preambles and tails in
    // milliseconds; the others take TXDELAY and TXTAIL.
    int64_t KeyedMs = 0;
    int64_t KeyedTransmissions = 0;

    AirtimeTotals& operator+=(const AirtimeTotals& Other);
};

// A + B, held at the largest or smallest 64-bit value instead of overflowing.
int64_t SaturatingAdd(int64_t A, int64_t B);

// Bits of the frame a monitor text describes: 7 address bytes for the
// destination, the source and each digipeater named, the control byte (two
// for modulo-128 frames), the PID of I and UI frames, the information and
// the 2 FCS bytes, all bit-stuffed, then the closing flag. Data is the whole
// data part of the monitored frame.
int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data);
// The same, for callers that hold the information it shows already
// (MonitorInformation of Data).
int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown);
// The same, as sent with the H bit of the first Repeated digipeaters set,
// whatever '*' the text shows: for a digipeat the station sends itself.
int64_t FrameAirBits(const MonitorHeader& Header, std::string_view Data, std::string_view Shown, size_t Repeated);

// Bits of a frame given as its raw bytes, addresses to information, without
// the FCS (as an engine passes on a raw frame): FCS, stuffing and closing flag
// added, all exact.
int64_t RawFrameAirBits(std::string_view Frame);

// Busy seconds over the period as a whole percentage, truncated and at most
// 100. No figure (0) when the bit rate is not positive.
int64_t AirtimePercent(const AirtimeTotals& Totals, int64_t BitRate, int64_t TxDelayMs, int64_t TxTailMs,
                       int64_t TimerMs);
