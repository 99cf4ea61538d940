// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterSettings.h"

#include "Convert.h"
#include "PrivateProfile.h"
#include "SettingsCheck.h"

namespace {

std::string read(const char* Key, const char* Default)
{
    return GetPrivateProfileString(SettingsKey::Section, Key, Default);
}

} // namespace

void LoadSettings(MeterSettings& S)
{
    namespace K = SettingsKey;
    S.IpAddress = read(K::IpAddress, "127.0.0.1");
    S.TcpPort = StrToInt(read(K::TcpPort, "8000"));
    S.AgwPort = StrToInt(read(K::AgwPort, "1"));
    S.SampleMs = StrToInt(read(K::SampleMs, "30000"));
    S.ChannelBps = StrToInt(read(K::ChannelBps, "1200"));
    S.CallSign = read(K::CallSign, "NOBODY-2");
    const std::string txDelay = read(K::TxDelayMs, "");
    S.TxDelaySet = !txDelay.empty();
    S.TxDelayMs = StrToInt(S.TxDelaySet ? txDelay : "300");
    const std::string txTail = read(K::TxTailMs, "");
    S.TxTailSet = !txTail.empty();
    S.TxTailMs = StrToInt(S.TxTailSet ? txTail : "100");
    S.Reconnect = StrToInt(read(K::Reconnect, "0")) != 0;
    S.Metrics = read(K::Metrics, "");
}

void SaveSettings(const MeterSettings& S)
{
    namespace K = SettingsKey;
    WritePrivateProfileStrings(K::Section, {
        {K::IpAddress, S.IpAddress},
        {K::TcpPort, IntToStr(S.TcpPort)},
        {K::AgwPort, IntToStr(S.AgwPort)},
        {K::SampleMs, IntToStr(S.SampleMs)},
        {K::ChannelBps, IntToStr(S.ChannelBps)},
        {K::CallSign, S.CallSign},
    });
    // What was saved is checked like what is read at start.
    NoteSettingsProblems(CheckSettingsFile());
}
