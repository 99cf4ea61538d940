// SPDX-License-Identifier: GPL-3.0-or-later
#include "StationTable.h"

#include "PeriodRecord.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

qlonglong millis(int64_t Micros)
{
    return static_cast<qlonglong>((Micros + 500) / 1000);
}

bool failed(const QSqlQuery& Query, QString& Error)
{
    Error = QStringLiteral("stations: %1").arg(Query.lastError().text());
    return false;
}

} // namespace

QStringList TStationTable::Schema() const
{
    return {QStringLiteral("CREATE TABLE IF NOT EXISTS stations(time INTEGER, port INTEGER, call TEXT, "
                           "frames INTEGER, airtime_ms INTEGER, own INTEGER, originated INTEGER, copies INTEGER, "
                           "copies_airtime_ms INTEGER)"),
            QStringLiteral("CREATE INDEX IF NOT EXISTS stations_by_time ON stations(time)")};
}

bool TStationTable::WritePeriod(QSqlDatabase& Db, const PeriodRecord& Period, QString& Error)
{
    const StationPeriod& p = tally.LastPeriod();
    if (p.Sequence == written || p.Rows.empty()) {
        written = p.Sequence;
        return true;
    }
    QSqlQuery q(Db);
    if (!q.prepare(QStringLiteral("INSERT INTO stations(time, port, call, frames, airtime_ms, own, originated, "
                                  "copies, copies_airtime_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)")))
        return failed(q, Error);
    for (const StationRow& r : p.Rows) {
        const QVariant values[] = {qlonglong(Period.Time), Period.Port, QString::fromStdString(r.Call),
                                   qlonglong(r.Frames), millis(r.AirMicros), r.Own ? 1 : 0,
                                   qlonglong(r.Originated), qlonglong(r.Copies), millis(r.CopiesAirMicros)};
        for (int i = 0; i < 9; ++i)
            q.bindValue(i, values[i]);
        if (!q.exec())
            return failed(q, Error);
    }
    // Only once the transaction holds all of them; a rolled back period is
    // not written again, as the period's own row is not either.
    written = p.Sequence;
    return true;
}

// The hour's row of a station may already hold an earlier step's part: it is
// summed in with the new rows and replaced.
bool TStationTable::FoldRows(QSqlDatabase& Db, int64_t HourStart, int64_t From, int64_t To, QString& Error)
{
    const QString part = QStringLiteral("((time >= :from AND time < :to) OR time = :hour)");
    QSqlQuery q(Db);
    if (!q.prepare(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS stations_fold AS SELECT * FROM stations WHERE 0"))
        || !q.exec())
        return failed(q, Error);
    const QString steps[] = {
        QStringLiteral("DELETE FROM stations_fold"),
        QStringLiteral("INSERT INTO stations_fold SELECT :hour, port, call, SUM(frames), SUM(airtime_ms), MAX(own), "
                       "SUM(originated), SUM(copies), SUM(copies_airtime_ms) FROM stations WHERE %1 "
                       "GROUP BY port, call")
            .arg(part),
        QStringLiteral("DELETE FROM stations WHERE %1").arg(part),
        QStringLiteral("INSERT INTO stations SELECT * FROM stations_fold"),
        QStringLiteral("DELETE FROM stations_fold"),
    };
    for (const QString& s : steps) {
        if (!q.prepare(s))
            return failed(q, Error);
        if (s.contains(QLatin1String(":hour")))
            q.bindValue(QStringLiteral(":hour"), qlonglong(HourStart));
        if (s.contains(QLatin1String(":from"))) {
            q.bindValue(QStringLiteral(":from"), qlonglong(From));
            q.bindValue(QStringLiteral(":to"), qlonglong(To));
        }
        if (!q.exec())
            return failed(q, Error);
    }
    return true;
}

bool TStationTable::ExpireHourly(QSqlDatabase& Db, int64_t Before, QString& Error)
{
    QSqlQuery q(Db);
    if (!q.prepare(QStringLiteral("DELETE FROM stations WHERE time < ?")))
        return failed(q, Error);
    q.addBindValue(qlonglong(Before));
    return q.exec() || failed(q, Error);
}

bool TStationTable::Stations(const QSqlDatabase& Db, int32_t Port, int64_t From, int64_t To,
                             std::vector<StationRow>& Rows, QString& Error)
{
    Rows.clear();
    QSqlQuery q(Db);
    q.setForwardOnly(true);
    if (!q.prepare(QStringLiteral("SELECT call, SUM(frames), SUM(airtime_ms), MAX(own), SUM(originated), SUM(copies), "
                                  "SUM(copies_airtime_ms), MAX(time) FROM stations "
                                  "WHERE port = ? AND time > ? AND time <= ? GROUP BY call")))
        return failed(q, Error);
    q.addBindValue(Port);
    q.addBindValue(qlonglong(From));
    q.addBindValue(qlonglong(To));
    if (!q.exec())
        return failed(q, Error);
    while (q.next()) {
        StationRow r;
        r.Call = q.value(0).toString().toStdString();
        r.Frames = q.value(1).toLongLong();
        r.AirMicros = q.value(2).toLongLong() * 1000;
        r.Own = q.value(3).toLongLong() != 0;
        r.Originated = q.value(4).toLongLong();
        r.Copies = q.value(5).toLongLong();
        r.CopiesAirMicros = q.value(6).toLongLong() * 1000;
        r.LastHeard = q.value(7).toLongLong();
        Rows.push_back(std::move(r));
    }
    return true;
}
