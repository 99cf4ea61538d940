// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A table kept in the period store beside the periods: made when the store
// opens, given its rows in the same transaction as each period, and folded
// into hourly rows with the periods.
//
// Each job that keeps rows of its own (the stations, say) implements this and
// hands it to TPeriodStore::AddTable before Open. The store calls it only from
// the thread it runs on, always inside a transaction it began; a false return
// rolls the whole period (or fold step) back, and Error says why.
#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <cstdint>

struct PeriodRecord;

class TStoreTable {
public:
    virtual ~TStoreTable() = default;

    // The statements that make the table, its hourly fold and their indexes:
    // "CREATE TABLE IF NOT EXISTS ...", run on every open.
    virtual QStringList Schema() const = 0;

    // Writes the table's rows for the period just evaluated. Period.Time is the
    // time the store gives the period's own row, which differs from the wall
    // clock's while the clock is behind the stored periods.
    virtual bool WritePeriod(QSqlDatabase& Db, const PeriodRecord& Period, QString& Error) = 0;

    // Folds the rows with From <= time < To, all within the hour that starts
    // at HourStart, into the hourly rows of HourStart (adding to what those
    // already hold: an hour is folded in steps of a few hundred periods) and
    // deletes them.
    virtual bool FoldRows(QSqlDatabase& Db, int64_t HourStart, int64_t From, int64_t To, QString& Error) = 0;

    // Deletes hourly rows with time < Before.
    virtual bool ExpireHourly(QSqlDatabase& Db, int64_t Before, QString& Error) = 0;
};
