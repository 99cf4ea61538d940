// SPDX-License-Identifier: GPL-3.0-or-later
// The metrics endpoint under hostile clients: chanload --headless --metrics
// with a one-second period against an idle engine, first left alone and
// scraped once a second, then with 200 connections held open without a word
// and a client sending a request with a megabyte of header, then with the 200
// reopened as soon as the program closes them. Prints the program's own
// memory (RssAnon) idle and under attack, how regularly its CSV lines came,
// and whether scrapes were answered meanwhile.
// Usage: metrics_load CHANLOAD [seconds of the first attack, default 20; the second takes half]
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <algorithm>
#include <functional>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

long rssAnonKiB(qint64 Pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(Pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').front().toLong();
    return -1;
}

void pump(int Ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < Ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// One GET /metrics on a fresh connection; true when a 200 came within Ms.
bool scrape(quint16 Port, int Ms = 2000)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, Port);
    s.write("GET /metrics HTTP/1.1\r\nHost: x\r\n\r\n");
    QByteArray answer;
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < Ms && !answer.contains("\r\n\r\n") && s.state() != QAbstractSocket::UnconnectedState) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        answer += s.readAll();
    }
    return answer.startsWith("HTTP/1.1 200");
}

struct Ticks {
    std::vector<qint64> arrivals; // ms of the bench's clock
};

// The bench's own sockets complain about writes to refused connections.
void quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    if (argc < 2) {
        std::fprintf(stderr, "usage: metrics_load CHANLOAD [attack seconds]\n");
        return 2;
    }
    const int attackSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
    QElapsedTimer clock;
    clock.start();

    // An engine that accepts and stays silent.
    QTcpServer engine;
    std::vector<std::unique_ptr<QTcpSocket>> engineSide;
    engine.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&engine, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* s = engine.nextPendingConnection())
            QObject::connect(s, &QTcpSocket::readyRead, s, [s] { s->readAll(); });
    });
    quint16 metricsPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        metricsPort = probe.serverPort();
    }

    QTemporaryDir dir;
    QFile config(dir.filePath(QStringLiteral("bench.ini")));
    config.open(QIODevice::WriteOnly);
    config.write(QStringLiteral("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%1\nAGW_PORT=1\nSAMPLE=1000\nBW=1200\n")
                     .arg(engine.serverPort()).toLatin1());
    config.close();

    QProcess meter;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    // The period stores go into the bench's folder too, one per program.
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    env.insert(QStringLiteral("HOME"), dir.path());
    meter.setProcessEnvironment(env);
    Ticks ticks;
    QByteArray pending;
    QObject::connect(&meter, &QProcess::readyReadStandardOutput, [&] {
        pending += meter.readAllStandardOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            ticks.arrivals.push_back(clock.elapsed());
    });
    meter.start(QString::fromLocal8Bit(argv[1]),
                {QStringLiteral("--headless"), QStringLiteral("--config"), config.fileName(), QStringLiteral("--metrics"),
                 QString::number(metricsPort)});
    if (!meter.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", argv[1]);
        return 1;
    }
    const qint64 pid = meter.processId();
    // The same program without the endpoint beside it, for what serving costs.
    QProcess plain;
    plain.setProcessEnvironment(env);
    plain.setStandardOutputFile(QProcess::nullDevice());
    const QString plainConfig = dir.filePath(QStringLiteral("plain.ini"));
    QFile::copy(config.fileName(), plainConfig);
    plain.start(QString::fromLocal8Bit(argv[1]), {QStringLiteral("--headless"), QStringLiteral("--config"), plainConfig});
    plain.waitForStarted();
    pump(3000);
    std::printf("3 s after start: RssAnon %ld KiB with --metrics, %ld KiB without\n", rssAnonKiB(pid),
                rssAnonKiB(plain.processId()));
    plain.terminate();
    plain.waitForFinished(5000);

    // Idle, scraped every second as a Prometheus would, once the program listens.
    QElapsedTimer waiting;
    waiting.start();
    while (!scrape(metricsPort) && waiting.elapsed() < 10000)
        pump(100);
    int idleScrapes = 0;
    for (int i = 0; i < 8; ++i) {
        idleScrapes += scrape(metricsPort);
        pump(1000);
    }
    long idle = 0;
    for (int i = 0; i < 4; ++i) {
        idle = std::max(idle, rssAnonKiB(pid));
        pump(250);
    }
    std::printf("idle, scraped once a second: RssAnon %ld KiB; scrapes answered %d of 8\n", idle, idleScrapes);

    // Two attacks: 200 connections opened once and held silent, with a
    // megabyte of header from another client; then the same 200 reopened as
    // soon as the program closes them, a flood of connections.
    for (const bool reopen : {false, true}) {
        const int seconds = reopen ? attackSeconds / 2 : attackSeconds;
        const size_t ticksBefore = ticks.arrivals.size();
        const qint64 attackStart = clock.elapsed();
        QTcpSocket big;
        QByteArray bigAnswer;
        qint64 bigClosedAt = -1;
        if (!reopen) {
            QObject::connect(&big, &QTcpSocket::connected, [&] {
                big.write("GET /metrics HTTP/1.1\r\nHost: x\r\nX-Padding: " + QByteArray(1 << 20, 'a') + "\r\n\r\n");
            });
            QObject::connect(&big, &QTcpSocket::readyRead, [&] { bigAnswer += big.readAll(); });
            QObject::connect(&big, &QAbstractSocket::stateChanged, [&](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState && bigClosedAt < 0)
                    bigClosedAt = clock.elapsed() - attackStart;
            });
            big.connectToHost(QHostAddress::LocalHost, metricsPort);
            // In before the 200 take every place.
            QElapsedTimer sent;
            sent.start();
            while (big.bytesToWrite() == 0 && big.state() != QAbstractSocket::UnconnectedState && sent.elapsed() < 2000)
                pump(5);
        }

        std::vector<std::unique_ptr<QTcpSocket>> held;
        int reopened = 0;
        for (int i = 0; i < 200; ++i) {
            held.push_back(std::make_unique<QTcpSocket>());
            QTcpSocket* s = held.back().get();
            if (reopen)
                QObject::connect(s, &QAbstractSocket::disconnected, s, [&, s] {
                    if (clock.elapsed() - attackStart < seconds * 1000) {
                        ++reopened;
                        s->connectToHost(QHostAddress::LocalHost, metricsPort);
                    }
                });
            s->connectToHost(QHostAddress::LocalHost, metricsPort);
        }
        long peak = 0;
        int scrapes = 0, scrapesOk = 0;
        qint64 nextScrape = attackStart + 1000;
        while (clock.elapsed() - attackStart < seconds * 1000) {
            peak = std::max(peak, rssAnonKiB(pid));
            pump(200);
            if (clock.elapsed() >= nextScrape) {
                nextScrape += 2000;
                ++scrapes;
                scrapesOk += scrape(metricsPort, 500);
            }
        }
        const qint64 attackEnd = clock.elapsed();
        held.clear();
        std::vector<qint64> gaps;
        for (size_t i = ticksBefore + 1; i < ticks.arrivals.size(); ++i)
            if (ticks.arrivals[i] <= attackEnd)
                gaps.push_back(ticks.arrivals[i] - ticks.arrivals[i - 1]);
        std::sort(gaps.begin(), gaps.end());

        std::printf("\n%s for %d s:\n", reopen ? "200 connections reopened as soon as closed" :
                                                 "200 silent connections held, and a megabyte of header", seconds);
        std::printf("  RssAnon peak %ld KiB (%+ld KiB against idle)\n", peak, peak - idle);
        std::printf("  CSV lines: %zu (one a second: %d)\n", ticks.arrivals.size() - ticksBefore, seconds);
        if (!gaps.empty())
            std::printf("  gaps between CSV lines: min %lld ms, median %lld ms, max %lld ms (period 1000 ms)\n",
                        static_cast<long long>(gaps.front()), static_cast<long long>(gaps[gaps.size() / 2]),
                        static_cast<long long>(gaps.back()));
        if (reopen)
            std::printf("  connections reopened after the program closed them: %d\n", reopened);
        else
            std::printf("  megabyte-header client: answer '%s', its connection gone %lld ms after it began\n",
                        bigAnswer.left(std::max<qsizetype>(bigAnswer.indexOf('\r'), 0)).constData(),
                        static_cast<long long>(bigClosedAt));
        std::printf("  scrapes answered meanwhile (every 2 s, 0.5 s each): %d of %d\n", scrapesOk, scrapes);
        pump(1500);
    }
    const long after = rssAnonKiB(pid);
    const bool servesAfter = scrape(metricsPort);
    std::printf("\nafterwards: RssAnon %ld KiB (%+ld KiB against idle); scrape answered: %s\n", after, after - idle,
                servesAfter ? "yes" : "no");
    meter.terminate();
    meter.waitForFinished(5000);
    return 0;
}
