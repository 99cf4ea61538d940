// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "AGWUnit.h"
#include "ClientSocket.h"
#include "NotifyIcon.h"

#include <QTimer>

namespace {

QByteArray request(char kind, const QByteArray& call = {})
{
    return AgwFrame(0, kind, {}, call);
}

} // namespace

// A listener registers no call: a registered one makes the engine answer
// connect requests on the air.
TEST_F(MeterTest, ConnectSendsTheThreeStartRequestsByteForByteAndNoRegistration)
{
    StartConnected({{"CALLSIGN", "N0CALL-7"}});
    Settle(100);
    EXPECT_EQ(engine.received, request('G') + request('g') + request('m'));
    EXPECT_EQ(Status(), "Connected...");
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_FALSE(ConnectPending);
    EXPECT_TRUE(form->AGWPE->Active());
}

TEST_F(MeterTest, ConnectResetsTotalsAndHistoryButNotTheShownFigures)
{
    ASSERT_TRUE(engine.Listen());
    WriteIni({{"TCP_PORT", std::to_string(engine.Port())}});
    Start();
    SampleHistory.fill({5, 5});
    SetTotals(1, 2, 3);
    form->AvgLoad->setText("42%");
    ASSERT_TRUE(WaitFor([] { return EverConnected; }));
    EXPECT_EQ(Totals(), (std::vector<std::string>{"0", "0", "0"}));
    EXPECT_EQ(form->Usage->text(), "0");
    EXPECT_EQ(form->AvgLoad->text(), "42%");
    for (const SampleEntry& e : SampleHistory)
        EXPECT_EQ(e.Bytes + e.Datas, 0);
}

TEST_F(MeterTest, TwelveRefusedAttemptsEndTheProgramWithFailure)
{
    WriteIni({{"SAMPLE", "50"}});
    testing::internal::CaptureStderr();
    Start();
    ASSERT_TRUE(WaitFor([this] { return !endStatuses.empty(); }, 10000));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(endStatuses.front(), 1);
    EXPECT_EQ(RetriesLeft, 0);
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_FALSE(form->CheckTime->isActive());
    EXPECT_NE(err.find("127.0.0.1:" + ini["TCP_PORT"]), std::string::npos) << err;
    EXPECT_NE(err.find("12 attempts"), std::string::npos) << err;
}

TEST_F(MeterTest, FailedAttemptWaitsForTheNextTick)
{
    Start();
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 11; }));
    EXPECT_EQ(Status(), "Disconnected...");
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    EXPECT_FALSE(ConnectPending);
    EXPECT_TRUE(errorBoxes.isEmpty()) << "a cleared error is not reported";
    Settle(200);
    EXPECT_EQ(RetriesLeft, 11) << "no retry before the tick";

    form->CheckTimeTimer(form->CheckTime);
    EXPECT_TRUE(ConnectPending);
    EXPECT_EQ(Status(), "Disconnected......................");
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 10; }));
}

TEST_F(MeterTest, TickDuringAnAttemptStartsNoSecondOne)
{
    ASSERT_TRUE(engine.Listen());
    WriteIni({{"TCP_PORT", std::to_string(refusing.number())}});
    Start();
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 11; }));
    form->AGWPE->Port = engine.Port();
    form->CheckTimeTimer(form->CheckTime);
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_TRUE(WaitFor([] { return EverConnected; }));
    Settle(100);
    EXPECT_EQ(engine.Connections(), 1);
}

TEST_F(MeterTest, EngineStartedLateIsConnectedAtTheNextTickAndStartsMonitoring)
{
    WriteIni({{"TCP_PORT", std::to_string(refusing.number())}, {"CALLSIGN", "N0CALL"}});
    Start();
    ASSERT_TRUE(WaitFor([] { return RetriesLeft == 11; }));
    ASSERT_TRUE(engine.Listen(refusing));
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 3; }));
    EXPECT_EQ(engine.Frames()[0].kind, 'G');
    EXPECT_EQ(engine.Frames()[2].kind, 'm');
    EXPECT_EQ(RetriesLeft, 11);
    EXPECT_EQ(Status(), "Connected...");
    ASSERT_TRUE(SendMarker("Port1"));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected.......");
}

TEST_F(MeterTest, LostConnectionEndsTheProgramWithFailure)
{
    StartConnected();
    testing::internal::CaptureStderr();
    engine.Close();
    ASSERT_TRUE(WaitFor([this] { return !endStatuses.empty(); }));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(endStatuses.front(), 1);
    EXPECT_EQ(Status(), "Disconnected...");
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_EQ(RetriesLeft, 12);
    EXPECT_NE(err.find("lost"), std::string::npos) << err;
}

TEST_F(MeterTest, ExitWhileConnectedClosesWithoutUnregisteringAndEndsWithSuccess)
{
    StartConnected({{"CALLSIGN", "N0CALL-7"}});
    form->Exit1Click(form->Exit1);
    ASSERT_FALSE(endStatuses.empty());
    EXPECT_EQ(endStatuses.front(), 0);
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_FALSE(form->CheckTime->isActive());
    EXPECT_EQ(Status(), "Disconnected...");
    ASSERT_TRUE(WaitFor([this] { return engine.Connections() == 1 && !engine.Connected(); }));
    EXPECT_EQ(engine.Frames().size(), 3u);
}

TEST_F(MeterTest, ExitWhileDisconnectedSendsNothingAndEndsWithSuccess)
{
    Start();
    form->Exit1Click(form->Exit1);
    ASSERT_EQ(endStatuses.size(), 1u);
    EXPECT_EQ(endStatuses.front(), 0);
    EXPECT_FALSE(CurrentNotifyIcon());
}

TEST_F(MeterTest, SessionSendsOnlyRequestsThatNeverTransmit)
{
    StartConnected();
    engine.Send(UiFrame(1, 20) + AgwFrame(0, 'G', QByteArray("1;Port1 first soundcard mono;\0", 31)));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }));
    form->CheckTimeTimer(form->CheckTime);
    form->Exit1Click(form->Exit1);
    // G g m at the start, one G at the tick as a sign of life.
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 4; }));
    ASSERT_TRUE(WaitFor([this] { return !engine.Connected(); }));
    ASSERT_EQ(engine.received.size(), 4 * 36) << "requests carry no data";
    for (const WireFrame& f : engine.Frames()) {
        EXPECT_NE(QByteArray("Ggm").indexOf(f.kind), -1) << f.kind;
        EXPECT_EQ(f.port, 0);
        EXPECT_EQ(f.header.mid(1, 3), QByteArray(3, '\0'));
        EXPECT_EQ(f.header.at(5), '\0');
        EXPECT_EQ(f.header.at(6), '\0');
        EXPECT_EQ(f.header.at(7), '\0');
        EXPECT_EQ(f.header.mid(32, 4), QByteArray(4, '\0'));
    }
}

// A stopped engine keeps the connection and answers nothing; that must not
// look like a quiet channel.
TEST_F(MeterTest, EngineThatStopsAnsweringIsShownUntilItAnswersAgain)
{
    StartConnected();
    ASSERT_TRUE(SendMarker("Port1"));
    engine.answerPortList = false;
    form->CheckTimeTimer(form->CheckTime); // asks for the port list
    EXPECT_EQ(Status(), "Connected.......");
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 4; }));
    EXPECT_EQ(engine.Frames()[3].kind, 'G');

    // No answer to that request: the next tick says so, the figures go on.
    engine.Send(UiFrame(1, 20));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected, engine not answering");
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    EXPECT_NE(form->Usage->text(), "0");
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected, engine not answering");
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    EXPECT_EQ(engine.Frames().size(), 4u) << "one request out at a time";

    // The answer brings the load class and the status line back at once.
    ASSERT_TRUE(SendMarker("Port1 again"));
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_EQ(Status(), "Connected.......");
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected.......");
    EXPECT_EQ(TrayIcon(), "GAUGE1");
}

TEST_F(MeterTest, QuietPeriodWithAnswersStaysAnOrdinaryQuietPeriod)
{
    StartConnected();
    for (int tick = 0; tick < 3; ++tick) {
        ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
        form->CheckTimeTimer(form->CheckTime);
        EXPECT_EQ(Status(), "Connected.......");
        EXPECT_EQ(TrayIcon(), "GAUGE1");
        EXPECT_EQ(form->AvgLoad->text(), "0%");
    }
}

namespace {

// The periods the window evaluates, as the log and the history get them.
struct Recorded {
    explicit Recorded(TForm1* form)
    {
        QObject::connect(form, &TForm1::PeriodEvaluated, form, [this](const PeriodRecord& r) { records.push_back(r); });
    }
    std::vector<PeriodRecord> records;
};

} // namespace

// A period the meter could not see has its reason and no place among the ten
// periods behind efficiency and load, whichever way it went blind.
TEST_F(MeterTest, BlindPeriodsSayWhyAndLeaveTheTenPeriodRingAlone)
{
    StartConnected();
    form->CheckTime->setInterval(30000); // 3600 bytes a period at 1200 bit/s
    Recorded seen(form);
    const QByteArray oneChannel("1;Port1 first soundcard mono;Port2 INVALID CHANNEL;\0", 52);
    const auto tickAnswered = [this] {
        EXPECT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
        form->CheckTimeTimer(form->CheckTime);
    };

    // Measured: 1800 of 3600 bytes, into the ring.
    SetTotals(1, 1800, 1200);
    tickAnswered();
    ASSERT_EQ(seen.records.size(), 1u);
    EXPECT_EQ(seen.records[0].Engine, EngineState::Answering);
    EXPECT_EQ(SampleHistory[0].Bytes, 1800);

    // The engine stops answering: the request of the next tick stays open.
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    engine.answerPortList = false;
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_EQ(seen.records.size(), 2u);
    EXPECT_EQ(seen.records[1].Engine, EngineState::Answering) << "its request was answered";
    const SampleRing before = SampleHistory;
    SetTotals(1, 900, 0);
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(seen.records[2].Engine, EngineState::Silent);
    EXPECT_EQ(Status(), "Connected, engine not answering");
    EXPECT_EQ(form->Usage->text(), "25%") << "the window still shows what it counted";
    EXPECT_EQ(SampleHistory[0].Bytes, before[0].Bytes);
    EXPECT_EQ(SampleHistory[1].Bytes, before[1].Bytes);

    // It answers in the middle of the next period: that period was partly
    // blind, the one after it is seen whole.
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_TRUE(SendMarker("Port1 back"));
    EXPECT_EQ(Status(), "Connected.......");
    SetTotals(1, 360, 0);
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(seen.records[4].Engine, EngineState::Silent);
    engine.answerPortList = true;
    engine.Send(AgwFrame(0, 'G', oneChannel)); // answers the request of that tick
    SetTotals(1, 360, 0);
    tickAnswered();
    EXPECT_EQ(seen.records[5].Engine, EngineState::Answering);
    // The ring holds only the periods seen: 1800, 0 (the second tick), 360.
    EXPECT_EQ(SampleHistory[0].Bytes, 360);
    EXPECT_EQ(SampleHistory[1].Bytes, 0);
    EXPECT_EQ(SampleHistory[2].Bytes, 1800);
    // (1800 + 360) of 10 * 3600 bytes.
    EXPECT_EQ(form->AvgLoad->text(), "6%");
    for (const PeriodRecord& r : seen.records)
        EXPECT_EQ(CsvLine(r).find(",,,,") != std::string::npos, r.Engine != EngineState::Answering) << CsvLine(r);
}

TEST_F(MeterTest, RadioPortTheEngineHasNotIsShownAndLeftOutOfTheFigures)
{
    StartConnected({{"AGW_Port", "2"}});
    Recorded seen(form);
    // Dire Wolf lists six slots but counts only the channels it has.
    engine.Send(AgwFrame(0, 'G', QByteArray("1;Port1 first soundcard mono;Port2 INVALID CHANNEL;Port3 INVALID CHANNEL;\0", 75)));
    ASSERT_TRUE(WaitFor([this] { return Status() == "Connected, no radio port 2 on this engine"; }));
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    SampleHistory[0] = {700, 70};
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected, no radio port 2 on this engine");
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    ASSERT_EQ(seen.records.size(), 1u);
    EXPECT_EQ(seen.records[0].Engine, EngineState::NoPort);
    EXPECT_EQ(SampleHistory[0].Bytes, 700);

    // Port 1 chosen in Properties: measured from the next period on.
    form->PortMon->setText("1");
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected.......");
    EXPECT_EQ(seen.records[1].Engine, EngineState::Answering);
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_EQ(SampleHistory[1].Bytes, 700);
}

// Port lists nobody asked for answer nothing: they neither stand in for the
// answer to the next request nor keep a stopped engine looking alive.
TEST_F(MeterTest, PortListsThatAnswerNoRequestProveNothing)
{
    StartConnected();
    Recorded seen(form);
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    engine.answerPortList = false;
    ASSERT_TRUE(SendMarker("unasked"));
    ASSERT_TRUE(SendMarker("unasked again"));
    form->CheckTimeTimer(form->CheckTime); // a request that no one answers
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_EQ(seen.records.size(), 2u);
    EXPECT_EQ(seen.records[1].Engine, EngineState::Silent);
    EXPECT_EQ(Status(), "Connected, engine not answering");
}

TEST_F(MeterTest, WithReconnectALostConnectionIsTriedAgainAtEveryTickWithoutLimit)
{
    StartConnected({{"RECONNECT", "1"}});
    Recorded seen(form);
    engine.Send(UiFrame(1, 20));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }));
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);

    // The engine goes away, and for longer than twelve attempts.
    form->AGWPE->Port = refusing.number();
    engine.Close();
    ASSERT_TRUE(WaitFor([this] { return Status() == "Disconnected..."; }));
    EXPECT_EQ(TrayIcon(), "GAUGEX");
    for (int tick = 0; tick < 15; ++tick) {
        form->CheckTimeTimer(form->CheckTime);
        EXPECT_EQ(Status(), "Disconnected......................");
        EXPECT_EQ(TrayIcon(), "GAUGEX") << "no load class for a channel not seen";
        ASSERT_TRUE(WaitFor([] { return !ConnectPending; })) << tick;
    }
    EXPECT_TRUE(endStatuses.empty());
    EXPECT_EQ(RetriesLeft, 12) << "the attempts before the first connection are another matter";

    // Back: connected at the next tick, counting afresh.
    form->AGWPE->Port = engine.Port();
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_TRUE(WaitFor([this] { return engine.Connections() == 2 && Status() == "Connected..."; }));
    engine.Send(UiFrame(1, 30) + UiFrame(1, 5));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "2"; }));
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(Status(), "Connected.......");
    EXPECT_EQ(TrayIcon(), "GAUGE1");

    ASSERT_EQ(seen.records.size(), 1u + 15u + 1u + 1u);
    EXPECT_EQ(seen.records.front().Engine, EngineState::Answering);
    EXPECT_EQ(seen.records.front().Bytes, 20 + 19);
    for (size_t i = 1; i <= 16; ++i)
        EXPECT_EQ(seen.records[i].Engine, EngineState::Disconnected) << i;
    const PeriodRecord& back = seen.records.back();
    EXPECT_EQ(back.Engine, EngineState::Answering);
    EXPECT_EQ(back.Frames, 2);
    EXPECT_EQ(back.Bytes, 30 + 19 + 5 + 19);
    EXPECT_EQ(back.Datas, 35);
    EXPECT_TRUE(endStatuses.empty());
}
