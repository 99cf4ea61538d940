// SPDX-License-Identifier: GPL-3.0-or-later
// The program's Prometheus endpoint as a station runs it: where it listens,
// how it is asked for, and what it does when it cannot listen.
#include "HeadlessRun.h"
#include "HttpGet.h"
#include "LoopbackPort.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QCoreApplication* ensureCore()
{
    static int argc = 1;
    static char name[] = "headless-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return app;
}

// A port nobody listens on right now, for the program to take.
int freePort(const char* Address = "127.0.0.1")
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress(QString::fromLatin1(Address)), 0))
        return 0;
    return probe.serverPort();
}

bool accepts(const char* Address, int Port)
{
    QTcpSocket s;
    s.connectToHost(QString::fromLatin1(Address), static_cast<quint16>(Port));
    return s.waitForConnected(3000);
}

// The page once the program has bound its port (it binds after reading the settings).
std::optional<HttpAnswer> pageOf(HeadlessRun& Run, const char* Address, int Port)
{
    QElapsedTimer t;
    t.start();
    while (Run.Running() && t.elapsed() < 20000) {
        if (auto answer = HttpGet(QString::fromLatin1(Address), Port, "/metrics", 2000))
            return answer;
        Run.WaitForLines(1000000, 50);
    }
    return std::nullopt;
}

class MetricsEndpoint : public ::testing::Test {
protected:
    void SetUp() override { ensureCore(); }
    // An engine port that refuses: the program keeps trying, and serves meanwhile.
    RefusingPort engine;
};

} // namespace

TEST_F(MetricsEndpoint, BadAddressesEndWithTheUsageAndStatusTwo)
{
    const char* bad[] = {"", "0", "65536", "99999999999", "127.0.0.1:", ":9100", "::1:9100", "[127.0.0.1]:9100",
                         "[::1:9100", "host.invalid:9100", "-1", "127.0.0.1:0x10"};
    for (const char* value : bad) {
        SCOPED_TRACE(value);
        HeadlessRun run;
        ASSERT_TRUE(run.Run({QStringLiteral("--headless"), QStringLiteral("--metrics"), QString::fromLatin1(value)}));
        EXPECT_FALSE(run.EndedBySignal());
        EXPECT_EQ(run.ExitStatus(), 2);
        EXPECT_EQ(run.Stdout(), QString());
        EXPECT_TRUE(run.Stderr().startsWith("chanload: the option '--metrics'")) << run.Stderr().toStdString();
        EXPECT_TRUE(run.Stderr().contains("Usage: chanload")) << run.Stderr().toStdString();
    }
}

TEST_F(MetricsEndpoint, APortAloneListensOnThisMachineOnlyAndAnAddressWhereGiven)
{
    struct Case {
        const char* name;
        const char* option; // "" for the settings file only
        const char* setting;
        const char* address; // where it must answer
        const char* notThere; // another loopback address where it must not
    };
    const Case cases[] = {
        {"a port alone", "PORT", "", "127.0.0.1", "127.0.0.2"},
        {"an address given", "127.0.0.2:PORT", "", "127.0.0.2", "127.0.0.1"},
        {"the settings file", "", "PORT", "127.0.0.1", "127.0.0.2"},
        {"the settings file with an address", "", "127.0.0.3:PORT", "127.0.0.3", "127.0.0.1"},
        {"the command line before the settings file", "127.0.0.2:PORT", "127.0.0.3:OTHER", "127.0.0.2", "127.0.0.3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int port = freePort(c.address);
        ASSERT_NE(port, 0);
        const auto withPort = [&](const char* text) {
            return QString::fromLatin1(text)
                .replace(QLatin1String("OTHER"), QString::number(port))
                .replace(QLatin1String("PORT"), QString::number(port));
        };
        HeadlessRun run;
        const QString config = run.WriteConfig(QStringLiteral("m.ini"), engine.number(), 1, 30000);
        if (*c.setting) {
            QFile f(config);
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write("METRICS=" + withPort(c.setting).toLatin1() + "\n");
        }
        QStringList arguments = {QStringLiteral("--headless"), QStringLiteral("--config"), config};
        if (*c.option)
            arguments << QStringLiteral("--metrics") << withPort(c.option);
        ASSERT_TRUE(run.Start(arguments));
        const auto page = pageOf(run, c.address, port);
        ASSERT_TRUE(page) << run.Stderr().toStdString();
        EXPECT_EQ(page->Status, 200);
        EXPECT_TRUE(page->Body.contains("\nchanload_engine_up{port=\"1\"} 0\n")) << page->Body.toStdString();
        EXPECT_FALSE(accepts(c.notThere, port));
        run.Signal(SIGTERM);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_EQ(run.ExitStatus(), 0);
        EXPECT_EQ(run.Stderr(), QString());
    }
}

TEST_F(MetricsEndpoint, APortInUseOrABadSettingEndsWithStatusOne)
{
    RefusingPort taken;
    ASSERT_NE(taken.number(), 0);
    struct Case {
        const char* name;
        QStringList options;
        QString setting;
        QString message;
    };
    const Case cases[] = {
        {"a port in use", {QStringLiteral("--metrics"), QString::number(taken.number())}, QString(),
         QStringLiteral("chanload: cannot serve metrics on 127.0.0.1:%1: ").arg(taken.number())},
        {"a setting that is no address", {}, QStringLiteral("localhost:http"),
         QStringLiteral("chanload: cannot serve metrics: 'localhost:http' is not [ADDRESS:]PORT\n")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HeadlessRun run;
        const QString config = run.WriteConfig(QStringLiteral("m.ini"), engine.number(), 1, 30000);
        if (!c.setting.isEmpty()) {
            QFile f(config);
            ASSERT_TRUE(f.open(QIODevice::Append));
            f.write("METRICS=" + c.setting.toLatin1() + "\n");
        }
        ASSERT_TRUE(run.Run(QStringList{QStringLiteral("--headless"), QStringLiteral("--config"), config} + c.options));
        EXPECT_FALSE(run.EndedBySignal());
        EXPECT_EQ(run.ExitStatus(), 1);
        EXPECT_TRUE(run.Stderr().startsWith(c.message)) << run.Stderr().toStdString();
    }
}
