// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "AGWUnit.h"

#include <QTimer>

using Totals3 = std::vector<std::string>;

TEST_F(MeterTest, WorkedExampleCountsOneUiFrameOfTheMonitoredPort)
{
    StartConnected();
    SetTotals(3, 70, 20);
    engine.Send(UiFrame(1, 12));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "4"; }));
    EXPECT_EQ(Totals(), (Totals3{"4", "101", "32"}));
    engine.Send(UiFrame(2, 12));
    ASSERT_TRUE(SendMarker("after port 2"));
    EXPECT_EQ(Totals(), (Totals3{"4", "101", "32"})) << "another radio port is not counted";
}

TEST_F(MeterTest, FrameSplitAcrossReadsIsCountedWhenComplete)
{
    StartConnected();
    const QByteArray frame = UiFrame(1, 40);
    for (qsizetype cut : {qsizetype(10), qsizetype(36), frame.size() - 1}) {
        const std::string before = form->Frames->text().toStdString();
        engine.Send(frame.left(cut));
        Settle(50);
        EXPECT_EQ(form->Frames->text().toStdString(), before) << "cut at " << cut;
        engine.Send(frame.mid(cut));
        ASSERT_TRUE(WaitFor([&] { return form->Frames->text().toStdString() != before; }));
    }
    EXPECT_EQ(Totals(), (Totals3{"3", "177", "120"}));
}

// 'T' is the station's own transmission: it occupies the channel too.
TEST_F(MeterTest, EveryMonitoredKindCountsOwnTransmissionsIncludedAndOtherTypesAddNoData)
{
    StartConnected();
    engine.Send(AgwFrame(0, 'S', MonitorData(1, "RR R5 F=1 ", {}))
        + AgwFrame(0, 'I', MonitorData(1, "I S3 R1 pid=F0 Len=5 P=0 ", "hello"))
        + AgwFrame(0, 'I', MonitorData(1, "I R1 S3 pid=F0 Len=7 ", "goodbye"))
        + AgwFrame(0, 'T', MonitorData(1, "UI pid=F0 Len=9 ", "ourselves"))
        + AgwFrame(0, 'g', QByteArray(12, '\x01')));
    ASSERT_TRUE(SendMarker("after the kinds"));
    EXPECT_EQ(Totals(), (Totals3{"4", "97", "21"}));
}

TEST_F(MeterTest, PortChangeAppliesFromTheNextFrameOnEveryRadioPort)
{
    StartConnected();
    engine.Send(UiFrame(1, 10));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }));
    form->PortMon->setText("2");
    engine.Send(UiFrame(1, 10) + UiFrame(2, 30));
    ASSERT_TRUE(WaitFor([this] { return form->Bytes->text() == "78"; }));
    EXPECT_EQ(Totals(), (Totals3{"2", "78", "40"}));
    form->PortMon->setText("9");
    engine.Send(UiFrame(9, 5));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "3"; }));
}

TEST_F(MeterTest, UnreadableHeaderIsSkippedWithoutABox)
{
    StartConnected();
    engine.Send(AgwFrame(0, 'U', MonitorData(1, "UI pid=F0 Len=x ", "abc")) + UiFrame(1, 4));
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1"; }));
    EXPECT_EQ(Totals(), (Totals3{"1", "23", "4"}));
    EXPECT_TRUE(errorBoxes.isEmpty());
}

TEST_F(MeterTest, PortListReplyChangesNoTotalAndNamesThePorts)
{
    StartConnected();
    engine.Send(AgwFrame(0, 'G', QByteArray("2;Port1 first soundcard mono;Port2 second;\0", 43)));
    ASSERT_TRUE(WaitFor([] { return AGWClient->Ports[1] && !AGWClient->Ports[1]->Description.empty(); }));
    EXPECT_EQ(AGWClient->Ports[0]->Description, "Port1 first soundcard mono");
    EXPECT_EQ(Totals(), (Totals3{"0", "0", "0"}));
}

TEST_F(MeterTest, BurstLargerThanARingLosesNoFrame)
{
    StartConnected();
    QByteArray burst;
    for (int i = 0; i < 1500; ++i)
        burst += UiFrame(1, 1);
    engine.Send(burst);
    ASSERT_TRUE(WaitFor([this] { return form->Frames->text() == "1500"; }, 10000)) << form->Frames->text().toStdString();
    EXPECT_EQ(Totals(), (Totals3{"1500", "30000", "1500"}));
}

TEST_F(MeterTest, TotalsStopAtTheLargestReadableNumber)
{
    StartConnected();
    SetTotals(2147483647, 2147483640, 2147483647);
    engine.Send(UiFrame(1, 20));
    ASSERT_TRUE(SendMarker("first"));
    EXPECT_EQ(Totals(), (Totals3{"2147483647", "2147483647", "2147483647"}));
    EXPECT_TRUE(errorBoxes.isEmpty());
    engine.Send(UiFrame(1, 20));
    ASSERT_TRUE(SendMarker("second"));
    EXPECT_EQ(Totals(), (Totals3{"2147483647", "2147483647", "2147483647"}));
    EXPECT_TRUE(errorBoxes.isEmpty());
}

// Every frame of the port keeps the channel busy; own airtime counts only the
// station's own ('T'), and each transmission brings TXDELAY and TXTAIL.
TEST_F(MeterTest, AirtimeCountsEveryFrameAndOwnAirtimeOnlyOwnTransmissions)
{
    StartConnected({{"SAMPLE", "10000"}, {"TXDELAY", "900"}, {"TXTAIL", "100"}});
    // 953 bits on the air, as counted in gen_packets' audio of this frame.
    const QByteArray frame = " 1:Fm N0CALL-1 To APRS <UI pid=F0 Len=100 PF=0 >[19:29:58]\r" + QByteArray(100, 'x')
        + QByteArray("\r\0", 2);
    engine.Send(AgwFrame(0, 'U', frame) + AgwFrame(0, 'U', frame) + AgwFrame(0, 'T', frame)
        + AgwFrame(1, 'U', MonitorData(2, "UI pid=F0 Len=40 PF=0 ", QByteArray(40, 'o'))));
    ASSERT_TRUE(SendMarker("after the frames"));
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);

    // Three transmissions of 3 x 953 bits at 1200 bit/s plus 1 s each, of 10 s:
    // 5.38 s; own: 0.79 s + 1 s.
    const PeriodRecord& r = form->History().Latest();
    EXPECT_EQ(r.Airtime, 53);
    EXPECT_EQ(r.OwnAirtime, 17);
    // The next period starts from nothing.
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(form->History().Latest().Airtime, 0);
    EXPECT_EQ(form->History().Latest().OwnAirtime, 0);
}

// The totals of a read are written to the labels when the read ends, also
// when a label that holds no number ends it early: what was counted before
// shows, as it did when each frame was written at once.
TEST_F(MeterTest, ReadEndedByALabelWithoutANumberLeavesItsFramesOnTheLabels)
{
    StartConnected();
    SetTotals(3, 70, 20);
    form->BW->setText("fast");
    engine.Send(UiFrame(1, 12));
    ASSERT_TRUE(WaitFor([this] { return !errorBoxes.isEmpty(); }));
    EXPECT_EQ(errorBoxes.front(), "'fast' is not a valid integer value.");
    EXPECT_EQ(Totals(), (Totals3{"4", "101", "32"}));

    // The frames label itself: nothing of the read is counted.
    form->BW->setText("1200");
    form->Frames->setText("many");
    errorBoxes.clear();
    engine.Send(UiFrame(1, 12));
    ASSERT_TRUE(WaitFor([this] { return !errorBoxes.isEmpty(); }));
    EXPECT_EQ(Totals(), (Totals3{"many", "101", "32"}));
}

// Frames of one read are each counted by the digits before their own ':',
// whatever port texts came before them in the same read.
TEST_F(MeterTest, EachFrameOfOneReadIsCountedByItsOwnPortText)
{
    StartConnected();
    const std::pair<const char*, bool> ports[] = {{" 1", true}, {" 1", true}, {" 12", false}, {" 1", true},
        {" 2", false}, {"1", true}, {" 1 ", true}, {" 10", false}, {"x1", true}, {" 2", false}, {" 1", true},
        {" 2", false}, {" 12", false}, {" 1", true}, {"", false}};
    QByteArray read;
    int count = 0, datas = 0;
    for (const auto& [port, counted] : ports) {
        const int infoLen = 3 + static_cast<int>(read.size() % 11);
        read += AgwFrame(0, 'U', QByteArray(port) + ":Fm N0CALL-1 To APRS <UI pid=F0 Len=" + QByteArray::number(infoLen)
            + " PF=0 >[19:29:58]\r" + QByteArray(infoLen, 'i') + QByteArray("\r\0", 2));
        count += counted;
        datas += counted ? infoLen : 0;
    }
    engine.Send(read);
    ASSERT_TRUE(SendMarker("after the ports"));
    EXPECT_EQ(Totals(), (Totals3{std::to_string(count), std::to_string(datas + 19 * count), std::to_string(datas)}));
}
