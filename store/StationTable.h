// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stations table of the history store: one row per station per period in
// which it transmitted or was copied, the rows of a month-old hour folded
// into one row per station for that hour. docs/history.md describes it.
//
//   stations(time INTEGER, port INTEGER, call TEXT, frames INTEGER,
//            airtime_ms INTEGER, own INTEGER, originated INTEGER,
//            copies INTEGER, copies_airtime_ms INTEGER)
//
// Every column beside time, port, call and own is a sum, so a span's figures
// are the sums of its rows, whether they are periods or hours.
#include "StationTally.h"
#include "StoreTable.h"

#include <vector>

class TStationTable : public TStoreTable {
public:
    // Writes the rows of the tally's last closed period, each period once.
    explicit TStationTable(const StationTally& Tally) : tally(Tally) {}

    QStringList Schema() const override;
    bool WritePeriod(QSqlDatabase& Db, const PeriodRecord& Period, QString& Error) override;
    bool FoldRows(QSqlDatabase& Db, int64_t HourStart, int64_t From, int64_t To, QString& Error) override;
    bool ExpireHourly(QSqlDatabase& Db, int64_t Before, QString& Error) override;

    // The stations of port with From < time <= To, summed per call; their
    // last heard is the time of their last row. False with Error set.
    static bool Stations(const QSqlDatabase& Db, int32_t Port, int64_t From, int64_t To,
                         std::vector<StationRow>& Rows, QString& Error);

private:
    const StationTally& tally;
    int64_t written = 0; // sequence number of the tally's last period written
};
