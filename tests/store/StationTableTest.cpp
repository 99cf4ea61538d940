// SPDX-License-Identifier: GPL-3.0-or-later
// The stations table in the history store: a month-old hour folds into one
// row per station that keeps the sums.
#include "PeriodStore.h"
#include "QtTestApp.h"
#include "StationTable.h"

#include <QSqlQuery>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {

constexpr int64_t Start = 1'796'000'800; // some time in 2026, 400 s after an hour began

StationFrame sent(int64_t AtS, std::string_view Transmitter, std::string_view Source, int64_t AirMs,
                  uint64_t Content, bool Own = false)
{
    StationFrame f;
    f.TimeMs = AtS * 1000;
    f.Transmitter = Transmitter;
    f.Source = Source;
    f.Destination = "APRS";
    f.ContentHash = Content;
    f.Own = Own;
    f.AirMicros = AirMs * 1000;
    return f;
}

PeriodRecord period(int64_t Time)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = 1;
    return r;
}

class StationTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        ASSERT_TRUE(dir.isValid());
        store.AddTable(&table);
        ASSERT_TRUE(store.Open(dir.filePath(QStringLiteral("h.sqlite")))) << store.Error().toStdString();
    }

    // One 30-second period ending at End: A beacons, D and this station
    // (ME) digipeat it, B beacons once without a copy.
    void writeBusyPeriod(int64_t End, uint64_t Content)
    {
        tally.Add(sent(End - 20, "A", "A", 300, Content));
        tally.Add(sent(End - 19, "D", "A", 320, Content));
        tally.Add(sent(End - 18, "ME", "A", 330, Content, true));
        tally.Add(sent(End - 5, "B", "B", 250, Content + 1000));
        tally.ClosePeriod(End);
        ASSERT_TRUE(store.Write(period(End))) << store.Error().toStdString();
    }

    std::map<std::string, StationRow> stations(int64_t From, int64_t To)
    {
        std::vector<StationRow> rows;
        QString error;
        EXPECT_TRUE(TStationTable::Stations(store.Database(), 1, From, To, rows, error)) << error.toStdString();
        std::map<std::string, StationRow> out;
        for (const StationRow& r : rows)
            out[r.Call] = r;
        return out;
    }

    QTemporaryDir dir;
    StationTally tally;
    TStationTable table{tally};
    TPeriodStore store;
};

} // namespace

TEST_F(StationTableTest, AMonthOldHourFoldsIntoOneRowPerStationWithTheSameSums)
{
    // Five periods of one hour, the last in the next hour; then the present.
    const int64_t times[] = {Start, Start + 600, Start + 1200, Start + 3100, Start + 3300};
    for (int64_t t : times)
        writeBusyPeriod(t, static_cast<uint64_t>(t));
    const auto before = stations(Start - 3600, Start + 7200);
    writeBusyPeriod(Start + 40 * 86400, 7);
    while (store.FoldStep()) {
    }

    const int64_t hour = HourOf(Start);
    ASSERT_EQ(hour, Start - 400);
    const auto after = stations(Start - 3600, Start + 7200);
    ASSERT_EQ(after.size(), before.size());
    for (const auto& [call, row] : before) {
        StationRow folded = row;
        folded.LastHeard = hour + 3600; // one row per hour, timed by its start: 4 and 1 periods
        EXPECT_EQ(after.at(call).Frames, 5) << call;
        EXPECT_EQ(after.at(call), folded) << call;
    }
    QSqlQuery q(store.Database());
    ASSERT_TRUE(q.exec(QStringLiteral("SELECT time, COUNT(*), SUM(frames) FROM stations WHERE time < %1 "
                                      "GROUP BY time ORDER BY time")
                           .arg(Start + 86400)));
    std::vector<std::vector<qlonglong>> rows;
    while (q.next())
        rows.push_back({q.value(0).toLongLong(), q.value(1).toLongLong(), q.value(2).toLongLong()});
    const std::vector<std::vector<qlonglong>> expected = {{hour, 4, 4 * 4}, {hour + 3600, 4, 4 * 1}};
    EXPECT_EQ(rows, expected);
}
