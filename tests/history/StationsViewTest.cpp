// SPDX-License-Identifier: GPL-3.0-or-later
// The Stations view: the table in the order the user picks, what Copy puts
// on the clipboard, the band by kind and the note on "others".
#include "TStationsView.h"

#include "PeriodStore.h"
#include "QtTestApp.h"
#include "StationTable.h"
#include "THistoryWindow.h"

#include <QClipboard>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int64_t Heard = 1'796'000'000;

StationSpan span(bool Folded)
{
    StationSpan s;
    // Airtime 9.5 s, 10.25 s, 0.5 s; frames 9, 10, 2: text order differs from number order.
    s.Lines = {
        {{"N0CALL-9", 10, 10'250'000, true, 0, 0, 0, Heard}, 50.0, -1},
        {{"W1AW", 9, 9'500'000, false, 9, 12, 9'000'000, Heard - 60}, 46.3, 125'000},
        {{Folded ? "others" : "K1ABC", 2, 500'000, false, 2, 0, 0, Heard - 3600}, 3.7, 45'000},
    };
    s.AirMicros = 20'250'000;
    s.OwnMicros = 10'250'000;
    s.CopiesMicros = 0;
    s.OriginalsMicros = 10'000'000;
    s.Folded = Folded;
    return s;
}

QString when(int64_t Time)
{
    return QDateTime::fromSecsSinceEpoch(Time).toString(QStringLiteral("yyyy-MM-dd HH:mm"));
}

const QString Heading = QStringLiteral(
    "Call\tAirtime share %\tAirtime s\tFrames\tOriginals\tCopies heard\tMedian interval\tLast heard");

class StationsViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        view = std::make_unique<TStationsView>();
        view->resize(800, 400);
        view->show();
    }

    QStringList column(int Column) const
    {
        QStringList out;
        for (int r = 0; r < view->Table()->model()->rowCount(); ++r)
            out << view->Table()->model()->index(r, Column).data().toString();
        return out;
    }

    std::unique_ptr<TStationsView> view;
};

} // namespace

TEST(StationsViewText, IntervalsReadAsSecondsMinutesOrHours)
{
    struct Case {
        int64_t ms;
        const char* text;
    } cases[] = {{-1, "-"}, {0, "0 s"}, {45'400, "45 s"}, {119'400, "119 s"}, {125'000, "2:05 min"},
                 {3'720'000, "62:00 min"}, {7'200'000, "2:00 h"}, {90'000'000, "25:00 h"}};
    for (const Case& c : cases)
        EXPECT_EQ(IntervalText(c.ms), QString::fromLatin1(c.text)) << c.ms;
}

TEST(StationsViewText, LastHeardTodayIsATimeEarlierADate)
{
    // 2026-12-08 10:20:30 local time, and the day before.
    const QDateTime at(QDate(2026, 12, 8), QTime(10, 20, 30));
    EXPECT_EQ(LastHeardText(at.toSecsSinceEpoch(), QDate(2026, 12, 8)), QStringLiteral("10:20:30"));
    EXPECT_EQ(LastHeardText(at.toSecsSinceEpoch(), QDate(2026, 12, 9)), QStringLiteral("2026-12-08 10:20"));
}

TEST_F(StationsViewTest, ColumnsSortByTheirNumbersNotTheirText)
{
    view->ShowSpan(span(false));
    // Busiest first to begin with.
    EXPECT_EQ(column(TStationsView::Call),
              (QStringList{"N0CALL-9 (own)", "W1AW", "K1ABC"}));
    struct Case {
        TStationsView::Column column;
        Qt::SortOrder order;
        QStringList calls;
    } cases[] = {
        {TStationsView::Frames, Qt::AscendingOrder, {"K1ABC", "W1AW", "N0CALL-9 (own)"}},
        {TStationsView::Airtime, Qt::AscendingOrder, {"K1ABC", "W1AW", "N0CALL-9 (own)"}},
        {TStationsView::Originals, Qt::DescendingOrder, {"W1AW", "K1ABC", "N0CALL-9 (own)"}},
        // An unknown interval goes last.
        {TStationsView::MedianInterval, Qt::AscendingOrder, {"K1ABC", "W1AW", "N0CALL-9 (own)"}},
        {TStationsView::LastHeard, Qt::AscendingOrder, {"K1ABC", "W1AW", "N0CALL-9 (own)"}},
        {TStationsView::Call, Qt::AscendingOrder, {"K1ABC", "N0CALL-9 (own)", "W1AW"}},
    };
    for (const Case& c : cases) {
        view->Table()->sortByColumn(c.column, c.order);
        EXPECT_EQ(column(TStationsView::Call), c.calls) << c.column;
    }
    // A new span keeps the order the user chose.
    view->ShowSpan(span(false));
    EXPECT_EQ(column(TStationsView::Call), cases[std::size(cases) - 1].calls);
}

TEST_F(StationsViewTest, CopyGivesTabSeparatedTextOfWhatIsSelectedOrOfAll)
{
    view->ShowSpan(span(false));
    const QStringList rows = {
        "N0CALL-9 (own)\t50.0\t10.3\t10\t0\t0\t-\t" + when(Heard),
        "W1AW\t46.3\t9.5\t9\t9\t12\t2:05 min\t" + when(Heard - 60),
        "K1ABC\t3.7\t0.5\t2\t2\t0\t45 s\t" + when(Heard - 3600),
    };
    view->CopyTable();
    EXPECT_EQ(QApplication::clipboard()->text(), Heading + "\n" + rows.join('\n') + "\n");

    view->Table()->selectRow(2);
    EXPECT_EQ(view->TableText(), Heading + "\n" + rows[2] + "\n");
    view->Table()->clearSelection();
    view->Table()->selectRow(1);
    // Ctrl+C in the table.
    view->activateWindow();
    view->Table()->setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(view.get()));
    QApplication::clipboard()->clear();
    QTest::keyClick(view->Table(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), Heading + "\n" + rows[1] + "\n");
}

TEST_F(StationsViewTest, BandAndNotesFollowTheSpan)
{
    struct Case {
        bool folded;
        bool empty;
    } cases[] = {{false, false}, {true, false}, {false, true}};
    for (const Case& c : cases) {
        StationSpan s = c.empty ? StationSpan{} : span(c.folded);
        view->ShowSpan(s);
        EXPECT_EQ(view->OthersNote()->isVisible(), c.folded);
        EXPECT_EQ(view->EmptyNote()->isVisible(), c.empty);
        EXPECT_EQ(view->Table()->model()->rowCount(), c.empty ? 0 : 3);
    }
    view->ShowSpan(span(false));
    // 10 of 20.25 s originals, none copied, 10.25 s own.
    EXPECT_EQ(view->Band()->Text(), QStringLiteral("Originals 49.4%, Digipeated copies 0.0%, Own transmissions 50.6%"));
    EXPECT_EQ(view->Band()->accessibleDescription(), view->Band()->Text());
}

// The Stations tab of a history window over a real store: the span the
// window shows, from the rows the store holds.
TEST(StationsTab, FollowsTheWindowsSpanFromTheStore)
{
    EnsureApplication();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    StationTally tally;
    TStationTable table(tally);
    TPeriodStore store;
    store.AddTable(&table);
    ASSERT_TRUE(store.Open(dir.filePath(QStringLiteral("h.sqlite")))) << store.Error().toStdString();
    PeriodHistory ring;
    // Two hours ago W1AW beaconed; a minute ago K1ABC did, twice (2 x 0.4 s).
    const int64_t now = Heard;
    struct Sent {
        int64_t at;
        const char* call;
        uint64_t content;
    } sent[] = {{now - 7200, "W1AW", 1}, {now - 60, "K1ABC", 2}, {now - 50, "K1ABC", 3}};
    for (const Sent& s : sent) {
        StationFrame f;
        f.TimeMs = s.at * 1000;
        f.Transmitter = f.Source = s.call;
        f.Destination = "APRS";
        f.ContentHash = s.content;
        f.AirMicros = 400'000;
        tally.Add(f);
        PeriodRecord r;
        r.Time = s.at + 5;
        r.Port = 1;
        tally.ClosePeriod(r.Time);
        ring.Add(r);
        ASSERT_TRUE(store.Write(r)) << store.Error().toStdString();
    }

    auto* window = new THistoryWindow(ring, &store);
    TStationsView* view = AddStationsView(window, tally, [] { return 1; });
    window->show();
    auto* tabs = window->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(1), QStringLiteral("Stations"));
    tabs->setCurrentWidget(view);

    const auto calls = [&] {
        QStringList out;
        for (int r = 0; r < view->Table()->model()->rowCount(); ++r)
            out << view->Table()->model()->index(r, TStationsView::Call).data().toString() + " "
                       + view->Table()->model()->index(r, TStationsView::Frames).data().toString();
        return out;
    };
    struct Case {
        int64_t span;
        QStringList calls;
    } cases[] = {{3600, {"K1ABC 2"}}, {6 * 3600, {"K1ABC 2", "W1AW 1"}}, {3600, {"K1ABC 2"}}};
    for (const Case& c : cases) {
        window->SpanButton(c.span)->click();
        EXPECT_EQ(calls(), c.calls) << c.span;
    }
    // K1ABC's two originals, 10 s apart, are in the tally's memory.
    EXPECT_EQ(view->Table()->model()->index(0, TStationsView::MedianInterval).data().toString(), QStringLiteral("10 s"));
    delete window;
}
