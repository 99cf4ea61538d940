// SPDX-License-Identifier: GPL-3.0-or-later
#include "THistoryWindow.h"

#include "AccessibleLabel.h"
#include "QtTestApp.h"

#include <QAccessible>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QImage>
#include <QLineSeries>
#include <QMouseEvent>
#include <QPointer>
#include <QRadioButton>
#include <QToolTip>
#include <QValueAxis>

#include <gtest/gtest.h>

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
    // them exactly while there are no more than two per pixel column; beyond
    // that only periods of h, in time order, few enough, and every period's
    // value within what its pixel column draws, so that no peak is lost.
    void ExpectDrawn(const PeriodHistory& h, size_t from, size_t to)
    {
        const auto n = static_cast<qsizetype>(to - from);
        const qreal width = window->Chart()->plotArea().width() > 50 ? window->Chart()->plotArea().width() : 700;
        QLineSeries* const series[] = {window->AirtimeSeries(), window->LoadSeries(), window->UsageSeries()};
        const auto y = [&](int s, const PeriodRecord& r) { return s == 0 ? r.Airtime : s == 1 ? r.Load : r.Usage; };
        for (int s = 0; s < 3; ++s) {
            if (n <= 2 * width) {
                ASSERT_EQ(series[s]->count(), n) << s;
                for (size_t i = from; i < to; ++i)
                    EXPECT_EQ(series[s]->at(static_cast<qsizetype>(i - from)), QPointF(h[i].Time * 1000.0, y(s, h[i])))
                        << s << " " << i;
                continue;
            }
            const QList<QPointF> drawn = series[s]->points();
            EXPECT_LE(drawn.size(), 2 * width + 2) << s;
            for (qsizetype k = 0; k < drawn.size(); ++k) {
                const size_t i = h.FirstSince(static_cast<int64_t>(drawn[k].x() / 1000));
                ASSERT_LT(i, h.Size());
                EXPECT_EQ(drawn[k], QPointF(h[i].Time * 1000.0, y(s, h[i]))) << "not a period's point";
                if (k > 0)
                    EXPECT_GT(drawn[k].x(), drawn[k - 1].x());
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
    EXPECT_EQ(window->AirtimeSeries()->count(), 0);
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
