// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's frames and periods on the metrics page: heard and own
// apart, only the measured radio port, airtime with TXDELAY and TXTAIL.
#include "MeterFixture.h"
#include "MeterMetrics.h"

#include <QTcpServer>
#include <QTimer>

#include <map>

namespace {

// The samples of the page at 127.0.0.1:Port, series to value.
std::map<std::string, std::string> scrape(int Port)
{
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(Port));
    client.write("GET /metrics HTTP/1.0\r\n\r\n");
    QByteArray answer;
    WaitFor([&] {
        answer += client.readAll();
        const qsizetype head = answer.indexOf("\r\n\r\n");
        const qsizetype length = answer.indexOf("Content-Length: ");
        return head > 0 && length > 0 &&
               answer.size() >= head + 4 + answer.mid(length + 16, answer.indexOf('\r', length) - length - 16).toLong();
    });
    std::map<std::string, std::string> samples;
    for (const QByteArray& line : answer.mid(answer.indexOf("\r\n\r\n") + 4).split('\n'))
        if (!line.isEmpty() && !line.startsWith('#'))
            samples[line.left(line.lastIndexOf(' ')).toStdString()] = line.mid(line.lastIndexOf(' ') + 1).toStdString();
    return samples;
}

} // namespace

TEST_F(MeterTest, MetricsCountHeardAndOwnFramesOfTheMeasuredPortAndFollowThePeriod)
{
    StartConnected({{"SAMPLE", "10000"}, {"TXDELAY", "900"}, {"TXTAIL", "100"}});
    int port = 0;
    {
        QTcpServer probe;
        ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
        port = probe.serverPort();
    }
    TMeterMetrics metrics(form, &MakeMetricsServer);
    ASSERT_TRUE(metrics.Listen(QString::number(port))) << metrics.Error().toStdString();
    auto page = scrape(port);
    EXPECT_EQ(page["chanload_frames_total{port=\"1\",source=\"heard\"}"], "0");
    EXPECT_EQ(page["chanload_engine_up{port=\"1\"}"], "0") << "no period yet";

    // 953 bits on the air each, as counted in gen_packets' audio of this frame.
    const QByteArray frame = " 1:Fm N0CALL-1 To APRS <UI pid=F0 Len=100 PF=0 >[19:29:58]\r" + QByteArray(100, 'x')
        + QByteArray("\r\0", 2);
    engine.Send(AgwFrame(0, 'U', frame) + AgwFrame(0, 'U', frame) + AgwFrame(0, 'T', frame)
        + AgwFrame(1, 'U', MonitorData(2, "UI pid=F0 Len=40 PF=0 ", QByteArray(40, 'o'))));
    ASSERT_TRUE(SendMarker("after the frames"));
    page = scrape(port);
    EXPECT_EQ(page["chanload_frames_total{port=\"1\",source=\"heard\"}"], "2");
    EXPECT_EQ(page["chanload_frames_total{port=\"1\",source=\"own\"}"], "1");
    EXPECT_EQ(page["chanload_bytes_total{port=\"1\",source=\"heard\"}"], "238"); // 2 x (100 + 19)
    EXPECT_EQ(page["chanload_data_bytes_total{port=\"1\",source=\"own\"}"], "100");
    // 953 / 1200 s = 0.794166666 s truncated to the nanosecond, plus 0.9 + 0.1 s.
    EXPECT_EQ(page["chanload_airtime_seconds_total{port=\"1\",source=\"heard\"}"], "3.588333332");
    EXPECT_EQ(page["chanload_airtime_seconds_total{port=\"1\",source=\"own\"}"], "1.794166666");
    EXPECT_EQ(page.count("chanload_frames_total{port=\"2\",source=\"heard\"}"), 0u) << "another radio port";

    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    page = scrape(port);
    // Three transmissions of 953 bits and 1 s each in 10 s: 53 %.
    EXPECT_EQ(page["chanload_airtime_ratio{port=\"1\"}"], "0.53");
    EXPECT_EQ(page["chanload_engine_up{port=\"1\"}"], "1");
    EXPECT_EQ(page["chanload_period_seconds{port=\"1\"}"], "10");
    // 357 bytes of 1200 a period (1200 bit/s, 10 bits a byte, 10 s).
    EXPECT_EQ(page["chanload_usage_ratio{port=\"1\"}"], "0.29");
    // The counters go on across the period; the labels start again.
    EXPECT_EQ(page["chanload_frames_total{port=\"1\",source=\"heard\"}"], "2");
    // A station's first period goes to "others" (three frames of 953 bits,
    // 794167 us rounded, and 1 s each); from then on it has its own series.
    EXPECT_EQ(page["chanload_station_airtime_seconds_total{port=\"1\",call=\"others\"}"], "5.382501");
    EXPECT_EQ(page["chanload_station_airtime_seconds_total{port=\"1\",call=\"N0CALL-1\"}"], "0");
}
