// SPDX-License-Identifier: GPL-3.0-or-later
// The history store as the real program leaves it: killed without warning
// and started again, with a second program on the same file, and exported.
#include "HeadlessRun.h"
#include "LoopbackPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>

#include <gtest/gtest.h>

#include <csignal>

namespace {

QCoreApplication* ensureCore()
{
    static int argc = 1;
    static char name[] = "headless-test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? QCoreApplication::instance()
                                                                 : new QCoreApplication(argc, argv);
    return app;
}

// The first answer of a query on the store file, read as the sqlite3 shell would.
QString ask(const QString& Path, const QString& Sql)
{
    const QString name = QUuid::createUuid().toString();
    QString answer;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(Path);
        QSqlQuery q(db);
        if (db.open() && q.exec(Sql) && q.next())
            answer = q.value(0).toString();
        else
            answer = QStringLiteral("<no answer to %1>").arg(Sql);
    }
    QSqlDatabase::removeDatabase(name);
    return answer;
}

// Lines after the header.
QStringList periods(HeadlessRun& Run)
{
    QStringList lines = Run.StdoutLines();
    if (!lines.isEmpty())
        lines.removeFirst();
    return lines;
}

} // namespace

TEST(HistoryStoreRunTest, AKilledRunKeepsEveryPeriodItPrintedAndASecondProgramGoesOnWithoutTheStore)
{
    ensureCore();
    // No engine: a port that refuses, so each period is "disconnected" and
    // the program gives up after its attempts.
    RefusingPort engine;
    ASSERT_NE(engine.number(), 0);
    HeadlessRun first;
    const QString config = first.WriteConfig(QStringLiteral("port1.ini"), engine.number(), 1, 500);
    const QString store = first.Path(QStringLiteral("data/chanload/port1.sqlite"));
    ASSERT_TRUE(first.Start({"--headless", "--config", config}));
    ASSERT_TRUE(first.WaitForLines(1 + 4));
    first.Signal(SIGKILL);
    ASSERT_TRUE(first.WaitForEnd());
    ASSERT_TRUE(first.EndedBySignal());
    const QStringList printed1 = periods(first);
    // The one line the blind start gives, and nothing about the store.
    EXPECT_EQ(first.Stderr(), QStringLiteral("chanload: no connection to the engine at 127.0.0.1:%1\n").arg(engine.number()));

    // Again on the same store (its own file now, by --history), and a second
    // program on it while the first runs.
    HeadlessRun again, other;
    ASSERT_TRUE(again.Start({"--headless", "--config", config, "--history", store}));
    ASSERT_TRUE(again.WaitForLines(1 + 1));
    ASSERT_TRUE(other.Start({"--headless", "--config", config, "--history", store}));
    ASSERT_TRUE(other.WaitForLines(1 + 2));
    EXPECT_TRUE(other.Stderr().contains("is in use by another ChanLoad (process " + QString::number(again.Pid()) + ")"))
        << other.Stderr().toStdString();
    ASSERT_TRUE(again.WaitForLines(1 + 3));
    again.Signal(SIGKILL);
    ASSERT_TRUE(again.WaitForEnd());
    other.Signal(SIGKILL);
    ASSERT_TRUE(other.WaitForEnd());
    const QStringList printed2 = periods(again);

    EXPECT_EQ(ask(store, "PRAGMA integrity_check"), "ok");
    // Each printed period is stored, in order; a kill may fall between a
    // period's row and its line, so one row more per run at most.
    HeadlessRun exporter;
    ASSERT_TRUE(exporter.Run({"--config", config, "--history", store, "--export-csv", "0", "4000000000"}));
    EXPECT_EQ(exporter.ExitStatus(), 0) << exporter.Stderr().toStdString();
    const QStringList exported = periods(exporter);
    EXPECT_EQ(exporter.StdoutLines().value(0), kCsvHeader);
    qsizetype at = 0;
    for (const QStringList* printed : {&printed1, &printed2}) {
        for (const QString& line : *printed) {
            ASSERT_LT(at, exported.size()) << line.toStdString();
            EXPECT_EQ(exported[at], line);
            ++at;
        }
        if (at < exported.size() && printed == &printed1 && exported[at] != printed2.value(0))
            ++at; // the row the kill left without its line
    }
    EXPECT_LE(exported.size() - at, 1);
    EXPECT_EQ(ask(store, "SELECT COUNT(*) FROM periods").toLongLong(), exported.size());
    for (const QString& line : exported)
        EXPECT_TRUE(line.endsWith(",,,,,,,,,disconnected")) << line.toStdString();
}

TEST(HistoryStoreRunTest, ExportTakesDatesAndNoneKeepsNoStore)
{
    ensureCore();
    RefusingPort engine;
    HeadlessRun run;
    const QString config = run.WriteConfig(QStringLiteral("port2.ini"), engine.number(), 1, 500);
    ASSERT_TRUE(run.Start({"--headless", "--config", config, "--history", "none"}));
    ASSERT_TRUE(run.WaitForLines(1 + 2));
    run.Signal(SIGKILL);
    ASSERT_TRUE(run.WaitForEnd());
    EXPECT_FALSE(QDir(run.Path("data")).exists());

    struct Case {
        QStringList arguments;
        int status;
        const char* says;
    };
    const Case cases[] = {
        {{"--history", "none", "--export-csv", "2026-12-01", "2026-12-02"}, 1, "needs a history store"},
        {{"--history", run.Path("missing.sqlite"), "--export-csv", "2026-12-01", "2026-12-02"}, 1, "does not exist"},
        {{"--export-csv", "yesterday", "2026-12-02"}, 2, "'yesterday' is no time"},
        {{"--export-csv", "2026-12-01"}, 2, "needs a time to end at"},
    };
    for (const Case& c : cases) {
        HeadlessRun e;
        ASSERT_TRUE(e.Run(QStringList{"--config", config} + c.arguments));
        EXPECT_EQ(e.ExitStatus(), c.status) << c.arguments.join(' ').toStdString();
        EXPECT_TRUE(e.Stderr().contains(c.says)) << e.Stderr().toStdString();
        EXPECT_TRUE(e.Stdout().isEmpty()) << e.Stdout().toStdString();
    }
}

// A run that ends through its exit steps closes the store first: a lock file
// left behind names a process ID that a later start may be given again (a
// service restarted in a container), and that start would take the store
// for one in use by another ChanLoad.
TEST(HistoryStoreRunTest, ARunEndedBySignalLeavesNoLockFile)
{
    ensureCore();
    RefusingPort engine;
    ASSERT_NE(engine.number(), 0);
    struct Case {
        const char* what;
        int signal;
    };
    const Case cases[] = {{"SIGTERM", SIGTERM}, {"SIGINT", SIGINT}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HeadlessRun run;
        const QString config = run.WriteConfig(QStringLiteral("port3.ini"), engine.number(), 1, 200);
        const QString store = run.Path(QStringLiteral("port3.sqlite"));
        ASSERT_TRUE(run.Start({"--headless", "--config", config, "--history", store}));
        ASSERT_TRUE(run.WaitForLines(1 + 2));
        ASSERT_TRUE(QFile::exists(store + ".lock")) << "the running program holds no lock";
        run.Signal(c.signal);
        ASSERT_TRUE(run.WaitForEnd());
        EXPECT_FALSE(run.EndedBySignal());
        EXPECT_EQ(run.ExitStatus(), 0) << run.Stderr().toStdString();
        EXPECT_FALSE(QFile::exists(store + ".lock"));
        // Closed, not dropped: the write-ahead file is folded into the store.
        EXPECT_FALSE(QFile::exists(store + "-wal"));
        EXPECT_GE(ask(store, "SELECT COUNT(*) FROM periods").toInt(), periods(run).size());
    }
}
