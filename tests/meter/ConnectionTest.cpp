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
TEST_F(MeterTest, ConnectSendsTheFourStartRequestsByteForByteAndNoRegistration)
{
    StartConnected({{"CALLSIGN", "N0CALL-7"}});
    Settle(100);
    EXPECT_EQ(engine.received, request('G') + request('g') + request('m') + request('k'));
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
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 4; }));
    EXPECT_EQ(engine.Frames()[0].kind, 'G');
    EXPECT_EQ(engine.Frames()[2].kind, 'm');
    EXPECT_EQ(engine.Frames()[3].kind, 'k');
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
    EXPECT_EQ(engine.Frames().size(), 4u);
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
    // G g m k at the start, one G at the tick as a sign of life.
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 5; }));
    ASSERT_TRUE(WaitFor([this] { return !engine.Connected(); }));
    ASSERT_EQ(engine.received.size(), 5 * 36) << "requests carry no data";
    for (const WireFrame& f : engine.Frames()) {
        EXPECT_NE(QByteArray("Ggmk").indexOf(f.kind), -1) << f.kind;
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
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() == 5; }));
    EXPECT_EQ(engine.Frames()[4].kind, 'G');

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
    EXPECT_EQ(engine.Frames().size(), 5u) << "one request out at a time";

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

// A blind period says why and stays out of the ten periods behind efficiency
// and load; a headless run says each change once on standard error.
TEST_F(MeterTest, BlindPeriodsSayWhyAndLeaveTheTenPeriodRingAlone)
{
    ASSERT_TRUE(engine.Listen());
    WriteIni({{"TCP_PORT", std::to_string(engine.Port())}});
    form = new TForm1(nullptr, true);
    ASSERT_TRUE(WaitFor([] { return EverConnected; }));
    form->CheckTime->setInterval(30000); // 3600 bytes a period at 1200 bit/s
    std::vector<EngineState> states;
    QObject::connect(form, &TForm1::PeriodEvaluated, form, [&](const PeriodRecord& r) { states.push_back(r.Engine); });
    const auto tick = [this](int bytes, bool answered) {
        if (answered) {
            ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
        }
        SetTotals(1, bytes, 0);
        form->CheckTimeTimer(form->CheckTime);
    };
    testing::internal::CaptureStderr();
    tick(1800, true);
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    engine.answerPortList = false;
    tick(0, false);   // its request goes unanswered
    tick(900, false); // blind: shown in the window, kept out of the ring
    EXPECT_EQ(Status(), "Connected, engine not answering");
    EXPECT_EQ(form->Usage->text(), "25%");
    ASSERT_TRUE(SendMarker("back")); // in the middle of the next period
    tick(360, false);                // partly blind
    ASSERT_TRUE(SendMarker("Port1")); // answers that tick's request
    tick(360, true);
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(states, (std::vector<EngineState>{EngineState::Answering, EngineState::Answering, EngineState::Silent,
                                                EngineState::Silent, EngineState::Answering}));
    // The ring holds the periods seen: 360, 0, 1800 of 10 * 3600 bytes.
    EXPECT_EQ(SampleHistory[0].Bytes, 360);
    EXPECT_EQ(SampleHistory[1].Bytes, 0);
    EXPECT_EQ(SampleHistory[2].Bytes, 1800);
    EXPECT_EQ(form->AvgLoad->text(), "6%");
    const std::string where = "the engine at 127.0.0.1:" + std::to_string(engine.Port());
    EXPECT_EQ(err, "chanload: " + where + " is not answering\nchanload: " + where + " is answering\n");
}

TEST_F(MeterTest, WithReconnectALostConnectionIsTriedAgainAtEveryTickWithoutLimit)
{
    StartConnected({{"RECONNECT", "1"}});
    std::vector<PeriodRecord> seen;
    QObject::connect(form, &TForm1::PeriodEvaluated, form, [&](const PeriodRecord& r) { seen.push_back(r); });
    // Gone for longer than twelve attempts.
    form->AGWPE->Port = refusing.number();
    engine.Close();
    ASSERT_TRUE(WaitFor([this] { return Status() == "Disconnected..."; }));
    for (int tick = 0; tick < 15; ++tick) {
        form->CheckTimeTimer(form->CheckTime);
        EXPECT_EQ(TrayIcon(), "GAUGEX");
        ASSERT_TRUE(WaitFor([] { return !ConnectPending; })) << tick;
    }
    EXPECT_TRUE(endStatuses.empty());
    EXPECT_EQ(RetriesLeft, 12);

    // Back at the next tick, counting afresh.
    form->AGWPE->Port = engine.Port();
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_TRUE(WaitFor([this] { return engine.Connections() == 2 && Status() == "Connected..."; }));
    engine.Send(UiFrame(1, 30) + UiFrame(1, 5));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "2" && !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    ASSERT_EQ(seen.size(), 17u);
    for (size_t i = 0; i < 16; ++i)
        EXPECT_EQ(seen[i].Engine, EngineState::Disconnected) << i;
    EXPECT_EQ(seen.back().Engine, EngineState::Answering);
    EXPECT_EQ(seen.back().Bytes, 30 + 19 + 5 + 19);
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_TRUE(endStatuses.empty());
}
