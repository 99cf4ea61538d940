// SPDX-License-Identifier: GPL-3.0-or-later
// The headless program against a real engine: Dire Wolf decodes generated
// AFSK audio and reports the frames over AGW, as it would from a radio.
#include "DireWolf.h"
#include "HeadlessRun.h"
#include "HttpGet.h"
#include "PrometheusRun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <deque>
#include <functional>
#include <memory>
#include <thread>
#include <tuple>

namespace {

using namespace std::chrono_literals;

constexpr int kBitRate = 1200;

struct Totals {
    int frames = 0, bytes = 0, data = 0;
};

// What the frames put on the air as the program counts them: info + 19 bytes a frame.
Totals totalsOf(const std::vector<TestFrame>& Frames)
{
    Totals t;
    for (const auto& f : Frames) {
        t.frames += 1;
        t.bytes += static_cast<int>(f.info.size()) + 19;
        t.data += static_cast<int>(f.info.size());
    }
    return t;
}

std::vector<std::string> linesOf(const std::vector<TestFrame>& Frames)
{
    std::vector<std::string> lines;
    for (const auto& f : Frames)
        lines.push_back(f.monitorLine());
    return lines;
}

// Dire Wolf takes up to a second to serve a new client: the periods before
// its first answer are blind, and standard error says when it answers.
void expectOnlyStartUpSilence(HeadlessRun& Run, int Port)
{
    if (Run.Stderr().isEmpty())
        return;
    const QString at = QStringLiteral("chanload: the engine at 127.0.0.1:%1 is ").arg(Port);
    EXPECT_EQ(Run.StderrLines(), (QStringList{at + "not answering", at + "answering"}));
}

// The period lines after the header; a line that does not parse fails the test.
std::vector<CsvRow> rowsOf(const QStringList& Lines)
{
    std::vector<CsvRow> rows;
    EXPECT_FALSE(Lines.isEmpty());
    if (Lines.isEmpty())
        return rows;
    EXPECT_EQ(Lines[0], kCsvHeader);
    for (const QString& line : Lines.mid(1)) {
        const auto row = ParseCsvRow(line);
        EXPECT_TRUE(row) << "not a CSV line: " << line.toStdString();
        if (row)
            rows.push_back(*row);
    }
    return rows;
}

Totals sumOf(const std::vector<CsvRow>& Rows)
{
    Totals t;
    for (const auto& r : Rows) {
        t.frames += r.Frames;
        t.bytes += r.Bytes;
        t.data += r.Data;
    }
    return t;
}

QCoreApplication* ensureCore()
{
    static int argc = 1;
    static char name[] = "headless-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return app;
}

bool waitUntil(const std::function<bool()>& Done, int Ms)
{
    QElapsedTimer t;
    t.start();
    while (!Done() && t.elapsed() < Ms)
        std::this_thread::sleep_for(20ms);
    return Done();
}

// Two different ports nobody listens on right now, for programs to take.
std::pair<int, int> freePorts()
{
    QTcpServer first, second;
    if (!first.listen(QHostAddress::LocalHost, 0) || !second.listen(QHostAddress::LocalHost, 0))
        return {0, 0};
    return {first.serverPort(), second.serverPort()};
}

// The value of the first series of an instant query's result, as Prometheus
// writes it.
QString firstValue(const std::optional<QJsonArray>& Result)
{
    if (!Result || Result->isEmpty())
        return {};
    return Result->at(0).toObject().value(QStringLiteral("value")).toArray().at(1).toString();
}

// What Prometheus holds of one program's counters and load gauge at the time
// of its last scrape.
struct Scraped {
    double time = 0;
    QString port;
    double frames = -1, bytes = -1, data = -1, ownFrames = -1, airtime = -1;
    QString engineUp;
    std::vector<std::pair<double, double>> loads; // time, value
};

Scraped scrapedBy(PrometheusRun& Prometheus, int MetricsPort)
{
    Scraped s;
    const QString instance = QStringLiteral("instance=\"127.0.0.1:%1\"").arg(MetricsPort);
    s.time = firstValue(Prometheus.Query(QStringLiteral("max(timestamp(chanload_frames_total{%1}))").arg(instance))).toDouble();
    // At the time of the last scrape, from counters that started at zero,
    // increase() has nothing to extrapolate: it is the plain difference.
    const auto increase = [&](const char* Name, const char* Source, QString* Port = nullptr) {
        const auto result = Prometheus.Query(
            QStringLiteral("increase(%1{%2,source=\"%3\"}[5m])").arg(QLatin1String(Name), instance, QLatin1String(Source)),
            s.time);
        if (Port && result && !result->isEmpty())
            *Port = result->at(0).toObject().value(QStringLiteral("metric")).toObject().value(QStringLiteral("port")).toString();
        const QString value = firstValue(result);
        return value.isEmpty() ? -1.0 : value.toDouble();
    };
    s.frames = increase("chanload_frames_total", "heard", &s.port);
    s.bytes = increase("chanload_bytes_total", "heard");
    s.data = increase("chanload_data_bytes_total", "heard");
    s.ownFrames = increase("chanload_frames_total", "own");
    s.airtime = increase("chanload_airtime_seconds_total", "heard");
    s.engineUp = firstValue(Prometheus.Query(QStringLiteral("chanload_engine_up{%1}").arg(instance), s.time));
    const auto loads = Prometheus.Query(QStringLiteral("chanload_load_ratio{%1}[5m]").arg(instance), s.time);
    if (loads && !loads->isEmpty())
        for (const QJsonValue& v : loads->at(0).toObject().value(QStringLiteral("values")).toArray())
            s.loads.emplace_back(v.toArray().at(0).toDouble(), v.toArray().at(1).toString().toDouble());
    return s;
}

class HeadlessDireWolf : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureCore();
        // Installed by scripts/test; their absence is a broken setup, not a reason to skip.
        ASSERT_TRUE(onPath("direwolf")) << "direwolf is not installed (Debian package direwolf)";
        ASSERT_TRUE(onPath("gen_packets")) << "gen_packets is not installed (Debian package direwolf)";
        ASSERT_TRUE(dir.isValid());
    }

    void TearDown() override
    {
        if (engine) {
            EXPECT_EQ(engine->transmitted(), std::vector<std::string>{}) << "Dire Wolf transmitted";
        }
    }

    void startEngine(int Channels)
    {
        engine = std::make_unique<DireWolf>(dir.path().toStdString(), Channels);
        ASSERT_TRUE(engine->start()) << engine->error();
    }

    // Monitoring starts off on every new connection: audio fed before Dire
    // Wolf has taken each client's 'm' would be decoded for nobody.
    void waitForMonitoring(int Clients, HeadlessRun& Run)
    {
        ASSERT_TRUE(waitUntil(
            [&] { return engine->linesStartingWith("<<< Enable Reception of Monitoring Frames") >= Clients || !Run.Running(); },
            20000))
            << "Dire Wolf never got the monitoring requests:\n"
            << engine->log() << "\nchanload: " << Run.Stderr().toStdString();
        ASSERT_TRUE(Run.Running()) << Run.Stderr().toStdString();
        waitForAnswering(Run);
    }

    // Frames fed before a period says "answering" may land in a blind one.
    void waitForAnswering(HeadlessRun& Run)
    {
        ASSERT_TRUE(waitUntil(
            [&] {
                const QStringList lines = Run.StdoutLines();
                return !Run.Running() || (lines.size() > 1 && lines.last().endsWith(QStringLiteral(",answering")));
            },
            20000))
            << Run.Stdout().toStdString();
    }

    // Feeds the frames and waits until Dire Wolf has passed all `sent` frames so
    // far to its clients, and then until every run has ended two more periods,
    // so that the frames are inside the lines.
    void hear(const Samples& Audio, int Sent, const std::vector<HeadlessRun*>& Runs)
    {
        engine->feed(Audio);
        ASSERT_TRUE(waitUntil([&] { return engine->fed() && engine->linesStartingWith(">>> Monitored") >= Sent; }, 60000))
            << "Dire Wolf passed on " << engine->linesStartingWith(">>> Monitored") << " of " << Sent << " frames:\n"
            << engine->log();
        for (HeadlessRun* run : Runs) {
            const int lines = static_cast<int>(run->StdoutLines().size());
            ASSERT_TRUE(run->WaitForLines(lines + 2)) << run->Stderr().toStdString();
        }
    }

    QTemporaryDir dir;
    std::unique_ptr<DireWolf> engine;
};

} // namespace

TEST_F(HeadlessDireWolf, LinesCarryEveryHeardFrameAndTheWindowsFigures)
{
    // Three bursts of different sizes, each into a period of its own or two,
    // so that the lines differ and the ten-period figures move.
    const std::vector<std::vector<TestFrame>> bursts = {
        {
            {"N0CALL-1", "APRS", {"WIDE1-1"}, ">Test one two three"},
            {"N0CALL-3", "CQ", {}, ""},
        },
        {
            {"N0CALL-4", "ID", {"N0CALL-9*", "WIDE2-1"}, "N0CALL-4/R"},
        },
        {
            {"N0CALL-2", "APRS", {}, "!4237.14NS07120.83W#hello"},
            {"N0CALL-6", "BEACON", {"N0CALL-7", "WIDE3-1"}, "The quick brown fox"},
            {"N0CALL-10", "TEST", {}, "x"},
        },
    };
    // Shorter than a second: ticks twice a second, figures over half a second.
    constexpr int sampleMs = 500;
    startEngine(1);
    ASSERT_FALSE(HasFatalFailure());
    HeadlessRun run;
    // Local time far from UTC, so that a line in local time would show.
    run.SetEnvironment(QStringLiteral("TZ"), QStringLiteral("Asia/Kathmandu"));
    const QString config = run.WriteConfig(QStringLiteral("port1.ini"), engine->port(), 1, sampleMs, kBitRate);
    const qint64 startedAt = QDateTime::currentSecsSinceEpoch();
    ASSERT_TRUE(run.Start({QStringLiteral("--headless"), QStringLiteral("--config"), config}));
    waitForMonitoring(1, run);
    ASSERT_FALSE(HasFatalFailure());

    std::vector<TestFrame> all;
    for (const auto& burst : bursts) {
        Samples audio = silence(0.2);
        audio += afskAudio(burst, dir.path().toStdString());
        audio += silence(0.3);
        all.insert(all.end(), burst.begin(), burst.end());
        hear(audio, static_cast<int>(all.size()), {&run});
        ASSERT_FALSE(HasFatalFailure());
    }
    // Eleven more periods push the first burst out of the ten-period figures.
    ASSERT_TRUE(run.WaitForLines(static_cast<int>(run.StdoutLines().size()) + 11)) << run.Stderr().toStdString();
    ASSERT_TRUE(run.Running());
    run.Signal(SIGTERM);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(run.ExitStatus(), 0);
    expectOnlyStartUpSilence(run, engine->port());

    // When Dire Wolf misses a frame the audio is at fault, not the program.
    ASSERT_EQ(engine->heard(0), linesOf(all)) << "Dire Wolf did not decode every frame; fix the generated audio";

    const std::vector<CsvRow> rows = rowsOf(run.StdoutLines());
    ASSERT_FALSE(HasFailure()) << run.Stdout().toStdString();
    const Totals expected = totalsOf(all);
    const Totals counted = sumOf(rows);
    EXPECT_EQ(counted.frames, expected.frames);
    EXPECT_EQ(counted.bytes, expected.bytes);
    EXPECT_EQ(counted.data, expected.data);

    // The figures worked out here: at 1200 bit/s a period of half a second
    // carries 60 bytes, ten periods 600.
    std::deque<CsvRow> ten;
    qint64 previous = startedAt - 1;
    int busyPeriods = 0, partlyUsed = 0;
    for (const CsvRow& row : rows) {
        SCOPED_TRACE(row.Time.toStdString());
        EXPECT_EQ(row.Port, 1);
        ASSERT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$")).match(row.Time).hasMatch());
        const QDateTime time = QDateTime::fromString(row.Time, Qt::ISODate);
        ASSERT_TRUE(time.isValid());
        EXPECT_GE(time.toSecsSinceEpoch(), previous) << "periods out of order, or not in UTC";
        EXPECT_LE(time.toSecsSinceEpoch(), QDateTime::currentSecsSinceEpoch()) << "not in UTC";
        previous = time.toSecsSinceEpoch();

        if (row.Engine != "answering")
            continue; // blind at the start: no figures, and not in the ring
        ten.push_front(row);
        if (ten.size() > 10)
            ten.pop_back();
        int bytes = 0, data = 0;
        for (const CsvRow& r : ten) {
            bytes += r.Bytes;
            data += r.Data;
        }
        EXPECT_EQ(row.Usage, std::min(row.Bytes * 100 / 60, 100));
        EXPECT_EQ(row.Efficiency, bytes == 0 ? 0 : data * 100 / bytes);
        EXPECT_EQ(row.Load, std::min(bytes * 100 / 600, 100));
        // Every frame keeps the channel busy for a good part of a second; Dire
        // Wolf never transmits.
        EXPECT_EQ(row.Airtime > 0, row.Frames > 0);
        EXPECT_EQ(row.OwnAirtime, 0);
        busyPeriods += row.Frames > 0;
        partlyUsed += row.Usage > 0 && row.Usage < 100;
    }
    // The comparison must have had figures to compare: periods with traffic
    // whose usage is neither nothing nor clipped, and a ring that ran over.
    EXPECT_GE(busyPeriods, 3);
    EXPECT_GE(partlyUsed, 1);
    EXPECT_EQ(rows.back().Load, 0) << "ten quiet periods at the end";
}

TEST_F(HeadlessDireWolf, TwoInstancesWithTheirOwnSettingsCountTheirOwnRadioPortOnly)
{
    // Dire Wolf reports its channel 0 as radio port 1 and channel 1 as port 2.
    const std::vector<TestFrame> port1 = {
        {"N0CALL-1", "APRS", {"WIDE1-1"}, "on port one"},
        {"N0CALL-2", "CQ", {}, std::string(90, 'a')},
        {"N0CALL-3", "APRS", {}, "!4237.14NS07120.83W#one"},
    };
    const std::vector<TestFrame> port2 = {
        {"N2CALL-1", "APRS", {"WIDE2-1"}, ">on port two"},
        {"N2CALL-2", "BEACON", {}, ""},
        {"N2CALL-3", "TEST", {"N2CALL-4", "WIDE2-2"}, std::string(150, 'b')},
        {"N2CALL-5", "APRS", {}, "T#006,100,200,050,000,000,00000000"},
    };
    startEngine(2);
    ASSERT_FALSE(HasFatalFailure());
    // Both settings files in one folder, the way a service reads them.
    HeadlessRun first, second;
    const QString config1 = first.WriteConfig(QStringLiteral("port1.ini"), engine->port(), 1, 1000, kBitRate);
    const QString config2 = first.WriteConfig(QStringLiteral("port2.ini"), engine->port(), 2, 1000, kBitRate);
    // Each serves its figures too, and a real Prometheus scrapes both.
    const auto [metrics1, metrics2] = freePorts();
    ASSERT_NE(metrics1, 0);
    ASSERT_TRUE(first.Start({QStringLiteral("--headless"), QStringLiteral("--config"), config1,
                             QStringLiteral("--metrics"), QString::number(metrics1)}));
    ASSERT_TRUE(second.Start({QStringLiteral("--config"), config2, QStringLiteral("--headless"),
                              QStringLiteral("--metrics"), QStringLiteral("127.0.0.1:%1").arg(metrics2)}));
    ASSERT_TRUE(onPath("prometheus")) << "prometheus is not installed (Debian package prometheus)";
    PrometheusRun prometheus;
    ASSERT_TRUE(prometheus.Start(dir.path(), {QStringLiteral("127.0.0.1:%1").arg(metrics1),
                                              QStringLiteral("127.0.0.1:%1").arg(metrics2)}))
        << prometheus.Error().toStdString();
    waitForMonitoring(2, first);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(second.Running()) << second.Stderr().toStdString();
    waitForAnswering(second);
    // The counters must be in Prometheus at zero before the first frame, or
    // increase() could not see those frames.
    ASSERT_TRUE(waitUntil([&] {
        const auto zeros = prometheus.Query(QStringLiteral("chanload_frames_total == 0"));
        return zeros && zeros->size() == 4;
    }, 20000)) << "Prometheus never scraped both programs";

    Samples left = silence(0.3);
    left += afskAudio(port1, dir.path().toStdString());
    left += silence(0.5);
    Samples right = silence(0.3);
    right += afskAudio(port2, dir.path().toStdString());
    right += silence(0.5);
    // Each client gets every frame of both channels.
    hear(interleave(left, right), 2 * static_cast<int>(port1.size() + port2.size()), {&first, &second});
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(engine->heard(0), linesOf(port1)) << "Dire Wolf did not decode channel 0:\n" << engine->log();
    ASSERT_EQ(engine->heard(1), linesOf(port2)) << "Dire Wolf did not decode channel 1:\n" << engine->log();

    // A scrape that began after the frames were in the lines has them all.
    const double heardBy = static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    ASSERT_TRUE(waitUntil([&] {
        const QString oldest = firstValue(prometheus.Query(QStringLiteral("min(timestamp(chanload_frames_total))")));
        return !oldest.isEmpty() && oldest.toDouble() > heardBy;
    }, 15000));
    // The page Prometheus took, as promtool's linter reads it.
    const auto page = HttpGet(QStringLiteral("127.0.0.1"), metrics1, "/metrics");
    ASSERT_TRUE(page);
    QProcess promtool;
    promtool.start(QStringLiteral("promtool"), {QStringLiteral("check"), QStringLiteral("metrics")});
    ASSERT_TRUE(promtool.waitForStarted()) << "promtool is not installed (Debian package prometheus)";
    promtool.write(page->Body);
    promtool.closeWriteChannel();
    ASSERT_TRUE(promtool.waitForFinished());
    EXPECT_EQ(promtool.exitCode(), 0) << promtool.readAll().toStdString() << "\n" << page->Body.toStdString();
    const Scraped scraped1 = scrapedBy(prometheus, metrics1), scraped2 = scrapedBy(prometheus, metrics2);

    for (auto [run, port, frames, scraped] : {std::tuple{&first, 1, &port1, &scraped1}, std::tuple{&second, 2, &port2, &scraped2}}) {
        SCOPED_TRACE(port);
        ASSERT_TRUE(run->Running()) << run->Stderr().toStdString();
        run->Signal(SIGTERM);
        ASSERT_TRUE(run->WaitForEnd());
        EXPECT_EQ(run->ExitStatus(), 0);
        expectOnlyStartUpSilence(*run, engine->port());
        const std::vector<CsvRow> rows = rowsOf(run->StdoutLines());
        ASSERT_FALSE(rows.empty());
        for (const CsvRow& row : rows)
            EXPECT_EQ(row.Port, port);
        const Totals expected = totalsOf(*frames);
        const Totals counted = sumOf(rows);
        EXPECT_EQ(counted.frames, expected.frames);
        EXPECT_EQ(counted.bytes, expected.bytes);
        EXPECT_EQ(counted.data, expected.data);

        // What Prometheus scraped equals the lines.
        EXPECT_EQ(scraped->port, QString::number(port));
        EXPECT_EQ(scraped->frames, counted.frames);
        EXPECT_EQ(scraped->bytes, counted.bytes);
        EXPECT_EQ(scraped->data, counted.data);
        EXPECT_EQ(scraped->ownFrames, 0);
        EXPECT_EQ(scraped->engineUp, QStringLiteral("1"));
        // The airtime in seconds is at least what the lines' whole
        // percentages of one-second periods add up to (each truncated), and
        // no frame takes two seconds.
        double linesAirtime = 0;
        for (const CsvRow& row : rows)
            linesAirtime += row.Airtime / 100.0;
        EXPECT_GT(linesAirtime, 0);
        EXPECT_GE(scraped->airtime + 1e-9, linesAirtime);
        EXPECT_LE(scraped->airtime, 2.0 * counted.frames);
        // Every scraped load is the load of a line, in the order of the lines,
        // and the traffic shows in some of them.
        ASSERT_FALSE(scraped->loads.empty());
        size_t line = 0;
        int busyScrapes = 0;
        for (const auto& [time, load] : scraped->loads) {
            while (line < rows.size() && std::abs(rows[line].Load - load * 100) > 1e-9)
                ++line;
            ASSERT_LT(line, rows.size()) << "load " << load << " scraped at " << time << " is in no line after the last one matched";
            busyScrapes += load > 0;
        }
        EXPECT_GE(busyScrapes, 1);
        if (HasFailure())
            ADD_FAILURE() << run->Stdout().toStdString() << "\nDire Wolf:\n" << engine->log();
    }
}
