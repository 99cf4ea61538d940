// SPDX-License-Identifier: GPL-3.0-or-later
// Counting the monitored frames into the window's totals, turning a period's
// totals into figures at every tick, and the tray icon that follows the load.
// The arithmetic lives in the figures unit; this file reads and writes labels.
#include "meter.h"

#include "AGWUnit.h"
#include "ClientSocket.h"
#include "CountedFrame.h"
#include "FrameAmounts.h"
#include "Gauge.h"
#include "LabelText.h"
#include "TextRoutines.h"

#include <QDateTime>
#include <QMetaMethod>
#include <QProgressBar>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>

void TForm1::changeIcon(const char* Name)
{
    TrayIconRecord.uFlags = NIF_ICON;
    TrayIconRecord.Icon = Name;
    Shell_NotifyIcon(NIM_MODIFY, TrayIconRecord);
}

// What one read event needs of the window, read from its labels once, and the
// period's totals kept as integers while its frames are counted. Written back
// when the event ends, however it ends (an exception included), so that the
// labels hold the period's totals whenever the event loop runs. A label is
// read when the first frame needs it, as counting frame by frame would:
// a label that holds no number stops the event at the same frame.
struct ReadBatch {
    explicit ReadBatch(TForm1& Form)
        : form(Form)
    {
    }
    ReadBatch(const ReadBatch&) = delete;
    ReadBatch& operator=(const ReadBatch&) = delete;
    ~ReadBatch()
    {
        if (frames)
            SetLabelValue(form.Frames, *frames);
        if (bytes)
            SetLabelValue(form.Bytes, *bytes);
        if (datas)
            SetLabelValue(form.Datas, *datas);
    }

    void Count(const FrameAmounts& Add)
    {
        frames = AddToTotal(frames ? *frames : LabelValue(form.Frames), Add.Frames);
        bytes = AddToTotal(bytes ? *bytes : LabelValue(form.Bytes), Add.Bytes);
        datas = AddToTotal(datas ? *datas : LabelValue(form.Datas), Add.Datas);
    }
    int64_t Rate()
    {
        if (!rate)
            rate = LabelValue(form.BW);
        return *rate;
    }
    const std::string& PortText()
    {
        if (!portText)
            portText = BytesOf(form.PortMon->text());
        return *portText;
    }
    // Whether a monitor text is of the monitored radio port. The frames of
    // one read nearly all begin as one of the last two before them: the same
    // few bytes before ':' are the same port, looked at as one word, without
    // reading their digits again.
    bool OnPort(std::string_view Text)
    {
        for (const SeenPort& seen : seenPorts)
            if (seen.Size > 0 && Text.size() >= sizeof(uint64_t) && Text.size() > seen.Size &&
                Text[seen.Size] == ':' && (leadingWord(Text) & seen.Mask) == seen.Bytes)
                return seen.Monitored;
        return readPort(Text);
    }
    int32_t Port()
    {
        if (!port)
            port = LabelValue(form.PortMon);
        return *port;
    }
    // Every frame of one read arrived at the same moment.
    int64_t NowMs()
    {
        if (!nowMs)
            nowMs = QDateTime::currentMSecsSinceEpoch();
        return *nowMs;
    }

    // Reused from frame to frame, and so are its buffers.
    MonitorHeader Header;
    // Whether the metrics take frames: nothing connects to the signal while a
    // read is handled, so it is asked once per read, not per frame.
    bool ToMetrics = false;

private:
    TForm1& form;
    std::optional<int64_t> frames, bytes, datas, rate, nowMs;
    std::optional<int32_t> port;
    // A port text seen lately, up to seven bytes without a line end (a
    // longer text's port is read within its first line alone), and whether
    // it is the monitored port's.
    struct SeenPort {
        uint64_t Bytes = 0, Mask = 0;
        size_t Size = 0;
        bool Monitored = false;
    };
    static uint64_t leadingWord(std::string_view Text)
    {
        uint64_t word = 0;
        std::memcpy(&word, Text.data(), sizeof word);
        return word;
    }
    bool readPort(std::string_view Text)
    {
        const std::string_view port = MonitorPortText(Text);
        const bool monitored = SameDigits(port, PortText());
        if (port.size() >= 1 && port.size() < sizeof(uint64_t) && port.find('\r') == std::string_view::npos &&
            Text.size() >= sizeof(uint64_t)) {
            SeenPort& seen = seenPorts[nextSeen];
            nextSeen = 1 - nextSeen;
            // The word's first bytes, whatever the byte order.
            seen.Mask = 0;
            std::memset(&seen.Mask, 0xFF, port.size());
            seen.Bytes = leadingWord(Text) & seen.Mask;
            seen.Size = port.size();
            seen.Monitored = monitored;
        }
        return monitored;
    }

    std::optional<std::string> portText;
    std::array<SeenPort, 2> seenPorts{};
    size_t nextSeen = 0;
};

void TForm1::AGWPERead(QObject* /*Sender*/, TClientSocket* Socket)
{
    // Every frame of this read arrived now; they say nothing about their spacing.
    ReadArrivalUs = ArrivalClock.nsecsElapsed() / 1000;
    ++ReadCount;
    ReadBatch batch(*this);
    static const QMetaMethod toMetrics = QMetaMethod::fromSignal(&TForm1::FrameCounted);
    batch.ToMetrics = isSignalConnected(toMetrics);
    // A chunk at a time, so that a burst never sits whole in memory, read
    // straight into the buffer the frames are cut from.
    constexpr qint64 chunk = TClientSocket::ChunkSize;
    for (;;) {
        const qint64 got = Socket->ReceiveInto(AGWClient->ReceiveSpace(chunk), chunk);
        if (got == 0)
            break;
        AGWClient->ReceiveKept(static_cast<size_t>(got));
        // Handled where they arrived, never filed: only what a ring still
        // holds (nothing, unless bytes were cut into rings before) goes first.
        drainRings(batch);
        AGWFrameView frame;
        while (AGWClient->NextReceived(frame))
            handleFrame(batch, frame.Port, frame.Kind, frame.Data);
    }
}

int TForm1::drainRings(ReadBatch& Batch)
{
    int taken = 0;
    // The frame's bytes stay in its ring until the next cut, which comes
    // only after this loop: handled where they lie, never copied out.
    AGWFrameView frame;
    for (int index = 0; index < AGWClient->PortCount; ++index) {
        if (!AGWClient->Ports[index])
            continue;
        while (AGWClient->NextFrame(static_cast<uint8_t>(index), frame)) {
            ++taken;
            handleFrame(Batch, frame.Port, frame.Kind, frame.Data);
        }
    }
    return taken;
}

void TForm1::handleFrame(ReadBatch& Batch, uint8_t Port, char Kind, std::string_view Data)
{
    if (IsMonitoredKind(Kind)) {
        // Frames of the other radio ports are not read any further.
        if (!Batch.OnPort(Data))
            return;
        MonitorHeader& header = Batch.Header;
        // An unreadable header is the peer's fault: skip the frame, no box.
        if (!AGWClient->ParseMonitorHeader(Data, header))
            return;
        const FrameAmounts add = MonitoredFrameAmounts(header);
        Batch.Count(add);
        const CountedFrame counted = Origins.Describe(Port, Kind, header, Data);
        const int64_t rate = Batch.Rate();
        Preambles.Observe(counted, rate, ReadArrivalUs, ReadCount);
        AirtimeTotals air{counted.AirBits, 1};
        // Preamble and tail of this transmission. Keys in the settings file
        // win over what was learned; with neither, TXDELAY/TXTAIL's defaults.
        int64_t keyingMs = int64_t{Settings.TxDelayMs} + Settings.TxTailMs;
        if (!Settings.TxDelaySet || !Settings.TxTailSet) {
            if (const auto keying = Preambles.For(counted); keying.Learned) {
                keyingMs = (Settings.TxDelaySet ? Settings.TxDelayMs : keying.PreambleMs) +
                    (Settings.TxTailSet ? Settings.TxTailMs : keying.TailMs);
                air.KeyedMs = keyingMs;
                air.KeyedTransmissions = 1;
                MeasuredThisPeriod = true;
            }
        }
        if (counted.Own) {
            OwnAir += air;
        } else {
            HeardAir += air;
        }
        Tally.Add(StationFrameOf(counted, header, Batch.NowMs(),
                                 FrameAirMicros(counted.AirBits, rate, keyingMs, 0)));
        if (Batch.ToMetrics)
            emit FrameCounted({Batch.Port(), counted.Own, add, FrameAirNanoseconds(counted.AirBits, rate, keyingMs)});
        return;
    }
    // A raw frame names the digipeater that repeated the monitored frame after it.
    if (Kind == 'K') {
        Origins.TakeRaw(Port, Data);
        return;
    }
    if (Kind == 'G') {
        AGWClient->ParsePortInfo(Port, std::string(Data));
        portListAnswered();
    }
    else if (Kind == 'g')
        AGWClient->ParsePortCapabilities(Port, std::string(Data));
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
    record.MeasuredPreambles = MeasuredThisPeriod && record.HasFigures();
    reportEngineState(state);

    SetLabelText(AvgLoad, Latin1(IntToStr(figures->Load) + "%"));
    SetLabelText(Usage, Latin1(IntToStr(figures->Usage) + "%"));
    Gauge->setValue(static_cast<int>(
        std::clamp<int64_t>(figures->Efficiency, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
    // The bar ignores values outside its range; a negative usage shows as empty.
    Traffic->setValue(static_cast<int>(std::max<int64_t>(figures->Usage, 0)));
    showLoadClass(figures->LoadClass);

    for (QLabel* total : {Frames, Bytes, Datas})
        total->setText(QStringLiteral("0"));
    HeardAir = {};
    OwnAir = {};
    MeasuredThisPeriod = false;
    reportLearnedPreambles();

    Periods.Add(record);
    // Beside the record: the store writes the period's stations with it.
    Tally.ClosePeriod(record.Time);
    emit PeriodEvaluated(record);
}

void TForm1::reportLearnedPreambles()
{
    for (const PreambleEstimator::Learned& l : Preambles.TakeNewlyStable()) {
        if (!Verbose)
            continue;
        if (l.Own) {
            const std::string call = Origins.OwnCall().empty() ? std::string("this station") : Origins.OwnCall();
            std::fprintf(stderr, "chanload: preamble learned: %s (own) %lld ms with its tail, from %lld gaps\n",
                         call.c_str(), static_cast<long long>(l.PreambleMs), static_cast<long long>(l.Gaps));
        } else if (l.TailKnown) {
            std::fprintf(stderr, "chanload: preamble learned: %s %lld ms, tail %lld ms, from %lld gaps\n",
                         l.Transmitter.c_str(), static_cast<long long>(l.PreambleMs),
                         static_cast<long long>(l.TailMs), static_cast<long long>(l.Gaps));
        } else {
            std::fprintf(stderr, "chanload: preamble learned: %s %lld ms with the tail before it, from %lld gaps\n",
                         l.Transmitter.c_str(), static_cast<long long>(l.PreambleMs), static_cast<long long>(l.Gaps));
        }
    }
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
        // Before the first connection the load class shows, as it always has;
        // a connection lost and being tried again is shown as lost.
        const bool blind = AGWPE->Active() ? EngineSilent || noRadioPort() : EverConnected;
        TrayIconRecord.Icon = blind ? "GAUGEX" : "GAUGE" + std::to_string(Class);
        ImageBar->setPixmap(loadClassPicture(Class));
        ImageBar->setAccessibleDescription(QStringLiteral("%1 of 4").arg(Class));
    }
    Shell_NotifyIcon(NIM_MODIFY, TrayIconRecord);
}
