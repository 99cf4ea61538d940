// SPDX-License-Identifier: GPL-3.0-or-later
// The Stations view: the table in the order the user picks, what Copy puts
// on the clipboard, and the tab following the history window's span.
#include "TStationsView.h"

#include "PeriodStore.h"
#include "QtTestApp.h"
#include "StationTable.h"
#include "THistoryWindow.h"

#include <QClipboard>
#include <QDateTime>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTableView>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

constexpr int64_t Heard = 1'796'000'000;

StationSpan span()
{
    StationSpan s;
    // Airtime 9.5 s, 10.25 s, 0.5 s; frames 9, 10, 2: text order differs from number order.
    s.Lines = {
        {{"N0CALL-9", 10, 10'250'000, true, 0, 0, 0, Heard}, 50.0, -1},
        {{"W1AW", 9, 9'500'000, false, 9, 12, 9'000'000, Heard - 60}, 46.3, 125'000},
        {{"K1ABC", 2, 500'000, false, 2, 0, 0, Heard - 3600}, 3.7, 45'000},
    };
    s.AirMicros = 20'250'000;
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

TEST_F(StationsViewTest, ColumnsSortByTheirNumbersNotTheirText)
{
    view->ShowSpan(span());
    // Busiest first to begin with.
    EXPECT_EQ(column(TStationsView::Call), (QStringList{"N0CALL-9 (own)", "W1AW", "K1ABC"}));
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
    view->ShowSpan(span());
    EXPECT_EQ(column(TStationsView::Call), cases[std::size(cases) - 1].calls);
}

TEST_F(StationsViewTest, CopyGivesTabSeparatedTextOfWhatIsSelectedOrOfAll)
{
    view->ShowSpan(span());
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
