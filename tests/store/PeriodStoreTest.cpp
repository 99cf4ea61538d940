// SPDX-License-Identifier: GPL-3.0-or-later
// The history store as the sqlite3 shell, Grafana and the meter see it: the
// rows a period leaves, the hourly fold, the faults the meter must survive,
// and the times the export takes.
#include "PeriodStore.h"
#include "StorePath.h"
#include "StoreTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTemporaryDir>
#include <QVariant>

#include <gtest/gtest.h>

#include <sqlite3.h>

#include <cmath>
#include <functional>
#include <map>
#include <optional>

namespace {

constexpr int64_t T0 = 1'796'000'000; // 2026-11-30T00:53:20Z

void ensureCore()
{
    static int argc = 1;
    static char name[] = "store-test";
    static char* argv[] = {name, nullptr};
    static auto* app = new QCoreApplication(argc, argv);
    (void)app;
}

PeriodRecord period(int64_t Time, int N, EngineState Engine = EngineState::Answering)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = 1;
    r.Frames = N % 7;
    r.Bytes = 100 + N;
    r.Datas = 50 + N;
    r.Usage = static_cast<int16_t>(N % 90);
    r.Efficiency = static_cast<int16_t>(N % 60);
    r.Load = static_cast<int16_t>(N * 3 % 100);
    r.Airtime = static_cast<int16_t>(N % 80);
    r.OwnAirtime = static_cast<int16_t>(N % 4);
    r.Engine = Engine;
    r.MeasuredPreambles = N % 2 == 0;
    return r;
}

// What the sqlite3 shell would print for one query: fields joined by '|',
// NULL as empty.
QStringList rows(const TPeriodStore& Store, const QString& Sql)
{
    QSqlQuery q(Store.Database());
    QStringList out;
    if (!q.exec(Sql))
        return {QStringLiteral("error: ") + q.lastError().text()};
    while (q.next()) {
        QStringList fields;
        for (int i = 0; i < q.record().count(); ++i)
            fields << (q.value(i).isNull() ? QString() : q.value(i).toString());
        out << fields.join('|');
    }
    return out;
}

class PeriodStoreTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureCore();
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("port1.sqlite"));
    }
    QTemporaryDir dir;
    QString path;
};

} // namespace

TEST_F(PeriodStoreTest, EachPeriodIsOneRowAsTheCsvLogHasIt)
{
    TPeriodStore store;
    ASSERT_TRUE(store.Open(path)) << store.Error().toStdString();
    const PeriodRecord written[] = {period(T0, 12), period(T0 + 30, 13, EngineState::Silent),
                                    period(T0 + 60, 14, EngineState::Disconnected),
                                    period(T0 + 90, 15, EngineState::NoPort), period(T0 + 120, 0)};
    for (const PeriodRecord& r : written)
        ASSERT_TRUE(store.Write(r)) << store.Error().toStdString();
    // Figures empty where the CSV leaves them empty; the state as its last column.
    const QStringList expected = {
        "1796000000|1|5|112|62|12|12|36|12|0|answering|1", "1796000030|1|||||||||silent|",
        "1796000060|1|||||||||disconnected|", "1796000090|1|||||||||no-port|",
        "1796000120|1|0|100|50|0|0|0|0|0|answering|1"};
    EXPECT_EQ(rows(store, "SELECT * FROM periods ORDER BY time"), expected);
    EXPECT_EQ(rows(store, "SELECT value FROM meta WHERE key = 'schema_version'"), QStringList{"1"});
    EXPECT_EQ(rows(store, "PRAGMA journal_mode"), QStringList{"wal"});

    // Read back, they are the records that went in.
    const std::vector<PeriodRecord> back = store.Periods(T0, T0 + 120);
    ASSERT_EQ(back.size(), 5u);
    for (size_t i = 0; i < back.size(); ++i) {
        EXPECT_EQ(back[i].Engine, written[i].Engine) << i;
        EXPECT_EQ(CsvLine(back[i]), CsvLine(written[i])) << i;
        EXPECT_EQ(back[i].MeasuredPreambles, written[i].HasFigures() && written[i].MeasuredPreambles) << i;
    }
    // A new run goes on where the last one ended.
    store.Close();
    TPeriodStore again;
    ASSERT_TRUE(again.Open(path));
    EXPECT_EQ(again.LastTime(), T0 + 120);
    EXPECT_EQ(again.Periods(T0 + 60, T0 + 90).size(), 2u);
}

TEST_F(PeriodStoreTest, EachPeriodJoinsItsHourPeriodsOlderThanAMonthGoAndHoursOlderThanTwoYearsToo)
{
    TPeriodStore store;
    ASSERT_TRUE(store.Open(path));
    // 10-second periods where they fold, so that an hour (360 of them) takes
    // more than one step, then one an hour; airtime climbs through each hour
    // (so that its parts have different means), every tenth period blind.
    const int64_t start = HourOf(T0) - 33 * 86400;
    struct Expected {
        int periods = 0, blind = 0;
        int64_t frames = 0;
        double airtimeSum = 0;
        int airtimeMax = -1;
    };
    std::map<int64_t, Expected> hour;
    int n = 0;
    const int64_t limit = HourOf(HourOf(T0) - TPeriodStore::RawSeconds);
    for (int64_t t = start; t <= HourOf(T0); t += t < limit ? 10 : 3600, ++n) {
        PeriodRecord r = period(t, n, n % 10 == 9 ? EngineState::Silent : EngineState::Answering);
        r.Airtime = static_cast<int16_t>((t - start) / 3600 % 50 + (t - start) % 3600 / 120);
        ASSERT_TRUE(store.Write(r)) << store.Error().toStdString();
        Expected& e = hour[HourOf(t)];
        ++e.periods;
        if (!r.HasFigures()) {
            ++e.blind;
            continue;
        }
        e.frames += r.Frames;
        e.airtimeSum += r.Airtime;
        e.airtimeMax = std::max<int>(e.airtimeMax, r.Airtime);
    }
    int steps = 0;
    while (store.FoldStep())
        ++steps;
    ASSERT_TRUE(store.Error().isEmpty()) << store.Error().toStdString();
    // Whole hours older than 31 days, in steps of at most FoldStepRows
    // periods: an hour of periods 10 s apart is 360 of them.
    const int foldedHours = static_cast<int>((limit - start) / 3600);
    EXPECT_EQ(foldedHours, 2 * 24);
    EXPECT_GE(steps, (360 + TPeriodStore::FoldStepRows - 1) / TPeriodStore::FoldStepRows * foldedHours);
    EXPECT_EQ(rows(store, QStringLiteral("SELECT MIN(time) FROM periods")), QStringList{QString::number(limit)});
    // Every hour has its row, folded or not.
    EXPECT_EQ(rows(store, "SELECT COUNT(*) FROM periods_hourly"), QStringList{QString::number(hour.size())});

    for (const int64_t h : {start, start + 3600, start + 25 * 3600, limit - 3600}) {
        const Expected& e = hour[h];
        QSqlQuery q(store.Database());
        ASSERT_TRUE(q.exec(QStringLiteral("SELECT periods, blind, frames, airtime_mean, airtime_max FROM "
                                          "periods_hourly WHERE time = %1")
                               .arg(h)) &&
                    q.next())
            << h;
        EXPECT_EQ(q.value(0).toInt(), 360);
        EXPECT_EQ(q.value(0).toInt(), e.periods);
        EXPECT_EQ(q.value(1).toInt(), 36);
        EXPECT_EQ(q.value(2).toLongLong(), e.frames);
        EXPECT_NEAR(q.value(3).toDouble(), e.airtimeSum / (e.periods - e.blind), 1e-9) << h;
        EXPECT_EQ(q.value(4).toInt(), e.airtimeMax);
    }
    // The window's hours are the same whether folded or not.
    const std::vector<HourFigures> hours = store.Hours(start, HourOf(T0));
    ASSERT_EQ(hours.size(), hour.size());
    for (const HourFigures& h : hours) {
        const Expected& e = hour[h.Time];
        EXPECT_EQ(h.Periods, e.periods) << h.Time;
        EXPECT_EQ(h.Blind, e.blind) << h.Time;
        EXPECT_NEAR(h.Airtime, e.blind == e.periods ? 0 : e.airtimeSum / (e.periods - e.blind), 1e-9) << h.Time;
        EXPECT_EQ(h.AirtimeMax, e.airtimeMax < 0 ? 0 : e.airtimeMax) << h.Time;
    }

    // Two years and a bit later, the oldest hours go too.
    ASSERT_TRUE(store.Write(period(start + TPeriodStore::HourlySeconds + 3600 + 1, 1)));
    while (store.FoldStep()) {
    }
    EXPECT_EQ(rows(store, QStringLiteral("SELECT COUNT(*) FROM periods_hourly WHERE time < %1")
                              .arg(start + 3600 + 1)),
              QStringList{"0"});
}

TEST_F(PeriodStoreTest, FaultsLeaveAClearMessageAndNothingDeleted)
{
    struct Case {
        const char* name;
        std::function<void(const QString&)> before;
        bool opens;
        const char* says;
    };
    const Case cases[] = {
        {"not a database", [](const QString& p) {
             QFile f(p);
             ASSERT_TRUE(f.open(QIODevice::WriteOnly));
             f.write(QByteArray(8192, 'x'));
         }, true, "damaged"},
        {"made by a newer version", [](const QString& p) {
             TPeriodStore s;
             ASSERT_TRUE(s.Open(p));
             QSqlQuery q(s.Database());
             ASSERT_TRUE(q.exec("UPDATE meta SET value = '99' WHERE key = 'schema_version'"));
         }, false, "newer ChanLoad"},
        {"folder cannot be made", [](const QString& p) {
             QFile f(QFileInfo(p).absolutePath());
             ASSERT_TRUE(f.open(QIODevice::WriteOnly)); // a file where the folder should be
         }, false, "cannot make its folder"},
    };
    for (const Case& c : cases) {
        QTemporaryDir d;
        const QString p = d.filePath(QStringLiteral("sub/port1.sqlite"));
        if (std::string(c.name) != "folder cannot be made")
            QDir().mkpath(d.filePath("sub"));
        c.before(p);
        TPeriodStore store;
        EXPECT_EQ(store.Open(p), c.opens) << c.name;
        const QString said = c.opens ? store.TakeNotice() : store.Error();
        EXPECT_TRUE(said.contains(c.says)) << c.name << ": " << said.toStdString();
        EXPECT_TRUE(said.contains(p)) << c.name << ": " << said.toStdString();
        if (c.opens) {
            // The damaged file is kept under a new name; the new store works.
            const QStringList aside = QDir(d.filePath("sub")).entryList({"port1.sqlite.damaged-*"});
            ASSERT_EQ(aside.size(), 1) << c.name;
            QFile kept(d.filePath("sub/" + aside[0]));
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), QByteArray(8192, 'x'));
            EXPECT_TRUE(store.Write(period(T0, 1))) << store.Error().toStdString();
        }
    }
}

TEST_F(PeriodStoreTest, ASecondProgramOnTheSameStoreSaysSoAndTheFirstGoesOn)
{
    TPeriodStore first, second;
    ASSERT_TRUE(first.Open(path));
    EXPECT_FALSE(second.Open(path));
    EXPECT_TRUE(second.Error().contains("in use by another ChanLoad")) << second.Error().toStdString();
    EXPECT_TRUE(second.Error().contains(QString::number(QCoreApplication::applicationPid())));
    EXPECT_FALSE(second.Write(period(T0, 1)));
    EXPECT_TRUE(first.Write(period(T0, 1)));
    // Once the first is gone, the store is free again.
    first.Close();
    EXPECT_TRUE(second.Open(path)) << second.Error().toStdString();
}

// A run killed outright leaves its lock file naming its process ID; a later
// run given the same ID (the first process of a restarted container) finds
// the ID alive, its own, and must not take the store for one in use.
TEST_F(PeriodStoreTest, ALockLeftWithThisProcessIdByAnEndedRunIsTakenOver)
{
    QByteArray left;
    {
        QLockFile earlier(path + ".lock");
        ASSERT_TRUE(earlier.tryLock(0));
        QFile f(path + ".lock");
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        left = f.readAll();
    }
    QFile f(path + ".lock");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(left);
    f.close();
    ASSERT_TRUE(left.startsWith(QByteArray::number(QCoreApplication::applicationPid()) + '\n'));

    TPeriodStore store;
    EXPECT_TRUE(store.Open(path)) << store.Error().toStdString();
    EXPECT_TRUE(store.Write(period(T0, 1))) << store.Error().toStdString();
}

TEST_F(PeriodStoreTest, AFullDiskFailsTheWriteAndTheStoreTakesPeriodsAgainWhenThereIsRoom)
{
    TPeriodStore store;
    ASSERT_TRUE(store.Open(path));
    ASSERT_TRUE(store.Write(period(T0, 1)));
    // SQLite's page limit stands in for a full disk: the same error.
    QSqlQuery q(store.Database());
    ASSERT_TRUE(q.exec("PRAGMA page_count") && q.next());
    const int pages = q.value(0).toInt();
    ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA max_page_count = %1").arg(pages)));
    bool refused = false;
    int n = 0;
    for (; n < 2000 && !refused; ++n)
        refused = !store.Write(period(T0 + 30 + 30 * n, n));
    ASSERT_TRUE(refused);
    EXPECT_TRUE(store.Error().contains("full")) << store.Error().toStdString();
    const int64_t before = rows(store, "SELECT COUNT(*) FROM periods")[0].toLongLong();
    ASSERT_TRUE(q.exec("PRAGMA max_page_count = 100000"));
    EXPECT_TRUE(store.Write(period(T0 + 100000, 1))) << store.Error().toStdString();
    // The refused period left nothing behind, half or whole.
    EXPECT_EQ(rows(store, "SELECT COUNT(*) FROM periods")[0].toLongLong(), before + 1);
}

// The disk is synced only by checkpoints: a tick's write never runs one, the
// hourly fold ends with one, and the periods are in the file either way.
TEST_F(PeriodStoreTest, OnlyTheFoldCheckpointsTheLog)
{
    const struct {
        bool fold;
        int writes;
    } cases[] = {{false, 400}, {true, 400}};
    for (const auto& c : cases) {
        const QString file = dir.filePath(QStringLiteral("checkpoint-%1.sqlite").arg(c.fold));
        TPeriodStore store;
        ASSERT_TRUE(store.Open(file)) << store.Error().toStdString();
        for (int n = 0; n < c.writes; ++n)
            ASSERT_TRUE(store.Write(period(T0 + 30 * n, n))) << store.Error().toStdString();
        if (c.fold)
            while (store.FoldStep()) {
            }
        // The next write starts the log afresh once all of it is in the file.
        ASSERT_TRUE(store.Write(period(T0 + 30 * c.writes, c.writes)));
        QSqlQuery q(store.Database());
        ASSERT_TRUE(q.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")) && q.next());
        const int frames = q.value(1).toInt();
        // Each write adds at least its period's page and its hour's page: more
        // than SQLite's default of 1000 frames before it checkpoints by itself.
        if (c.fold)
            EXPECT_LT(frames, 10) << frames << " frames: the log was not checkpointed by the fold";
        else
            EXPECT_GE(frames, 2 * c.writes) << frames << " frames: a write checkpointed the log";
        EXPECT_EQ(rows(store, "SELECT COUNT(*) FROM periods"), QStringList{QString::number(c.writes + 1)})
            << c.fold;
    }
}

TEST_F(PeriodStoreTest, RowsNeverGoBackInTimeWhenTheClockSteps)
{
    struct Case {
        const char* name;
        std::vector<int64_t> wall; // the wall clock of each period
    };
    const Case cases[] = {
        {"in step", {T0, T0 + 30, T0 + 60}},
        {"set back an hour", {T0, T0 + 30, T0 - 3600 + 60, T0 - 3600 + 90}},
        {"set forwards a day", {T0, T0 + 30, T0 + 86400 + 60}},
        {"set back to 1970", {T0, T0 + 30, 10, 40}},
    };
    for (const Case& c : cases) {
        QTemporaryDir d;
        TPeriodStore store;
        ASSERT_TRUE(store.Open(d.filePath("s.sqlite")));
        for (size_t i = 0; i < c.wall.size(); ++i)
            ASSERT_TRUE(store.Write(period(c.wall[i], int(i))));
        const QStringList times = rows(store, "SELECT time FROM periods ORDER BY rowid");
        ASSERT_EQ(times.size(), int(c.wall.size())) << c.name;
        for (int i = 1; i < times.size(); ++i)
            EXPECT_GE(times[i].toLongLong(), times[i - 1].toLongLong()) << c.name << " row " << i;
        // Periods the wall clock timed correctly keep their time.
        EXPECT_EQ(times[0].toLongLong(), c.wall[0]) << c.name;
        EXPECT_EQ(times[1].toLongLong(), c.wall[1]) << c.name;
        if (c.wall[2] > c.wall[1])
            EXPECT_EQ(times[2].toLongLong(), c.wall[2]) << c.name;
        else
            EXPECT_FALSE(store.TakeNotice().isEmpty()) << c.name << ": the clock being behind is not told";
    }
    // Restarted with the clock behind what is stored: the new rows come after.
    TPeriodStore first;
    ASSERT_TRUE(first.Open(path));
    ASSERT_TRUE(first.Write(period(T0, 1)));
    first.Close();
    TPeriodStore second;
    ASSERT_TRUE(second.Open(path));
    ASSERT_TRUE(second.Write(period(T0 - 7200, 2)));
    EXPECT_GT(second.LastTime(), T0);
}

namespace {

// Another job's table, as the stations keep theirs.
class CountingTable : public TStoreTable {
public:
    bool failWrites = false;
    QStringList Schema() const override { return {"CREATE TABLE IF NOT EXISTS extra(time INTEGER, n INTEGER)"}; }
    bool WritePeriod(QSqlDatabase& Db, const PeriodRecord& Period, QString& Error) override
    {
        if (failWrites) {
            Error = QStringLiteral("refused on purpose");
            return false;
        }
        QSqlQuery q(Db);
        return q.exec(QStringLiteral("INSERT INTO extra VALUES (%1, %2)").arg(Period.Time).arg(Period.Frames));
    }
    bool FoldRows(QSqlDatabase& Db, int64_t, int64_t From, int64_t To, QString&) override
    {
        QSqlQuery q(Db);
        return q.exec(QStringLiteral("DELETE FROM extra WHERE time >= %1 AND time < %2").arg(From).arg(To));
    }
    bool ExpireHourly(QSqlDatabase&, int64_t, QString&) override { return true; }
};

} // namespace

TEST_F(PeriodStoreTest, AnotherJobsTableSharesThePeriodsTransactionAndFold)
{
    CountingTable extra;
    TPeriodStore store;
    store.AddTable(&extra);
    ASSERT_TRUE(store.Open(path));
    ASSERT_TRUE(store.Write(period(T0, 3)));
    EXPECT_EQ(rows(store, "SELECT * FROM extra"), QStringList{"1796000000|3"});
    // A table that cannot take its rows takes the period's row with it.
    extra.failWrites = true;
    EXPECT_FALSE(store.Write(period(T0 + 30, 4)));
    EXPECT_TRUE(store.Error().contains("refused on purpose"));
    EXPECT_EQ(rows(store, "SELECT COUNT(*) FROM periods"), QStringList{"1"});
    extra.failWrites = false;
    // Folded with the periods once they are old enough.
    ASSERT_TRUE(store.Write(period(T0 + TPeriodStore::RawSeconds + 7200, 5)));
    while (store.FoldStep()) {
    }
    EXPECT_EQ(rows(store, "SELECT time FROM extra"), QStringList{QString::number(T0 + TPeriodStore::RawSeconds + 7200)});
}

TEST(CommandLineTimeTest, DatesDateTimesAndUnixSeconds)
{
    struct Case {
        const char* text;
        bool end;
        std::optional<int64_t> expected;
    };
    // 2026-12-01 is day 20 788 after 1970-01-01: 20788 * 86400 = 1 796 083 200.
    const Case cases[] = {
        {"1796083200", false, 1796083200},
        {"2026-12-01", false, 1796083200},
        {"2026-12-01", true, 1796083200 + 86399},
        {"2026-12-01T18:30", false, 1796083200 + 18 * 3600 + 30 * 60},
        {"2026-12-01T18:30:00Z", true, 1796083200 + 18 * 3600 + 30 * 60},
        {"2026-12-01T18:30:00+01:00", false, 1796083200 + 17 * 3600 + 30 * 60},
        {"yesterday", false, std::nullopt},
        {"2026-13-01", false, std::nullopt},
        {"", false, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseCommandLineTime(QString::fromLatin1(c.text), c.end), c.expected) << c.text;
}

// SQLite's page cache starts with a block of 20 pages unless told otherwise
// before its first use; the meter reads a few pages and writes one row per
// period, so a store open and written once holds less than that block alone.
TEST_F(PeriodStoreTest, AnOpenStoreHoldsLessThanTwentyPagesOfCache)
{
    const sqlite3_int64 before = sqlite3_memory_used();
    TPeriodStore store;
    ASSERT_TRUE(store.Open(path)) << store.Error().toStdString();
    ASSERT_TRUE(store.Write(period(T0, 1)));
    ASSERT_EQ(rows(store, "PRAGMA page_size"), QStringList{"4096"});
    const sqlite3_int64 used = sqlite3_memory_used() - before;
    // 74 KiB with pages taken as used, 127 KiB with the block (SQLite 3.40).
    EXPECT_LT(used, 20 * 4096);
}

// A store of 40 days: the check at opening reads every page, the day shown
// at start some dozens and the fold of the 9 days beyond the 31 kept raw some
// hundreds, more than the 256 KiB the cache may hold; the writes after any
// of them need a few pages.
TEST_F(PeriodStoreTest, OneOffReadsLeaveNoPagesCached)
{
    constexpr int Rows = 40 * 2880; // a period every 30 s
    TPeriodStore store;
    ASSERT_TRUE(store.Open(path) && store.Write(period(T0, 1)));
    rows(store, QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                               "INSERT INTO periods(time, port, bytes) SELECT %2 + i * 30, 1, i FROM n")
                    .arg(Rows)
                    .arg(T0));
    store.Close();
    ASSERT_GT(QFile(path).size() + QFile(path + "-wal").size(), 1024 * 1024);
    const sqlite3_int64 before = sqlite3_memory_used();
    const std::pair<const char*, std::function<bool()>> stages[] = {
        {"opened", [&] { return store.Open(path); }},
        // Both ends of the day included.
        {"day read", [&] { return store.Periods(T0 + Rows * 30 - 86400, T0 + Rows * 30).size() == 2881 &&
                                  store.ReleaseCache(); }},
        {"folded", [&] {
             int steps = 0;
             for (bool more = store.Write(period(T0 + (Rows + 1) * 30, 2)); more; more = store.FoldStep())
                 ++steps;
             return steps > 9 * 2880 / TPeriodStore::FoldStepRows;
         }},
    };
    for (const auto& [stage, run] : stages) {
        ASSERT_TRUE(run()) << stage << ": " << store.Error().toStdString();
        EXPECT_LT(sqlite3_memory_used() - before, 128 * 1024) << stage;
    }
}
