// SPDX-License-Identifier: GPL-3.0-or-later
#include "THistoryWindow.h"

#include "AccessibleLabel.h"
#include "PeriodStore.h"
#include "QtTestApp.h"

#include <QAccessible>
#include <QAreaSeries>
#include <QGraphicsLineItem>
#include <QTemporaryDir>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QImage>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QTest>
#include <QToolTip>
#include <QValueAxis>

#include <gtest/gtest.h>

#include <tuple>

namespace {

constexpr int64_t End = 1'796'000'000; // some time in 2026

// Distinct figures per period, so that a point drawn from the wrong record shows.
PeriodRecord period(int64_t Time, int N)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = 1;
    r.Frames = N % 50;
    r.Bytes = 100 + N;
    r.Datas = 60 + N;
    r.Airtime = static_cast<int16_t>(N % 97);
    r.OwnAirtime = static_cast<int16_t>(N % 5);
    r.Load = static_cast<int16_t>(N * 7 % 101);
    r.Usage = static_cast<int16_t>(N * 3 % 89);
    r.Efficiency = static_cast<int16_t>(N % 71);
    return r;
}

// A day of 30-second periods ending at End.
PeriodHistory day()
{
    PeriodHistory h;
    for (int n = 0; n <= 2880; ++n)
        h.Add(period(End - 86400 + 30 * int64_t(n), n));
    return h;
}

class HistoryWindowTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
    void TearDown() override { delete window; }

    void Open(const PeriodHistory& h)
    {
        window = new THistoryWindow(h);
        window->show();
    }

    // Every series draws the periods of [from, to) of h, in order: each of
    // them exactly while there are no more than two per column of the plot
    // (columns a few pixels wide); beyond that only periods of h, in time
    // order, few enough, and every period's value within what its column
    // draws, so that no peak is lost.
    void ExpectDrawn(const PeriodHistory& h, size_t from, size_t to)
    {
        const auto n = static_cast<qsizetype>(to - from);
        const qreal plot = window->Chart()->plotArea().width() > 50 ? window->Chart()->plotArea().width() : 700;
        const int width = window->Columns();
        EXPECT_GE(width, plot / 4) << "columns too wide for a line that follows the periods";
        EXPECT_LE(width, plot);
        const QList<QPointF>* const series[] = {&window->Line(PlotSample::Airtime), &window->Line(PlotSample::Load),
                                                &window->Line(PlotSample::Usage)};
        const auto y = [&](int s, const PeriodRecord& r) { return s == 0 ? r.Airtime : s == 1 ? r.Load : r.Usage; };
        for (int s = 0; s < 3; ++s) {
            if (n <= 2 * width) {
                ASSERT_EQ(series[s]->size(), n) << s;
                for (size_t i = from; i < to; ++i)
                    EXPECT_EQ(series[s]->at(static_cast<qsizetype>(i - from)), QPointF(h[i].Time * 1000.0, y(s, h[i])))
                        << s << " " << i;
                continue;
            }
            const QList<QPointF> drawn = *series[s];
            EXPECT_LE(drawn.size(), 2 * width) << s;
            for (qsizetype k = 0; k < drawn.size(); ++k) {
                const size_t i = h.FirstSince(static_cast<int64_t>(drawn[k].x() / 1000));
                ASSERT_LT(i, h.Size());
                EXPECT_EQ(drawn[k], QPointF(h[i].Time * 1000.0, y(s, h[i]))) << "not a period's point";
                if (k > 0) {
                    EXPECT_GT(drawn[k].x(), drawn[k - 1].x());
                }
            }
            const qreal column = window->Span() * 1000.0 / width;
            for (size_t i = from; i < to; ++i) {
                qreal low = 1e9, high = -1e9;
                for (const QPointF& p : drawn)
                    if (std::abs(p.x() - h[i].Time * 1000.0) <= column) {
                        low = std::min(low, p.y());
                        high = std::max(high, p.y());
                    }
                EXPECT_LE(low, y(s, h[i])) << "series " << s << " period " << i;
                EXPECT_GE(high, y(s, h[i])) << "series " << s << " period " << i;
            }
        }
        // The axis ends a little after the newest period, so that its point
        // and the line's width are not cut at the edge.
        EXPECT_GT(window->TimeAxis()->max().toSecsSinceEpoch(), h.Latest().Time);
        EXPECT_LE(window->TimeAxis()->max().toSecsSinceEpoch(), h.Latest().Time + window->Span() / 50);
        EXPECT_EQ(window->TimeAxis()->min().toSecsSinceEpoch(), h.Latest().Time - window->Span());
    }

    THistoryWindow* window = nullptr;
};

QString accessible(QObject* o, QAccessible::Text what)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    return i ? i->text(what) : QStringLiteral("(no interface)");
}

QString accessibleText(QObject* o)
{
    QAccessibleInterface* i = QAccessible::queryAccessibleInterface(o);
    QAccessibleTextInterface* t = i ? i->textInterface() : nullptr;
    return t ? t->text(0, t->characterCount()) : QStringLiteral("(no text interface)");
}

} // namespace

TEST_F(HistoryWindowTest, DrawsThePeriodsOfTheChosenSpanOnly)
{
    const PeriodHistory h = day();
    Open(h);
    // The last hour by default: its first period is exactly an hour old.
    EXPECT_EQ(window->Span(), 3600);
    EXPECT_TRUE(window->SpanButton(3600)->isChecked());
    ExpectDrawn(h, h.Size() - 121, h.Size());

    window->SpanButton(6 * 3600)->click();
    EXPECT_EQ(window->Span(), 6 * 3600);
    ExpectDrawn(h, h.Size() - 721, h.Size());

    window->SpanButton(24 * 3600)->click();
    ExpectDrawn(h, 0, h.Size());

    window->SpanButton(3600)->click();
    ExpectDrawn(h, h.Size() - 121, h.Size());
}

TEST_F(HistoryWindowTest, EmptyHistoryDrawsNothingAndShowsNoFigures)
{
    const PeriodHistory h;
    Open(h);
    EXPECT_TRUE(window->Line(PlotSample::Airtime).isEmpty());
    EXPECT_EQ(window->LatestAirtime->text(), "-");
    EXPECT_EQ(window->LatestFrames->text(), "-");
}

TEST_F(HistoryWindowTest, FollowsNewPeriodsAndLetsOldOnesGo)
{
    PeriodHistory h;
    for (int n = 0; n < 5; ++n)
        h.Add(period(End + 30 * n, n));
    Open(h);
    ExpectDrawn(h, 0, 5);

    // Two hours later only the new period is within the last hour.
    const PeriodRecord next = period(End + 7200, 42);
    h.Add(next);
    window->PeriodAdded(next);
    ExpectDrawn(h, 5, 6);
    EXPECT_EQ(window->LatestAirtime->text(), "42%");
    EXPECT_EQ(window->LatestLoad->text(), QString("%1%").arg(next.Load));
    EXPECT_EQ(window->LatestUsage->text(), QString("%1%").arg(next.Usage));
    EXPECT_EQ(window->LatestEfficiency->text(), "42%");
    EXPECT_EQ(window->LatestFrames->text(), "42");
    EXPECT_EQ(window->LatestTime->text(), QDateTime::fromSecsSinceEpoch(next.Time).toString("HH:mm:ss"));

    // The other periods come back with a longer span.
    window->SpanButton(6 * 3600)->click();
    ExpectDrawn(h, 0, 6);
}

TEST_F(HistoryWindowTest, HoveringAPointShowsThatPeriodsFiguresAndTime)
{
    PeriodHistory h;
    for (int n = 0; n < 40; ++n)
        h.Add(period(End - 39 * 60 + 60 * n, n));
    Open(h);
    ASSERT_TRUE(WaitFor([&] { return window->ChartView()->isVisible() && window->Chart()->plotArea().width() > 100; }));

    const auto pixel = [&](const PeriodRecord& p) {
        const QPointF onChart =
            window->Chart()->mapToPosition(QPointF(p.Time * 1000.0, p.Airtime), window->AirtimeSeries());
        return window->ChartView()->mapFromScene(window->Chart()->mapToScene(onChart));
    };
    const PeriodRecord& r = h[17];
    const QPoint at = pixel(r);
    const QPoint quarterToNext = (pixel(h[18]) - at) / 4;
    ASSERT_GE(quarterToNext.x(), 1);
    QWidget* viewport = window->ChartView()->viewport();
    // A pointer coming to rest on the line a little after the point: the
    // nearest period is still this one, not the next. (40 minute-long periods in an hour's
    // width give some pixels from one to the next.)
    for (const QPoint p : {at + QPoint(-30, 30), at + quarterToNext}) {
        QMouseEvent move(QEvent::MouseMove, QPointF(p), viewport->mapToGlobal(QPointF(p)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(viewport, &move);
    }
    ASSERT_TRUE(WaitFor([] { return QToolTip::isVisible(); })) << "no tool tip over the point";

    const QString tip = QToolTip::text();
    EXPECT_EQ(tip, PeriodText(r));
    const QString local = QDateTime::fromSecsSinceEpoch(r.Time).toString("yyyy-MM-dd HH:mm:ss");
    EXPECT_TRUE(tip.contains(local)) << tip.toStdString();
    EXPECT_TRUE(tip.contains(QString::fromStdString(Iso8601Utc(r.Time)).mid(11, 8) + " UTC")) << tip.toStdString();
    for (const QString& figure : {QString("Airtime %1%, own %2%").arg(r.Airtime).arg(r.OwnAirtime),
                                 QString("Load %1%").arg(r.Load), QString("Usage %1%").arg(r.Usage),
                                 QString("Efficiency %1%").arg(r.Efficiency),
                                 QString("Frames %1, bytes %2, data %3").arg(r.Frames).arg(r.Bytes).arg(r.Datas)})
        EXPECT_TRUE(tip.contains(figure)) << figure.toStdString() << " not in " << tip.toStdString();
    QToolTip::hideText();
}

TEST_F(HistoryWindowTest, BackgroundBandsSitAtTheLoadClassLimitsInTheIconColours)
{
    const PeriodHistory h; // no lines over the bands
    Open(h);
    ASSERT_TRUE(WaitFor([&] { return window->Chart()->plotArea().height() > 100; }));
    const QImage shot = window->ChartView()->grab().toImage();
    const qreal dpr = shot.devicePixelRatio();
    const auto hueAt = [&](qreal percent) {
        const QPointF p = window->Chart()->mapToPosition(
            QPointF(window->TimeAxis()->min().toMSecsSinceEpoch() + 900'000.0, percent), window->AirtimeSeries());
        const QPoint at = window->ChartView()->mapFromScene(window->Chart()->mapToScene(p));
        return shot.pixelColor(QPoint(int(at.x() * dpr), int(at.y() * dpr))).hslHue();
    };
    // Blue, green, yellow, red: hues about 207, 123, 54 and 1 in the icon.
    const int expected[] = {207, 123, 54, 1};
    const qreal middles[] = {12, 37, 62, 88};
    for (int i = 0; i < 4; ++i) {
        const int hue = hueAt(middles[i]);
        const int distance = std::min(std::abs(hue - expected[i]), 360 - std::abs(hue - expected[i]));
        EXPECT_LE(distance, 12) << "class " << i + 1 << " band has hue " << hue;
    }
    // The step sits at the limit: just below and just above 50 % differ.
    EXPECT_NE(hueAt(48), hueAt(52));
}

TEST_F(HistoryWindowTest, DarkPaletteGivesADarkChartWithLightText)
{
    const PeriodHistory h = day();
    Open(h);
    QPalette dark = window->palette();
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    window->setPalette(dark);
    EXPECT_EQ(window->Chart()->backgroundBrush().color(), QColor(45, 45, 48));
    for (QAbstractAxis* axis : window->Chart()->axes())
        EXPECT_EQ(axis->labelsColor(), QColor(230, 230, 230));
    EXPECT_GT(window->AirtimeSeries()->pen().color().lightness(), 200);
    EXPECT_GT(window->LoadSeries()->pen().color().lightness(), 128);
}

TEST_F(HistoryWindowTest, LatestFiguresAreReadableByScreenReaders)
{
    PeriodHistory h;
    h.Add(period(End, 23));
    Open(h);
    const std::pair<TValueLabel*, const char*> labels[] = {
        {window->LatestTime, "Period ended"}, {window->LatestAirtime, "Airtime"}, {window->LatestLoad, "Load"},
        {window->LatestUsage, "Usage"}, {window->LatestEfficiency, "Efficiency"}, {window->LatestFrames, "Frames"}};
    for (const auto& [label, name] : labels) {
        EXPECT_EQ(accessible(label, QAccessible::Name), name);
        EXPECT_EQ(accessible(label, QAccessible::Value), label->text()) << name;
        EXPECT_EQ(accessibleText(label), label->text()) << name;
    }
    EXPECT_EQ(accessibleText(window->LatestAirtime), "23%");
    EXPECT_EQ(accessibleText(window->LatestFrames), "23");
}

// A window kept open shows, pixel for pixel, what one opened afresh shows:
// nothing it keeps from earlier drawings (grid, axes, background) is stale,
// whether a new period comes after a gap (the legend gains an entry) or the
// theme changes.
TEST_F(HistoryWindowTest, AnOpenWindowShowsWhatAFreshWindowShows)
{
    QPalette dark = QApplication::palette();
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    // The span, the step to the new period, the theme changed afterwards.
    const std::tuple<int64_t, int64_t, bool> cases[] = {{24 * 3600, 7200, false}, {6 * 3600, 30, true}};
    for (const auto& [span, step, darken] : cases) {
        PeriodHistory h = day();
        THistoryWindow open(h);
        open.show();
        open.SetSpan(span);
        open.ChartView()->grab(); // drawn before the new period comes
        h.Add(period(h.Latest().Time + step, 3000));
        open.PeriodAdded(h.Latest());
        open.ChartView()->grab();
        THistoryWindow afresh(h);
        afresh.show();
        afresh.SetSpan(span);
        for (THistoryWindow* w : {&open, &afresh})
            w->setPalette(darken ? dark : w->palette());
        ASSERT_TRUE(WaitFor([&] { return open.Chart()->plotArea() == afresh.Chart()->plotArea(); })) << span;
        EXPECT_TRUE(open.ChartView()->grab().toImage() == afresh.ChartView()->grab().toImage()) << span;
    }
}

// The figures can be selected with the mouse for copying, and keep their
// selection after the pointer has gone, until something else takes the focus.
TEST_F(HistoryWindowTest, TheLatestFiguresCanBeSelectedWithTheMouse)
{
    PeriodHistory h;
    h.Add(period(End, 23));
    Open(h);
    TValueLabel* const label = window->LatestAirtime;
    // Dragged across or only passed over; the focus then lost (how), or not (-1).
    const std::tuple<bool, int, bool> cases[] = {
        {true, -1, true}, {true, Qt::ActiveWindowFocusReason, true}, {true, Qt::MouseFocusReason, false}};
    for (const auto& [drag, lost, kept] : cases) {
        QEnterEvent enter(QPointF(1, 1), QPointF(1, 1), label->mapToGlobal(QPointF(1, 1)));
        QCoreApplication::sendEvent(label, &enter);
        if (drag) {
            QTest::mousePress(label, Qt::LeftButton, {}, QPoint(0, label->height() / 2));
            QTest::mouseMove(label, QPoint(label->width() - 1, label->height() / 2));
            QTest::mouseRelease(label, Qt::LeftButton, {}, QPoint(label->width() - 1, label->height() / 2));
        }
        QEvent leave(QEvent::Leave);
        QCoreApplication::sendEvent(label, &leave);
        QFocusEvent out(QEvent::FocusOut, Qt::FocusReason(lost));
        if (lost >= 0)
            QCoreApplication::sendEvent(label, &out);
        EXPECT_EQ(label->selectedText(), kept ? QString("23%") : QString()) << drag << " " << lost;
        QFocusEvent away(QEvent::FocusOut, Qt::MouseFocusReason);
        QCoreApplication::sendEvent(label, &away);
    }
}

TEST_F(HistoryWindowTest, ClosingDeletesTheWindowAndItsChart)
{
    const PeriodHistory h = day();
    Open(h);
    QPointer<THistoryWindow> open = window;
    QPointer<QChart> chart = window->Chart();
    QPointer<QLineSeries> series = window->AirtimeSeries();
    window->close();
    EXPECT_TRUE(WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return open.isNull();
    }));
    EXPECT_TRUE(chart.isNull());
    EXPECT_TRUE(series.isNull());
    window = nullptr;
}

namespace {

// Sends the pointer to Point of the viewport, as a moving mouse would.
void moveTo(QWidget* Viewport, QPoint Point)
{
    QMouseEvent move(QEvent::MouseMove, QPointF(Point), Viewport->mapToGlobal(QPointF(Point)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(Viewport, &move);
}

// The viewport pixel of a time and a percentage.
QPoint pixelOf(THistoryWindow* w, int64_t Time, qreal Percent)
{
    const QPointF onChart = w->Chart()->mapToPosition(QPointF(Time * 1000.0, Percent), w->AirtimeSeries());
    return w->ChartView()->mapFromScene(w->Chart()->mapToScene(onChart));
}

} // namespace

TEST_F(HistoryWindowTest, HoveringAnywhereMarksTheNearestPeriodAndTheTipStaysWhileThePointerDoes)
{
    PeriodHistory h;
    for (int n = 0; n < 40; ++n)
        h.Add(period(End - 39 * 60 + 60 * n, n));
    Open(h);
    ASSERT_TRUE(WaitFor([&] { return window->Chart()->plotArea().width() > 100; }));
    QWidget* viewport = window->ChartView()->viewport();
    // Far above the line (airtime of period 25 is 25 %), a little after the period.
    const PeriodRecord& r = h[25];
    moveTo(viewport, pixelOf(window, r.Time + 10, 95));
    ASSERT_TRUE(WaitFor([] { return QToolTip::isVisible(); }));
    EXPECT_EQ(QToolTip::text(), PeriodText(r));
    EXPECT_EQ(window->MarkedTime(), r.Time);
    ASSERT_TRUE(window->Marker()->isVisible());
    EXPECT_NEAR(window->Marker()->line().x1(), window->Chart()->mapToPosition(QPointF(r.Time * 1000.0, 0)).x(), 0.5);
    // The chart view's own tool-tip request (after the pointer rests) must not
    // take the period's tip away.
    QHelpEvent rest(QEvent::ToolTip, pixelOf(window, r.Time, 95), viewport->mapToGlobal(pixelOf(window, r.Time, 95)));
    QCoreApplication::sendEvent(viewport, &rest);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), PeriodText(r));
    // Leaving the plot ends it.
    QEvent leave(QEvent::Leave);
    QCoreApplication::sendEvent(viewport, &leave);
    EXPECT_FALSE(window->Marker()->isVisible());
    EXPECT_TRUE(WaitFor([] { return !QToolTip::isVisible(); }));
}

TEST_F(HistoryWindowTest, PeriodsWithoutFiguresAreGapsAndHoverSaysWhy)
{
    struct Case {
        EngineState engine;
        const char* says;
    };
    const Case cases[] = {{EngineState::Silent, "No figures: engine not answering"},
                          {EngineState::Disconnected, "No figures: disconnected from the engine"},
                          {EngineState::NoPort, "No figures: no radio port 1 on this engine"}};
    for (const Case& c : cases) {
        PeriodHistory h;
        for (int n = 0; n < 30; ++n) {
            PeriodRecord r = period(End - 29 * 60 + 60 * n, n);
            if (n >= 10 && n < 14)
                r.Engine = c.engine;
            h.Add(r);
        }
        Open(h);
        ASSERT_TRUE(WaitFor([&] { return window->Chart()->plotArea().width() > 100; }));
        // No point of the line in the blind stretch, and the cover over it
        // from the last period seen to the next.
        EXPECT_EQ(window->Line(PlotSample::Airtime).size(), 26);
        for (const QPointF& p : window->Line(PlotSample::Airtime))
            EXPECT_TRUE(p.x() < h[10].Time * 1000.0 || p.x() > h[13].Time * 1000.0);
        EXPECT_TRUE(window->BlindSeries()->isVisible());
        const auto cover = window->BlindStretchesDrawn();
        ASSERT_EQ(cover.size(), 1);
        EXPECT_EQ(cover[0].first, h[9].Time * 1000.0);
        EXPECT_EQ(cover[0].second, h[14].Time * 1000.0);
        // Drawn: where the line would run from the last period seen to the
        // next, its colour is gone.
        const QImage shot = window->ChartView()->grab().toImage();
        const QPoint middle = pixelOf(window, (h[9].Time + h[14].Time) / 2, (h[9].Airtime + h[14].Airtime) / 2.0);
        const qreal dpr = shot.devicePixelRatio();
        EXPECT_NE(shot.pixelColor(QPoint(int(middle.x() * dpr), int(middle.y() * dpr))),
                  window->AirtimeSeries()->pen().color());

        moveTo(window->ChartView()->viewport(), pixelOf(window, h[12].Time, 50));
        ASSERT_TRUE(WaitFor([] { return QToolTip::isVisible(); }));
        EXPECT_TRUE(QToolTip::text().contains(c.says)) << QToolTip::text().toStdString();
        EXPECT_FALSE(QToolTip::text().contains("Airtime")) << QToolTip::text().toStdString();
        EXPECT_EQ(window->LatestAirtime->text(), QString("%1%").arg(h.Latest().Airtime));
        QToolTip::hideText();
        delete window;
        window = nullptr;
    }
}

TEST_F(HistoryWindowTest, TheHoverSaysWhetherTheAirtimeRestsOnMeasuredPreambles)
{
    PeriodRecord r = period(End, 3);
    r.MeasuredPreambles = true;
    EXPECT_TRUE(PeriodText(r).contains("preambles measured on the channel"));
    r.MeasuredPreambles = false;
    EXPECT_TRUE(PeriodText(r).contains("assumed TXDELAY and TXTAIL"));
}

TEST_F(HistoryWindowTest, TheTimeAxisShowsTheDateWhenTheSpanCrossesMidnight)
{
    struct Case {
        QTime end;
        int64_t span;
        bool date;
    };
    const Case cases[] = {{QTime(0, 20), 3600, true}, {QTime(12, 0), 3600, false}, {QTime(12, 0), 6 * 3600, false},
                          {QTime(12, 0), 24 * 3600, true}};
    for (const Case& c : cases) {
        const int64_t end = QDateTime(QDate(2026, 12, 1), c.end).toSecsSinceEpoch();
        PeriodHistory h;
        for (int n = 0; n < 10; ++n)
            h.Add(period(end - 9 * 300 + 300 * n, n));
        Open(h);
        window->SetSpan(c.span);
        EXPECT_EQ(window->TimeAxis()->format().contains("MMM"), c.date) << c.end.toString().toStdString() << " " << c.span;
        delete window;
        window = nullptr;
    }
}

TEST_F(HistoryWindowTest, LongSpansDrawHourlyMeansAndMaximaFromTheStore)
{
    QTemporaryDir dir;
    TPeriodStore store;
    ASSERT_TRUE(store.Open(dir.filePath("s.sqlite")));
    // 40 days of a period every 10 minutes, the older part folded: the hours
    // must come out the same from folded and raw rows. In hour k the six
    // periods have airtime k % 40 + 0, 2, 4, 6, 8, 10: mean k % 40 + 5, max k % 40 + 10.
    const int64_t first = HourOf(End) - 40 * 86400;
    for (int64_t t = first; t < HourOf(End); t += 600) {
        PeriodRecord r = period(t, 0);
        r.Airtime = static_cast<int16_t>((t - first) / 3600 % 40 + (t % 3600) / 600 * 2);
        ASSERT_TRUE(store.Write(r));
    }
    while (store.FoldStep()) {
    }
    const PeriodHistory ring;
    window = new THistoryWindow(ring, &store);
    window->show();
    for (int64_t span : {7 * 86400, 30 * 86400, 365 * 86400})
        EXPECT_TRUE(window->SpanButton(span)->isEnabled()) << span;
    for (int64_t span : {30 * 86400, 365 * 86400}) {
        window->SpanButton(span)->click();
        ASSERT_EQ(window->Span(), span);
        const QList<QPointF> means = window->Line(PlotSample::Airtime);
        const QList<QPointF> maxima = window->BandTop(PlotSample::Airtime);
        EXPECT_FALSE(window->BandBottom(PlotSample::Airtime).isEmpty());
        ASSERT_GE(means.size(), 20) << span;
        for (const QList<QPointF>* line : {&means, &maxima})
            for (const QPointF& p : *line) {
                const int64_t k = (static_cast<int64_t>(p.x() / 1000) - first) / 3600;
                const double expected = k % 40 + (line == &means ? 5 : 10);
                EXPECT_NEAR(p.y(), expected, 1e-9) << "hour " << k;
            }
        // The band's top keeps the highest hour of the span.
        double top = 0;
        for (const QPointF& p : maxima)
            top = std::max(top, p.y());
        EXPECT_EQ(top, 49) << span;
    }
    // Hovering an hour tells its mean and maximum.
    window->SpanButton(7 * 86400)->click();
    ASSERT_TRUE(WaitFor([&] { return window->Chart()->plotArea().width() > 100; }));
    const int64_t hour = HourOf(End) - 50 * 3600;
    const int64_t k = (hour - first) / 3600;
    moveTo(window->ChartView()->viewport(), pixelOf(window, hour + 600, 50));
    ASSERT_TRUE(WaitFor([] { return QToolTip::isVisible(); }));
    EXPECT_EQ(window->MarkedTime(), hour);
    EXPECT_TRUE(QToolTip::text().contains(QString("Airtime mean %1%, max %2%").arg(k % 40 + 5).arg(k % 40 + 10)))
        << QToolTip::text().toStdString();
    EXPECT_TRUE(QToolTip::text().contains("6 periods, 0 without figures")) << QToolTip::text().toStdString();
    QToolTip::hideText();

    // A new period joins its hour without reading the store again (it goes
    // to the store first, as the meter writes it).
    PeriodRecord next = period(HourOf(End) + 60, 0);
    next.Airtime = 90;
    ASSERT_TRUE(store.Write(next));
    window->PeriodAdded(next);
    EXPECT_EQ(window->BandTop(PlotSample::Airtime).back(), QPointF(HourOf(End) * 1000.0, 90));

    // Without a store the long spans cannot be chosen.
    THistoryWindow without(ring);
    for (int64_t span : {7 * 86400, 30 * 86400, 365 * 86400}) {
        EXPECT_FALSE(without.SpanButton(span)->isEnabled()) << span;
        without.SetSpan(span);
        EXPECT_EQ(without.Span(), 3600);
    }
}

// The open window follows new periods on a long span by itself; what it then
// draws is what a window that reads the store afresh draws: the hours that
// close and open, the ones that leave the span's start, an hour without
// figures hatched over.
TEST_F(HistoryWindowTest, NewPeriodsOnALongSpanDrawWhatReadingTheStoreAgainDraws)
{
    for (const int64_t span : {int64_t(7 * 86400), int64_t(30 * 86400), int64_t(365 * 86400)}) {
        QTemporaryDir dir;
        TPeriodStore store;
        ASSERT_TRUE(store.Open(dir.filePath("s.sqlite")));
        // 32 days of a period every 20 minutes, with airtime 0, 2 and 4 in
        // each hour, so that the means are whole.
        const int64_t first = HourOf(End) - 32 * 86400;
        int n = 0;
        for (int64_t t = first; t < HourOf(End); t += 1200) {
            PeriodRecord r = period(t, n++);
            r.Airtime = static_cast<int16_t>((t - first) / 3600 % 40 + (t % 3600) / 1200 * 2);
            ASSERT_TRUE(store.Write(r));
        }
        const PeriodHistory ring;
        THistoryWindow open(ring, &store), afresh(ring, &store);
        open.show();
        afresh.show();
        open.SetSpan(span);
        ASSERT_TRUE(WaitFor([&] { return open.Chart()->plotArea() == afresh.Chart()->plotArea(); })) << span;
        // Three more hours: one as before, one the meter could not see, one
        // half full.
        for (int64_t t = HourOf(End); t < HourOf(End) + 2 * 3600 + 1800; t += 1200) {
            PeriodRecord r = period(t, n++);
            r.Airtime = static_cast<int16_t>((t % 3600) / 1200 * 2);
            if (t >= HourOf(End) + 3600 && t < HourOf(End) + 2 * 3600)
                r.Engine = EngineState::Silent;
            ASSERT_TRUE(store.Write(r));
            open.PeriodAdded(r);
        }
        afresh.SetSpan(span);
        ASSERT_EQ(open.Range(), afresh.Range()) << span;
        for (PlotSample::Figure f : {PlotSample::Airtime, PlotSample::Load, PlotSample::Usage})
            EXPECT_EQ(open.Line(f), afresh.Line(f)) << span << " figure " << f;
        for (PlotSample::Figure f : {PlotSample::Airtime, PlotSample::Load}) {
            EXPECT_EQ(open.BandTop(f), afresh.BandTop(f)) << span << " figure " << f;
            EXPECT_EQ(open.BandBottom(f), afresh.BandBottom(f)) << span << " figure " << f;
        }
        const QList<std::pair<qreal, qreal>> hatched = open.BlindStretchesDrawn();
        EXPECT_EQ(hatched, afresh.BlindStretchesDrawn()) << span;
        // The hour without figures, from the hour before it to the one after.
        EXPECT_TRUE(hatched.contains(std::pair<qreal, qreal>(HourOf(End) * 1000.0, (HourOf(End) + 7200) * 1000.0)))
            << span;
    }
}
