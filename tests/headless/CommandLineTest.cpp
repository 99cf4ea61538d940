// SPDX-License-Identifier: GPL-3.0-or-later
// The program's command line and its ends: what each option does to the
// exit status, standard output and standard error, with the real program in
// the surroundings of a station without a screen.
#include "FaultyEngine.h"
#include "HeadlessRun.h"
#include "LoopbackPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

QCoreApplication* ensureCore()
{
    static int argc = 1;
    static char name[] = "headless-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return app;
}

QStringList fileLines(const QString& Path)
{
    QFile f(Path);
    if (!f.open(QIODevice::ReadOnly))
        return {QStringLiteral("<cannot read %1>").arg(Path)};
    QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

bool waitForStep(const FaultyEngine& Engine, int N, int Ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (Engine.Step() < N && t.elapsed() < Ms)
        std::this_thread::sleep_for(5ms);
    return Engine.Step() >= N;
}

// Lines of periods in which the meter could see nothing: no figures, and why.
void expectBlindPeriods(const QStringList& Lines, const QString& Engine)
{
    for (const QString& line : Lines)
        EXPECT_TRUE(line.endsWith(QStringLiteral(",1,,,,,,,,,") + Engine)) << line.toStdString();
}

class CommandLine : public ::testing::Test {
protected:
    void SetUp() override { ensureCore(); }
};

} // namespace

TEST_F(CommandLine, HelpAndVersionPrintOnStandardOutputAndEndWithStatusZero)
{
    {
        HeadlessRun run;
        ASSERT_TRUE(run.Run({QStringLiteral("--help")}));
        EXPECT_FALSE(run.EndedBySignal());
        EXPECT_EQ(run.ExitStatus(), 0);
        const QString out = run.Stdout();
        EXPECT_TRUE(out.startsWith("Usage: chanload")) << out.toStdString();
        for (const char* option : {"--help", "--version", "--config <file>", "--log <file>", "--headless", "--verbose"})
            EXPECT_TRUE(out.contains(QLatin1String(option))) << option << " missing from:\n" << out.toStdString();
        EXPECT_EQ(run.Stderr(), QString());
    }
    {
        HeadlessRun run;
        ASSERT_TRUE(run.Run({QStringLiteral("--version")}));
        EXPECT_FALSE(run.EndedBySignal());
        EXPECT_EQ(run.ExitStatus(), 0);
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^chanload \\d+\\.\\d+\\S*\\n$")).match(run.Stdout()).hasMatch())
            << run.Stdout().toStdString();
        EXPECT_EQ(run.Stderr(), QString());
    }
}

TEST_F(CommandLine, BadCommandLineGivesTheUsageOnStandardErrorAndStatusTwo)
{
    const QList<QStringList> bad = {
        {QStringLiteral("--no-such-option")},
        {QStringLiteral("--headless"), QStringLiteral("--config")},
        {QStringLiteral("--log")},
        {QStringLiteral("--config="), QStringLiteral("--headless")},
        {QStringLiteral("--headless"), QStringLiteral("stray.ini")},
    };
    for (const QStringList& arguments : bad) {
        SCOPED_TRACE(arguments.join(' ').toStdString());
        HeadlessRun run;
        ASSERT_TRUE(run.Run(arguments));
        EXPECT_FALSE(run.EndedBySignal());
        EXPECT_EQ(run.ExitStatus(), 2);
        EXPECT_EQ(run.Stdout(), QString()) << "no CSV header, no usage on standard output";
        const QString err = run.Stderr();
        EXPECT_TRUE(err.startsWith("chanload: ")) << err.toStdString();
        EXPECT_TRUE(err.contains("Usage: chanload")) << err.toStdString();
    }
}

TEST_F(CommandLine, SettingsFileThatCannotBeReadEndsWithStatusOne)
{
    HeadlessRun run;
    const QString folder = run.Path(QStringLiteral("port1.ini"));
    ASSERT_TRUE(QDir().mkpath(folder));
    ASSERT_TRUE(run.Run({QStringLiteral("--headless"), QStringLiteral("--config"), folder}));
    EXPECT_FALSE(run.EndedBySignal());
    EXPECT_EQ(run.ExitStatus(), 1);
    EXPECT_EQ(run.Stdout(), QString()) << "ended before the first line";
    const QStringList err = run.StderrLines();
    ASSERT_EQ(err.size(), 1) << run.Stderr().toStdString();
    EXPECT_TRUE(err[0].startsWith("chanload: ") && err[0].contains(folder)) << err[0].toStdString();

    // A file without read permission; root reads it anyway, so only where the
    // permission holds.
    HeadlessRun locked;
    const QString file = locked.WriteConfig(QStringLiteral("locked.ini"), 8000, 1, 1000);
    ASSERT_TRUE(QFile::setPermissions(file, QFileDevice::WriteOwner));
    if (::access(file.toLocal8Bit().constData(), R_OK) != 0) {
        ASSERT_TRUE(locked.Run({QStringLiteral("--headless"), QStringLiteral("--config"), file}));
        EXPECT_EQ(locked.ExitStatus(), 1);
        EXPECT_EQ(locked.Stdout(), QString());
        EXPECT_EQ(locked.StderrLines().size(), 1) << locked.Stderr().toStdString();
    }
}

TEST_F(CommandLine, LogThatCannotBeOpenedEndsWithStatusOne)
{
    // Against a refusing engine the program would also end with status 1, but
    // only after its lines and with another message.
    RefusingPort refusing;
    ASSERT_GT(refusing.number(), 0);
    HeadlessRun run;
    const QString config = run.WriteConfig(QStringLiteral("port1.ini"), refusing.number(), 1, 100);
    const QString log = run.Path(QStringLiteral("no/such/folder/load.csv"));
    ASSERT_TRUE(run.Run({QStringLiteral("--headless"), QStringLiteral("--config"), config, QStringLiteral("--log"), log}));
    EXPECT_FALSE(run.EndedBySignal());
    EXPECT_EQ(run.ExitStatus(), 1);
    EXPECT_EQ(run.Stdout(), QString());
    const QStringList err = run.StderrLines();
    ASSERT_EQ(err.size(), 1) << run.Stderr().toStdString();
    EXPECT_TRUE(err[0].startsWith("chanload: ") && err[0].contains(log)) << err[0].toStdString();
    EXPECT_FALSE(QFile::exists(log));
}

TEST_F(CommandLine, RefusedEngineEndsWithStatusOneAfterTwelveAttemptsAndTheLogGrowsUnderOneHeader)
{
    RefusingPort refusing;
    ASSERT_GT(refusing.number(), 0);
    HeadlessRun first, second;
    const QString config = first.WriteConfig(QStringLiteral("port1.ini"), refusing.number(), 1, 100);
    const QString log = first.Path(QStringLiteral("load.csv"));
    const QString expectedError =
        QStringLiteral("chanload: no AGWPE engine answered at 127.0.0.1:%1 after 12 attempts").arg(refusing.number());
    const QStringList arguments = {QStringLiteral("--headless"), QStringLiteral("--config"), config,
                                   QStringLiteral("--log"), log};

    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(first.Run(arguments, 30000));
    EXPECT_FALSE(first.EndedBySignal());
    EXPECT_EQ(first.ExitStatus(), 1);
    const QString blind = QStringLiteral("chanload: no connection to the engine at 127.0.0.1:%1").arg(refusing.number());
    EXPECT_EQ(first.StderrLines(), (QStringList{blind, expectedError}));
    // The first attempt at the start, one more at each tick: eleven ticks, and
    // Qt's coarse timers may fire up to 5 % early.
    EXPECT_GE(t.elapsed(), 11 * 100 * 9 / 10);
    const QStringList out = first.StdoutLines();
    ASSERT_FALSE(out.isEmpty());
    EXPECT_EQ(out[0], kCsvHeader);
    // Each tick evaluates its period and then tries again; the twelfth refusal
    // comes before a twelfth tick unless the program stalled for a whole period.
    EXPECT_GE(out.size() - 1, 11) << out.join('\n').toStdString();
    EXPECT_LE(out.size() - 1, 12) << out.join('\n').toStdString();
    expectBlindPeriods(out.mid(1), QStringLiteral("disconnected"));
    // A new log starts with the header and then holds what standard output held.
    EXPECT_EQ(fileLines(log), out);

    ASSERT_TRUE(second.Run(arguments, 30000));
    EXPECT_EQ(second.ExitStatus(), 1);
    EXPECT_EQ(second.StderrLines(), (QStringList{blind, expectedError}));
    const QStringList again = second.StdoutLines();
    ASSERT_FALSE(again.isEmpty());
    EXPECT_EQ(again[0], kCsvHeader) << "standard output starts with the header on every run";
    // The log goes on under its one header.
    EXPECT_EQ(fileLines(log), out + again.mid(1));
}

TEST_F(CommandLine, TermAndIntEndAConnectedRunWithStatusZero)
{
    for (const int signal : {SIGTERM, SIGINT}) {
        SCOPED_TRACE(signal == SIGTERM ? "SIGTERM" : "SIGINT");
        FaultyEngine engine([](EnginePeer& p) {
            if (!p.ReadStartRequests())
                return;
            p.Reached(1);
            p.StaySilent();
        });
        ASSERT_GT(engine.Port(), 0);
        HeadlessRun run;
        const QString config = run.WriteConfig(QStringLiteral("port1.ini"), engine.Port(), 1, 100);
        // An empty log file gets its header too.
        const QString log = run.Path(QStringLiteral("load.csv"));
        ASSERT_TRUE(QFile(log).open(QIODevice::WriteOnly));
        ASSERT_TRUE(run.Start({QStringLiteral("--headless"), QStringLiteral("--config"), config, QStringLiteral("--log"), log}));
        ASSERT_TRUE(waitForStep(engine, 1)) << run.Stderr().toStdString();
        // The header and two periods: connected and ticking.
        ASSERT_TRUE(run.WaitForLines(3)) << run.Stderr().toStdString();
        run.Signal(signal);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_FALSE(run.EndedBySignal()) << "the signal's default action ended it";
        EXPECT_EQ(run.ExitStatus(), 0);
        // Taken and never answered, as Dire Wolf does to a fourth client: one line.
        EXPECT_EQ(run.StderrLines(),
                  QStringList{QStringLiteral("chanload: the engine at 127.0.0.1:%1 is not answering").arg(engine.Port())});
        const QStringList out = run.StdoutLines();
        EXPECT_EQ(out[0], kCsvHeader);
        expectBlindPeriods(out.mid(1), QStringLiteral("silent"));
        // Every line went out whole before the end.
        EXPECT_TRUE(run.Stdout().endsWith('\n'));
        EXPECT_EQ(fileLines(log), out);
    }
}

TEST_F(CommandLine, LostConnectionEndsWithStatusOneAndOneLine)
{
    FaultyEngine engine([](EnginePeer& p) {
        if (!p.ReadStartRequests())
            return;
        p.Reached(1);
        if (p.WaitForGo(1))
            p.Close();
    });
    ASSERT_GT(engine.Port(), 0);
    HeadlessRun run;
    const QString config = run.WriteConfig(QStringLiteral("port1.ini"), engine.Port(), 1, 100);
    ASSERT_TRUE(run.Start({QStringLiteral("--headless"), QStringLiteral("--config"), config}));
    ASSERT_TRUE(waitForStep(engine, 1)) << run.Stderr().toStdString();
    ASSERT_TRUE(run.WaitForLines(2)) << run.Stderr().toStdString();
    engine.Go(1);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_FALSE(run.EndedBySignal());
    EXPECT_EQ(run.ExitStatus(), 1);
    EXPECT_EQ(run.StderrLines(),
              (QStringList{QStringLiteral("chanload: the engine at 127.0.0.1:%1 is not answering").arg(engine.Port()),
                           QStringLiteral("chanload: the connection to the AGWPE engine at 127.0.0.1:%1 was lost")
                               .arg(engine.Port())}));
    EXPECT_EQ(run.StdoutLines().value(0), kCsvHeader);
}

TEST_F(CommandLine, WithoutADisplayTheWindowGivesOneLineNamingHeadlessAndStatusOne)
{
    for (const char* platform : {"", "xcb", "wayland"}) {
        SCOPED_TRACE(platform);
        HeadlessRun run;
        if (*platform)
            run.SetEnvironment(QStringLiteral("QT_QPA_PLATFORM"), QString::fromLatin1(platform));
        ASSERT_TRUE(run.Run({QStringLiteral("--config"), run.WriteConfig(QStringLiteral("p.ini"), 1, 1, 1000)}));
        EXPECT_FALSE(run.EndedBySignal()) << "Qt's abort";
        EXPECT_EQ(run.ExitStatus(), 1);
        ASSERT_EQ(run.StderrLines().size(), 1) << run.Stderr().toStdString();
        EXPECT_TRUE(run.StderrLines()[0].startsWith(QStringLiteral("chanload: ")));
        EXPECT_TRUE(run.StderrLines()[0].contains(QStringLiteral("--headless")));
    }
}

// Ten-column lines of an older version are not continued in eleven columns:
// they move aside, beside any that moved there before.
TEST_F(CommandLine, LogOfAnOlderVersionIsMovedAsideAndStartedAgain)
{
    const QByteArray oldLog = "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime\n"
                              "2026-12-01T10:00:00Z,1,3,100,43,2,43,0,5,0\n";
    HeadlessRun run;
    const QString log = run.Path(QStringLiteral("load.csv"));
    for (const auto& [name, bytes] : {std::pair{log, oldLog}, std::pair{log + ".old", QByteArray("earlier\n")}}) {
        QFile f(name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    const QString config = run.WriteConfig(QStringLiteral("port1.ini"), 1, 1, 100);
    ASSERT_TRUE(run.Start({QStringLiteral("--headless"), QStringLiteral("--config"), config, QStringLiteral("--log"), log}));
    ASSERT_TRUE(run.WaitForLines(2)) << run.Stderr().toStdString();
    run.Signal(SIGTERM);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_EQ(run.StderrLines().value(0),
              QStringLiteral("chanload: the log %1 had the columns of an older version; its lines are now in %1.old.2").arg(log));
    QFile aside(log + ".old.2");
    ASSERT_TRUE(aside.open(QIODevice::ReadOnly));
    EXPECT_EQ(aside.readAll(), oldLog);
    EXPECT_EQ(fileLines(log + ".old"), QStringList{QStringLiteral("earlier")});
    EXPECT_EQ(fileLines(log), run.StdoutLines());
}
