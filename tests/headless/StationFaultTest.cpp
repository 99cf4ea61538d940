// SPDX-License-Identifier: GPL-3.0-or-later
// The real program against what a station's surroundings do to it: a reader
// that goes away, FIFOs where files were expected, settings it cannot work
// with, a log rotated under it, Qt's own options. Each ends the way a
// service manager or a shell pipeline expects, with one clear line at most.
#include "FaultyEngine.h"
#include "HeadlessRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <thread>

#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;

QCoreApplication* ensureApp()
{
    static int argc = 1;
    static char name[] = "station-fault-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return app;
}

int linesIn(const QString& Path)
{
    QFile f(Path);
    return f.open(QIODevice::ReadOnly) ? static_cast<int>(f.readAll().count('\n')) : 0;
}

bool waitUntil(const std::function<bool()>& Condition, int Ms = 20000)
{
    QElapsedTimer t;
    t.start();
    while (!Condition() && t.elapsed() < Ms)
        std::this_thread::sleep_for(10ms);
    return Condition();
}

struct Station {
    Station(HeadlessRun& R, const QString& C) : Run(R), Config(C) {}
    HeadlessRun& Run;
    QString Config; // settings for the engine, SAMPLE=100
    QProcess Reader;
};

struct FaultCase {
    const char* What;
    std::function<QStringList(Station&)> Arguments; // after --headless
    std::function<void(Station&)> Act;             // once the header and a line are out; null: the run ends alone
    int Status;
    const char* Stderr; // the whole of standard error, as a pattern; FILE is the settings file
};

} // namespace

TEST(StationFaults, EachEndsWithTheRightStatusAndAtMostOneLine)
{
    ensureApp();
    const std::vector<FaultCase> cases = {
        {"standard output read by `head -n 2`",
         [](Station& S) {
             S.Run.PipeStdoutTo(S.Reader);
             S.Reader.start("head", {"-n", "2"});
             return QStringList{"--config", S.Config};
         },
         nullptr, 0, "^chanload: standard output was closed; ending\\n$"},
        {"--log on a FIFO nobody reads",
         [](Station& S) {
             const QString fifo = S.Run.Path("log.fifo");
             ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
             return QStringList{"--config", S.Config, "--log", fifo};
         },
         nullptr, 1, "^chanload: Cannot write the log .*log\\.fifo: it is a FIFO that no program reads\\n$"},
        {"--config on a FIFO",
         [](Station& S) {
             const QString fifo = S.Run.Path("config.fifo");
             ::mkfifo(QFile::encodeName(fifo).constData(), 0600);
             return QStringList{"--config", fifo};
         },
         nullptr, 1, "^chanload: cannot read the settings file .*config\\.fifo: it is not an ordinary file\\n$"},
        // The system's reason, in the user's language: there must be one.
        {"--config inside an ordinary file",
         [](Station& S) { return QStringList{"--config", S.Config + "/CHANLOAD.INI"}; },
         nullptr, 1, "^chanload: cannot read the settings file .*port1\\.ini/CHANLOAD\\.INI: \\S[^\\n]*\\n$"},
        // Every range has its case in the settings check's own test; one here
        // for the way a run without a window ends on it.
        {"a sample period of 0",
         [](Station& S) {
             return QStringList{"--config", S.Run.WriteConfig("zero.ini", 8000, 1, 0)};
         },
         nullptr, 1, "^chanload: SAMPLE=0 in FILE is out of range: the sample period is 100 to 86400000 ms\\n$"},
        {"settings only at the place earlier versions used",
         [](Station& S) {
             QFile old(S.Run.Path("config/CHANLOAD.INI"));
             EXPECT_TRUE(old.open(QIODevice::WriteOnly));
             old.write("[METER]\nSAMPLE=0\n");
             return QStringList{};
         },
         nullptr, 1,
         "^chanload: reading the settings from \\S*/config/CHANLOAD\\.INI, where earlier versions kept them; "
         "the next save writes \\S*/config/chanload/CHANLOAD\\.INI\\n"
         "chanload: SAMPLE=0 in \\S*/config/CHANLOAD\\.INI is out of range: the sample period is 100 to 86400000 ms\\n$"},
        {"log renamed, then SIGHUP",
         [](Station& S) { return QStringList{"--config", S.Config, "--log", S.Run.Path("load.csv")}; },
         [](Station& S) {
             const QString log = S.Run.Path("load.csv");
             ASSERT_TRUE(QFile::rename(log, log + ".1"));
             S.Run.Signal(SIGHUP);
             // A new file under the old name: its header and lines of its own.
             ASSERT_TRUE(waitUntil([&] { return linesIn(log) >= 2; })) << S.Run.Stderr().toStdString();
             EXPECT_TRUE(S.Run.Running()) << "SIGHUP ended the run";
             S.Run.Signal(SIGTERM);
         },
         0, "^$"},
        {"Qt's -style, -stylesheet and -reverse",
         [](Station& S) {
             return QStringList{"-style", "fusion", "-stylesheet=none.qss", "-reverse", "--config", S.Config};
         },
         [](Station& S) { S.Run.Signal(SIGTERM); }, 0, "^$"},
    };

    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.What);
        FaultyEngine engine([](EnginePeer& p) {
            if (p.ReadStartRequests())
                p.StaySilent();
        });
        ASSERT_GT(engine.Port(), 0);
        HeadlessRun run;
        Station station(run, run.WriteConfig("port1.ini", engine.Port(), 1, 100));
        const QStringList arguments = QStringList{"--headless"} + c.Arguments(station);
        ASSERT_TRUE(run.Start(arguments));
        if (c.Act) {
            ASSERT_TRUE(run.WaitForLines(2)) << run.Stderr().toStdString();
            c.Act(station);
            ASSERT_FALSE(testing::Test::HasFatalFailure());
        }
        ASSERT_TRUE(run.WaitForEnd()) << "still running";
        EXPECT_FALSE(run.EndedBySignal());
        EXPECT_EQ(run.ExitStatus(), c.Status);
        if (!station.Reader.program().isEmpty()) {
            ASSERT_TRUE(station.Reader.waitForFinished(5000));
            EXPECT_EQ(station.Reader.readAllStandardOutput().count('\n'), 2);
        }
        QString pattern = QString::fromUtf8(c.Stderr);
        if (arguments.contains("--config"))
            pattern.replace("FILE", QRegularExpression::escape(arguments.value(arguments.indexOf("--config") + 1)));
        // The engine here never answers, which the run reports once on its own.
        QString err = run.Stderr();
        err.remove(QRegularExpression("^chanload: the engine at \\S+ is not answering\n",
                                      QRegularExpression::MultilineOption));
        EXPECT_TRUE(QRegularExpression(pattern).match(err).hasMatch()) << run.Stderr().toStdString();
    }
}
