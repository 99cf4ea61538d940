// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The meter's settings and their file, section METER of CHANLOAD.INI (or the
// file chosen on the command line).
#include <cstdint>
#include <string>

struct MeterSettings {
    std::string IpAddress;
    int32_t TcpPort = 0, AgwPort = 0, SampleMs = 0, ChannelBps = 0;
    std::string CallSign;
    // Preamble and tail of every transmission, for the airtime estimate. Not
    // in the Properties dialog: set in the file by hand, kept by every save.
    int32_t TxDelayMs = 300, TxTailMs = 100;
    // The keys are in the file; without them the meter learns each
    // transmitter's preamble and tail from the channel.
    bool TxDelaySet = false, TxTailSet = false;
    // A lost connection is tried again at every tick instead of ending the
    // program. Set in the file by hand; no save writes it.
    bool Reconnect = false;
    // "[ADDRESS:]PORT" of the Prometheus endpoint; empty for none. Set by hand.
    std::string Metrics = {};
};

namespace SettingsKey {
inline constexpr const char* Section = "METER";
inline constexpr const char* IpAddress = "IP_ADDRESS";
inline constexpr const char* TcpPort = "TCP_PORT";
// Written in this spelling; keys match without regard to case, so files
// holding AGW_PORT read the same.
inline constexpr const char* AgwPort = "AGW_Port";
inline constexpr const char* SampleMs = "SAMPLE";
inline constexpr const char* ChannelBps = "BW";
inline constexpr const char* CallSign = "CALLSIGN";
inline constexpr const char* TxDelayMs = "TXDELAY";
inline constexpr const char* TxTailMs = "TXTAIL";
inline constexpr const char* Reconnect = "RECONNECT";
inline constexpr const char* Metrics = "METRICS";
} // namespace SettingsKey

// Reads every key (defaults for missing ones), field by field in file order. A
// value that is not an integer throws EConvertError; the fields before it are
// already set, the others keep what they held.
void LoadSettings(MeterSettings& S);

// Writes the six keys of the Properties dialog in one replacement of the file;
// every other line stays as it was. A refused write throws EIniFileException.
// What the saved file then holds out of range is noted on standard error.
void SaveSettings(const MeterSettings& S);
