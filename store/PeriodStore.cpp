// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodStore.h"

#include "StoreTable.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSysInfo>
#include <QUuid>
#include <QVariant>

#include <sqlite3.h>

#include <algorithm>

namespace {

// SQLite's own result codes, as Qt passes them on.
constexpr int SqliteCorrupt = 11;
constexpr int SqliteNotADatabase = 26;

const char* const PeriodColumns =
    "time, port, frames, bytes, data, usage, efficiency, load, airtime, own_airtime, engine, measured_preambles";

const char* const Schema[] = {
    "CREATE TABLE IF NOT EXISTS meta(key TEXT PRIMARY KEY NOT NULL, value TEXT)",
    "CREATE TABLE IF NOT EXISTS periods(time INTEGER NOT NULL, port INTEGER NOT NULL, frames INTEGER, "
    "bytes INTEGER, data INTEGER, usage INTEGER, efficiency INTEGER, load INTEGER, airtime INTEGER, "
    "own_airtime INTEGER, engine TEXT, measured_preambles INTEGER)",
    "CREATE INDEX IF NOT EXISTS periods_by_time ON periods(time)",
    "CREATE TABLE IF NOT EXISTS periods_hourly(time INTEGER NOT NULL, port INTEGER NOT NULL, "
    "periods INTEGER NOT NULL, blind INTEGER NOT NULL, frames INTEGER, bytes INTEGER, data INTEGER, "
    "usage_mean REAL, usage_max INTEGER, efficiency_mean REAL, efficiency_max INTEGER, "
    "load_mean REAL, load_max INTEGER, airtime_mean REAL, airtime_max INTEGER, "
    "own_airtime_mean REAL, own_airtime_max INTEGER, PRIMARY KEY(time, port))",
};

// The figures of an hour from its raw rows.
const char* const HourOfRows =
    "COUNT(*), SUM(airtime IS NULL), SUM(frames), SUM(bytes), SUM(data), "
    "AVG(usage), MAX(usage), AVG(efficiency), MAX(efficiency), AVG(load), MAX(load), "
    "AVG(airtime), MAX(airtime), AVG(own_airtime), MAX(own_airtime)";

// Adds the new part of an hour to what its row holds: sums add, means pool
// by the periods with figures, maxima take the larger. SQLite evaluates all
// of SET on the row as it was.
QString pooled(const char* Name)
{
    return QStringLiteral("%1_mean = CASE WHEN excluded.%1_mean IS NULL THEN %1_mean WHEN %1_mean IS NULL "
                          "THEN excluded.%1_mean ELSE (%1_mean * (periods - blind) + excluded.%1_mean * "
                          "(excluded.periods - excluded.blind)) / (periods - blind + excluded.periods - "
                          "excluded.blind) END, %1_max = MAX(COALESCE(%1_max, excluded.%1_max), "
                          "COALESCE(excluded.%1_max, %1_max))")
        .arg(QLatin1String(Name));
}

// A lock file that names this very process was left by an earlier run given
// the same process ID (a service restarted as the first process of a
// container), and Qt takes it for held. removeStaleLockFile still checks
// that nobody holds the file's own lock, which a second store in this
// process would.
bool takeOverOwnLeftover(QLockFile& Lock)
{
    qint64 pid = 0;
    QString host, app;
    return Lock.error() == QLockFile::LockFailedError && Lock.getLockInfo(&pid, &host, &app) &&
           pid == QCoreApplication::applicationPid() && host == QSysInfo::machineHostName() &&
           Lock.removeStaleLockFile() && Lock.tryLock(0);
}

// Adds one period's row to its hour.
QString hourStatement()
{
    QString s = QStringLiteral("INSERT INTO periods_hourly SELECT time / 3600 * 3600, port, %1 FROM periods "
                               "WHERE rowid = :row GROUP BY port "
                               "ON CONFLICT(time, port) DO UPDATE SET ")
                    .arg(QLatin1String(HourOfRows));
    for (const char* name : {"usage", "efficiency", "load", "airtime", "own_airtime"})
        s += pooled(name) + QStringLiteral(", ");
    s += QStringLiteral("frames = COALESCE(frames, 0) + COALESCE(excluded.frames, 0), "
                        "bytes = COALESCE(bytes, 0) + COALESCE(excluded.bytes, 0), "
                        "data = COALESCE(data, 0) + COALESCE(excluded.data, 0), "
                        "periods = periods + excluded.periods, blind = blind + excluded.blind");
    return s;
}

EngineState engineFrom(const QVariant& Name, bool HasFigures)
{
    const QString n = Name.toString();
    for (EngineState s : {EngineState::Answering, EngineState::Silent, EngineState::Disconnected, EngineState::NoPort})
        if (n == QLatin1String(EngineStateName(s)))
            return s;
    // No state written: a period with figures was answered, one without was not seen.
    return HasFigures ? EngineState::Answering : EngineState::Disconnected;
}

int16_t small(const QVariant& V)
{
    return static_cast<int16_t>(std::clamp<qlonglong>(V.toLongLong(), INT16_MIN, INT16_MAX));
}

QVariant orNull(bool Has, qlonglong Value)
{
    return Has ? QVariant(Value) : QVariant(QMetaType(QMetaType::LongLong));
}

QString timeSuffix()
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
}

} // namespace

TPeriodStore::TPeriodStore(QObject* parent)
    : QObject(parent), connection(QStringLiteral("chanload-store-") + QUuid::createUuid().toString(QUuid::Id128))
{
    foldTimer.setInterval(0);
    connect(&foldTimer, &QTimer::timeout, this, [this] {
        if (!FoldStep())
            foldTimer.stop();
    });
}

TPeriodStore::~TPeriodStore()
{
    Close();
    db = QSqlDatabase();
    QSqlDatabase::removeDatabase(connection);
}

void TPeriodStore::AddTable(TStoreTable* Table)
{
    tables.push_back(Table);
}

QString TPeriodStore::TakeNotice()
{
    QString n;
    std::swap(n, notice);
    return n;
}

bool TPeriodStore::fail(const QString& What, const QSqlError& Why)
{
    error = QStringLiteral("History store %1: %2: %3").arg(QDir::toNativeSeparators(path), What, Why.text());
    return false;
}

bool TPeriodStore::run(const QString& Statement)
{
    QSqlQuery q(db);
    return q.exec(Statement) || fail(QStringLiteral("cannot prepare the file"), q.lastError());
}

// The opening check reads every page of the file, a fold the oldest ones;
// the meter's writes need only the few at the end. Cached pages would stay
// for the whole run, up to the cache's size on a big store, so they go once
// the check or the fold is done.
bool TPeriodStore::ReleaseCache()
{
    return run(QStringLiteral("PRAGMA shrink_memory"));
}

bool TPeriodStore::Open(const QString& Path)
{
    Close();
    path = QFileInfo(Path).absoluteFilePath();
    readOnly = false;
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        error = QStringLiteral("History store %1: cannot make its folder").arg(QDir::toNativeSeparators(path));
        return false;
    }
    lock = std::make_unique<QLockFile>(path + QStringLiteral(".lock"));
    if (!lock->tryLock(0) && !takeOverOwnLeftover(*lock)) {
        qint64 pid = 0;
        QString host, app;
        if (lock->error() == QLockFile::LockFailedError && lock->getLockInfo(&pid, &host, &app))
            error = QStringLiteral("History store %1 is in use by another ChanLoad (process %2); "
                                   "going on without it")
                        .arg(QDir::toNativeSeparators(path))
                        .arg(pid);
        else
            error = QStringLiteral("History store %1: cannot make its lock file %2")
                        .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(lock->fileName()));
        lock.reset();
        return false;
    }
    bool corrupt = false;
    if (openFile(corrupt))
        return true;
    if (!corrupt) {
        Close();
        return false;
    }
    // Not a sound database: keep it for whoever wants to look, start afresh.
    db.close();
    if (!setAside()) {
        Close();
        return false;
    }
    if (!openFile(corrupt)) {
        Close();
        return false;
    }
    return true;
}

bool TPeriodStore::setAside()
{
    const QString aside = path + QStringLiteral(".damaged-") + timeSuffix();
    for (const char* end : {"", "-wal", "-shm"}) {
        const QString from = path + QLatin1String(end);
        if (QFile::exists(from) && !QFile::rename(from, aside + QLatin1String(end))) {
            error = QStringLiteral("History store %1 is damaged and cannot be renamed aside")
                        .arg(QDir::toNativeSeparators(path));
            return false;
        }
    }
    notice = QStringLiteral("History store %1 was damaged; it is kept as %2 and a new store was started")
                 .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(aside));
    return true;
}

bool TPeriodStore::openFile(bool& Corrupt)
{
    Corrupt = false;
    if (!db.isValid())
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection);
    db.setDatabaseName(path);
    db.setConnectOptions(readOnly ? QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=20")
                                  : QStringLiteral("QSQLITE_BUSY_TIMEOUT=20"));
    // SQLite's page cache takes its first 20 pages (some 85 KiB) in one block
    // at the first read and keeps them for the run; the meter reads a few
    // pages and writes one row per period. Without the block it takes pages
    // one at a time as they are used. This holds only when said before
    // SQLite's first use in the process: later calls are refused
    // (SQLITE_MISUSE) and change nothing, which is why the result is not kept.
    sqlite3_config(SQLITE_CONFIG_PAGECACHE, nullptr, 0, 0);
    if (!db.open())
        return fail(QStringLiteral("cannot open"), db.lastError());

    const auto damaged = [&](const QSqlError& e) {
        const int code = e.nativeErrorCode().toInt();
        return code == SqliteCorrupt || code == SqliteNotADatabase;
    };
    QSqlQuery q(db);
    // A small page cache: the meter writes a row now and then and reads
    // little; SQLite's default would hold 2 MB of a big store.
    if (!q.exec(QStringLiteral("PRAGMA cache_size = -256"))) {
        Corrupt = damaged(q.lastError());
        return fail(QStringLiteral("cannot open"), q.lastError());
    }
    // The file only: checking every schema would open the empty temporary
    // database too, and its page cache would stay for the whole run.
    if (!q.exec(QStringLiteral("PRAGMA main.quick_check")) || !q.next()) {
        Corrupt = damaged(q.lastError());
        return fail(QStringLiteral("cannot read"), q.lastError());
    }
    if (q.value(0).toString() != QLatin1String("ok")) {
        Corrupt = true;
        error = QStringLiteral("History store %1 is damaged: %2").arg(path, q.value(0).toString());
        return false;
    }
    q.finish();
    if (!ReleaseCache())
        return false;
    if (readOnly)
        return prepare();

    // Writers never wait for readers (Grafana, sqlite3) and a commit needs no
    // sync of the main file; a crash keeps every committed period.
    if (!q.exec(QStringLiteral("PRAGMA journal_mode = WAL")) || !q.next() ||
        q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
        return fail(QStringLiteral("cannot switch to WAL mode"), q.lastError());
    q.finish();
    // Only checkpoints sync the disk. The fold runs them as steps of their
    // own, so that no tick's write meets one; SQLite's own checkpoint stays
    // only as a far bound, and the log is cut back after a big one.
    for (const char* pragma : {"PRAGMA synchronous = NORMAL", "PRAGMA wal_autocheckpoint = 8000",
                               "PRAGMA journal_size_limit = 4194304", "PRAGMA temp_store = MEMORY"})
        if (!run(QLatin1String(pragma)))
            return false;
    // Takes the write lock, so that a read-only file or a folder without
    // write permission shows now rather than at the first period.
    if (!db.transaction())
        return fail(QStringLiteral("cannot write"), db.lastError());
    bool made = true;
    for (const char* s : Schema)
        made = made && run(QLatin1String(s));
    for (TStoreTable* t : tables)
        for (const QString& s : t->Schema())
            made = made && run(s);
    if (made) {
        QSqlQuery version(db);
        made = version.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'schema_version'"));
        if (made && version.next()) {
            if (version.value(0).toInt() > SchemaVersion) {
                db.rollback();
                error = QStringLiteral("History store %1 was made by a newer ChanLoad (schema %2); "
                                       "going on without it")
                            .arg(QDir::toNativeSeparators(path), version.value(0).toString());
                return false;
            }
        } else if (made) {
            made = run(QStringLiteral("INSERT INTO meta(key, value) VALUES ('schema_version', '%1')")
                           .arg(SchemaVersion));
        } else {
            fail(QStringLiteral("cannot read its version"), version.lastError());
        }
    }
    if (!made || !db.commit()) {
        if (made)
            fail(QStringLiteral("cannot write"), db.lastError());
        db.rollback();
        return false;
    }
    return prepare();
}

bool TPeriodStore::prepare()
{
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT MAX(time) FROM periods")) || !q.next())
        return fail(QStringLiteral("cannot read"), q.lastError());
    lastTime = q.value(0).toLongLong();
    q.finish();
    // A store whose periods have all been folded still knows its last hour.
    if (!q.exec(QStringLiteral("SELECT MAX(time) FROM periods_hourly")) || !q.next())
        return fail(QStringLiteral("cannot read"), q.lastError());
    if (lastTime == 0)
        lastTime = q.value(0).toLongLong();
    if (readOnly)
        return true;
    insert = std::make_unique<QSqlQuery>(db);
    if (!insert->prepare(QStringLiteral("INSERT INTO periods(%1) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)")
                             .arg(QLatin1String(PeriodColumns))))
        return fail(QStringLiteral("cannot prepare the file"), insert->lastError());
    hour = std::make_unique<QSqlQuery>(db);
    if (!hour->prepare(hourStatement()))
        return fail(QStringLiteral("cannot prepare the file"), hour->lastError());
    since.invalidate();
    lastFoldStart = 0;
    commitsSinceCheckpoint = 0;
    checkpointNext = false;
    behind = false;
    return true;
}

bool TPeriodStore::OpenForReading(const QString& Path)
{
    Close();
    path = QFileInfo(Path).absoluteFilePath();
    if (!QFileInfo::exists(path)) {
        error = QStringLiteral("History store %1 does not exist").arg(QDir::toNativeSeparators(path));
        return false;
    }
    readOnly = true;
    bool corrupt = false;
    if (openFile(corrupt))
        return true;
    Close();
    return false;
}

void TPeriodStore::Close()
{
    foldTimer.stop();
    insert.reset();
    hour.reset();
    if (db.isValid())
        db.close();
    lock.reset();
    lastTime = 0;
}

int64_t TPeriodStore::storedTime(int64_t Wall)
{
    if (!since.isValid()) {
        since.start();
        // After a restart the clock may be behind what the store holds.
        baseMs = (std::max(Wall, lastTime + 1)) * 1000 + 500;
    }
    const int64_t steady = (baseMs + since.elapsed()) / 1000;
    int64_t t = Wall;
    if (Wall < steady - 1) {
        // The wall clock went back: go on from where the periods were.
        t = steady;
        if (!behind)
            notice = QStringLiteral("The clock is %1 s behind the periods in the history store %2; new periods "
                                    "are stored after them, timed by the monotonic clock, until it catches up")
                         .arg(steady - Wall)
                         .arg(QDir::toNativeSeparators(path));
        behind = true;
    } else {
        // In step, or stepped forwards: follow the wall clock.
        baseMs = Wall * 1000 + 500 - since.elapsed();
        behind = false;
    }
    return std::max(t, lastTime);
}

bool TPeriodStore::Write(const PeriodRecord& Record)
{
    if (!insert) {
        error = QStringLiteral("History store is not open");
        return false;
    }
    PeriodRecord r = Record;
    r.Time = storedTime(Record.Time);
    const bool has = r.HasFigures();
    const QVariant values[] = {QVariant(qlonglong(r.Time)), QVariant(r.Port), orNull(has, r.Frames),
                               orNull(has, r.Bytes),        orNull(has, r.Datas), orNull(has, r.Usage),
                               orNull(has, r.Efficiency),   orNull(has, r.Load), orNull(has, r.Airtime),
                               orNull(has, r.OwnAirtime),   QString::fromLatin1(EngineStateName(r.Engine)),
                               orNull(has, r.MeasuredPreambles ? 1 : 0)};
    for (int i = 0; i < 12; ++i)
        insert->bindValue(i, values[i]);
    if (!db.transaction())
        return fail(QStringLiteral("cannot write"), db.lastError()), emit Failed(error), false;
    bool ok = insert->exec() || fail(QStringLiteral("cannot write"), insert->lastError());
    if (ok) {
        // Its hour at once, so that the long spans read hours only.
        hour->bindValue(QStringLiteral(":row"), insert->lastInsertId());
        ok = hour->exec() || fail(QStringLiteral("cannot write"), hour->lastError());
        hour->finish();
    }
    for (TStoreTable* t : tables) {
        QString why;
        if (ok && !t->WritePeriod(db, r, why)) {
            ok = false;
            error = QStringLiteral("History store %1: cannot write: %2").arg(QDir::toNativeSeparators(path), why);
        }
    }
    if (ok && !db.commit())
        ok = fail(QStringLiteral("cannot write"), db.lastError());
    insert->finish();
    if (!ok) {
        db.rollback();
        emit Failed(error);
        return false;
    }
    lastTime = r.Time;
    ++commitsSinceCheckpoint;
    if (!foldTimer.isActive() && (lastFoldStart == 0 || lastTime - lastFoldStart >= FoldEverySeconds)) {
        lastFoldStart = lastTime;
        foldTimer.start();
    }
    return true;
}

bool TPeriodStore::ForEachPeriod(int64_t From, int64_t To, const std::function<void(const PeriodRecord&)>& Each)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT %1 FROM periods WHERE time >= ? AND time <= ? ORDER BY time")
                  .arg(QLatin1String(PeriodColumns)));
    q.addBindValue(qlonglong(From));
    q.addBindValue(qlonglong(To));
    if (!q.exec())
        return fail(QStringLiteral("cannot read"), q.lastError());
    while (q.next()) {
        PeriodRecord r;
        r.Time = q.value(0).toLongLong();
        r.Port = q.value(1).toInt();
        const bool has = !q.value(8).isNull();
        r.Engine = engineFrom(q.value(10), has);
        if (has && r.Engine == EngineState::Answering) {
            r.Frames = q.value(2).toInt();
            r.Bytes = q.value(3).toInt();
            r.Datas = q.value(4).toInt();
            r.Usage = small(q.value(5));
            r.Efficiency = small(q.value(6));
            r.Load = small(q.value(7));
            r.Airtime = small(q.value(8));
            r.OwnAirtime = small(q.value(9));
            r.MeasuredPreambles = q.value(11).toInt() != 0;
        }
        Each(r);
    }
    return q.lastError().type() == QSqlError::NoError || fail(QStringLiteral("cannot read"), q.lastError());
}

std::vector<PeriodRecord> TPeriodStore::Periods(int64_t From, int64_t To)
{
    std::vector<PeriodRecord> out;
    ForEachPeriod(From, To, [&](const PeriodRecord& r) { out.push_back(r); });
    return out;
}

std::vector<HourFigures> TPeriodStore::Hours(int64_t From, int64_t To)
{
    std::vector<HourFigures> out;
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT time, periods, blind, frames, bytes, data, usage_mean, usage_max, "
                             "efficiency_mean, efficiency_max, load_mean, load_max, airtime_mean, airtime_max, "
                             "own_airtime_mean, own_airtime_max FROM periods_hourly WHERE time >= ? AND time <= ? "
                             "ORDER BY time"));
    q.addBindValue(qlonglong(From));
    q.addBindValue(qlonglong(To));
    if (!q.exec()) {
        fail(QStringLiteral("cannot read"), q.lastError());
        return out;
    }
    while (q.next()) {
        HourFigures h;
        h.Time = q.value(0).toLongLong();
        h.Periods = q.value(1).toInt();
        h.Blind = q.value(2).toInt();
        h.Frames = q.value(3).toLongLong();
        h.Bytes = q.value(4).toLongLong();
        h.Datas = q.value(5).toLongLong();
        double* means[] = {&h.Usage, &h.Efficiency, &h.Load, &h.Airtime, &h.OwnAirtime};
        int16_t* maxima[] = {&h.UsageMax, &h.EfficiencyMax, &h.LoadMax, &h.AirtimeMax, &h.OwnAirtimeMax};
        for (int i = 0; i < 5; ++i) {
            *means[i] = q.value(6 + 2 * i).toDouble();
            *maxima[i] = small(q.value(7 + 2 * i));
        }
        if (!out.empty() && out.back().Time == h.Time)
            out.back().Add(h);
        else
            out.push_back(h);
    }
    return out;
}

bool TPeriodStore::checkpointDue()
{
    ++commitsSinceCheckpoint;
    checkpointNext = commitsSinceCheckpoint >= CheckpointCommits;
    return checkpointNext;
}

bool TPeriodStore::FoldStep()
{
    if (!insert)
        return false;
    if (checkpointNext) {
        // A step of its own: the one that waits for the disk. Readers that
        // hold old pages only make it copy less; the rest goes next time.
        checkpointNext = false;
        commitsSinceCheckpoint = 0;
        QSqlQuery checkpoint(db);
        if (!checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)")))
            return fail(QStringLiteral("cannot fold"), checkpoint.lastError()), emit Failed(error), false;
        return true;
    }
    const int64_t limit = HourOf(lastTime - RawSeconds);
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT MIN(time) FROM periods")) || !q.next())
        return fail(QStringLiteral("cannot fold"), q.lastError()), emit Failed(error), false;
    const bool any = !q.value(0).isNull();
    const int64_t oldest = q.value(0).toLongLong();
    q.finish();
    if (!any || oldest >= limit) {
        bool done = true;
        if (!expireStep(lastTime - HourlySeconds, done)) {
            emit Failed(error);
            return false;
        }
        const bool checkpoint = checkpointDue();
        if (done && !checkpoint && !ReleaseCache()) {
            emit Failed(error);
            return false;
        }
        return !done || checkpoint;
    }
    const int64_t hour = HourOf(oldest);
    int64_t to = std::min(hour + 3600, limit);
    // A few hundred periods at a time, so that no step holds up a tick.
    q.prepare(QStringLiteral("SELECT time FROM periods WHERE time >= ? AND time < ? ORDER BY time LIMIT 1 OFFSET ?"));
    q.addBindValue(qlonglong(oldest));
    q.addBindValue(qlonglong(to));
    q.addBindValue(FoldStepRows);
    if (!q.exec())
        return fail(QStringLiteral("cannot fold"), q.lastError()), emit Failed(error), false;
    if (q.next())
        to = std::max<int64_t>(q.value(0).toLongLong(), oldest + 1);
    q.finish();

    if (!db.transaction())
        return fail(QStringLiteral("cannot fold"), db.lastError()), emit Failed(error), false;
    bool ok = true;
    {
        // The hour already holds them: each period joined it when written.
        QSqlQuery drop(db);
        drop.prepare(QStringLiteral("DELETE FROM periods WHERE time >= ? AND time < ?"));
        drop.addBindValue(qlonglong(oldest));
        drop.addBindValue(qlonglong(to));
        ok = drop.exec() || fail(QStringLiteral("cannot fold"), drop.lastError());
    }
    for (TStoreTable* t : tables) {
        QString why;
        if (ok && !t->FoldRows(db, hour, oldest, to, why)) {
            ok = false;
            error = QStringLiteral("History store %1: cannot fold: %2").arg(QDir::toNativeSeparators(path), why);
        }
    }
    if (ok && !db.commit())
        ok = fail(QStringLiteral("cannot fold"), db.lastError());
    if (!ok) {
        db.rollback();
        emit Failed(error);
        return false;
    }
    checkpointDue();
    return true;
}

bool TPeriodStore::expireStep(int64_t Before, bool& Done)
{
    if (!db.transaction())
        return fail(QStringLiteral("cannot expire old hours"), db.lastError());
    QSqlQuery q(db);
    q.prepare(QStringLiteral("DELETE FROM periods_hourly WHERE rowid IN "
                             "(SELECT rowid FROM periods_hourly WHERE time < ? LIMIT 500)"));
    q.addBindValue(qlonglong(Before));
    bool ok = q.exec() || fail(QStringLiteral("cannot expire old hours"), q.lastError());
    Done = !ok || q.numRowsAffected() < 500;
    for (TStoreTable* t : tables) {
        QString why;
        if (ok && Done && !t->ExpireHourly(db, Before, why)) {
            ok = false;
            error = QStringLiteral("History store %1: cannot expire old hours: %2")
                        .arg(QDir::toNativeSeparators(path), why);
        }
    }
    if (ok && !db.commit())
        ok = fail(QStringLiteral("cannot expire old hours"), db.lastError());
    if (!ok)
        db.rollback();
    return ok;
}
