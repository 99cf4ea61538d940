// SPDX-License-Identifier: GPL-3.0-or-later
// Counting the monitored frames into the window's totals, turning a period's
// totals into figures at every tick, and the tray icon that follows the load.
// The arithmetic lives in the figures unit; this file reads and writes labels.
#include "meter.h"

#include "AGWUnit.h"
#include "ClientSocket.h"
#include "FrameAmounts.h"
#include "Gauge.h"
#include "LabelText.h"
#include "TextRoutines.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <limits>

void TForm1::changeIcon(const char* Name)
{
    TrayIconRecord.uFlags = NIF_ICON;
    TrayIconRecord.Icon = Name;
    Shell_NotifyIcon(NIM_MODIFY, TrayIconRecord);
}

void TForm1::AGWPERead(QObject* /*Sender*/, TClientSocket* Socket)
{
    AGWClient->ReceiveBytes(Socket->ReceiveText());
    // A full ring stops the cutting; whatever waits is cut once the rings are drained.
    while (drainRings() > 0)
        AGWClient->ReceiveBytes(std::string());
}

int TForm1::drainRings()
{
    int taken = 0;
    char Kind = '\0';
    std::string CallFrom, CallTo, Data;
    int32_t DataLen = 0;
    for (int index = 0; index < AGWClient->PortCount; ++index) {
        if (!AGWClient->Ports[index])
            continue;
        uint8_t Port = static_cast<uint8_t>(index);
        while (AGWClient->NextFrame(Port, Kind, CallFrom, CallTo, DataLen, Data)) {
            ++taken;
            handleFrame(Port, Kind, Data);
            Port = static_cast<uint8_t>(index);
        }
    }
    return taken;
}

void TForm1::handleFrame(uint8_t Port, char Kind, const std::string& Data)
{
    if (IsMonitoredKind(Kind)) {
        MonitorHeader header;
        // An unreadable header is the peer's fault: skip the frame, no box.
        if (!AGWClient->ParseMonitorHeader(Data, header))
            return;
        if (DigitsOnly(header.PortText) != BytesOf(PortMon->text()))
            return;
        const FrameAmounts add = MonitoredFrameAmounts(header, Data);
        // Each label is written before the next is read.
        SetLabelValue(Frames, AddToTotal(LabelValue(Frames), add.Frames));
        SetLabelValue(Bytes, AddToTotal(LabelValue(Bytes), add.Bytes));
        SetLabelValue(Datas, AddToTotal(LabelValue(Datas), add.Datas));
        const AirtimeTotals air{FrameAirBits(header, Data), 1};
        if (IsOwnTransmission(Kind)) {
            OwnAir += air;
        } else {
            HeardAir += air;
        }
        static const QMetaMethod counted = QMetaMethod::fromSignal(&TForm1::FrameCounted);
        if (isSignalConnected(counted))
            emit FrameCounted({LabelValue(PortMon), IsOwnTransmission(Kind), add,
                               FrameAirNanoseconds(air.Bits, LabelValue(BW), Settings.TxDelayMs, Settings.TxTailMs)});
        return;
    }
    if (Kind == 'G') {
        AGWClient->ParsePortInfo(Port, Data);
        portListAnswered();
    }
    else if (Kind == 'g')
        AGWClient->ParsePortCapabilities(Port, Data);
}

void TForm1::evaluate()
{
    const int32_t rate = LabelValue(BW);
    EngineState state = engineState();
    if (state == EngineState::Answering && PeriodStartedSilent)
        state = EngineState::Silent;
    // A period the meter was blind in still shows its figures in the window,
    // but stays out of the ten periods behind efficiency and load: as zeros it
    // would lower them for ten periods, as a quiet channel would.
    SampleRing unseen = SampleHistory;
    const auto figures = EvaluatePeriod(CheckTime->interval(), rate, LabelValue(Bytes), LabelValue(Datas),
                                        state == EngineState::Answering ? SampleHistory : unseen);
    if (!figures) {
        // The totals go on into the next period, and so does its blindness.
        PeriodStartedSilent = PeriodStartedSilent || EngineSilent;
        return;
    }
    PeriodStartedSilent = EngineSilent;

    AirtimeTotals allAir = HeardAir;
    allAir += OwnAir;
    const auto airtime = [&](const AirtimeTotals& air) {
        return AirtimePercent(air, rate, Settings.TxDelayMs, Settings.TxTailMs, CheckTime->interval());
    };
    PeriodRecord record =
        MakePeriodRecord(QDateTime::currentSecsSinceEpoch(), LabelValue(PortMon), LabelValue(Frames),
                         LabelValue(Bytes), LabelValue(Datas), *figures, airtime(allAir), airtime(OwnAir));
    record.Engine = state;
    reportEngineState(state);

    AvgLoad->setText(Latin1(IntToStr(figures->Load) + "%"));
    Usage->setText(Latin1(IntToStr(figures->Usage) + "%"));
    Gauge->setValue(static_cast<int>(
        std::clamp<int64_t>(figures->Efficiency, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
    // The bar ignores values outside its range; a negative usage shows as empty.
    Traffic->setValue(static_cast<int>(std::max<int64_t>(figures->Usage, 0)));
    showLoadClass(figures->LoadClass);

    for (QLabel* total : {Frames, Bytes, Datas})
        total->setText(QStringLiteral("0"));
    HeardAir = {};
    OwnAir = {};

    Periods.Add(record);
    emit PeriodEvaluated(record);
}

// Sent at every evaluation, even unchanged; a negative load (class 0) keeps
// the icon and the picture that were shown. While the engine does not answer,
// has not the radio port, or was lost and is being tried again, the icon says
// so instead of showing a load it cannot vouch for.
void TForm1::showLoadClass(int Class)
{
    TrayIconRecord.uFlags = NIF_ICON;
    if (Class > 0) {
        LoadClass = Class;
        QLabel* const pictures[] = {Image1, Image2, Image3, Image4};
        // Before the first connection the load class shows, as it always has;
        // a connection lost and being tried again is shown as lost.
        const bool blind = AGWPE->Active() ? EngineSilent || noRadioPort() : EverConnected;
        TrayIconRecord.Icon = blind ? "GAUGEX" : "GAUGE" + std::to_string(Class);
        ImageBar->setPixmap(pictures[Class - 1]->pixmap());
        ImageBar->setAccessibleDescription(QStringLiteral("%1 of 4").arg(Class));
    }
    Shell_NotifyIcon(NIM_MODIFY, TrayIconRecord);
}
