// SPDX-License-Identifier: GPL-3.0-or-later
// What the open history window costs, on every span, against the meter's own
// tick with the window closed. The window works as in the program: over the
// ring of the last day, filled from a store that holds a year (hours for the
// year, periods for the last 31 days). Periods are 30 s apart, as the meter
// makes them by default: a day spans 2880 of them across the chart (periods
// put into the same second would all land on one pixel column and hide the
// drawing's cost).
//
// For each span: switching to it (from the last hour, or to the last hour
// from the day), then new periods, each written to the store, added to the
// ring and handed to the open window; timed is the window's part, up to the
// paints that Qt then makes of what changed (the chart, the labels of the
// latest period). CPU time of the whole process, in ms.
// Output, one line per figure:
//   closed <ms> ...
//   span <1h|6h|24h|7d|30d|1y> switch <ms> new <mean ms> max <ms> ...
// Usage: history_cost [new periods per span, default 40 [only this span (e.g. 30d, or all)
//                     [days in the store, default 365]]]   (QT_QPA_PLATFORM=offscreen or Xvfb; run by bench/resources)
#include "OfflineMeter.h"
#include "PeriodRecord.h"
#include "PeriodStore.h"
#include "THistoryWindow.h"
#include "meter.h"

#include <QApplication>
#include <QChartView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Lets the window do all it has been asked to, as the event loop would
// between ticks: the chart's queued updates, then the paints of whatever they
// made dirty (the chart, the labels whose text changed).
void settle()
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
}

// Counts the paints of a widget, so that the figures show the chart was drawn.
class PaintCount : public QObject {
public:
    int Paints = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++Paints;
        return false;
    }
};

void run(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Traffic that differs from period to period, as on a real channel; now and
// then a period the meter did not see. The store's seed below makes the same.
PeriodRecord period(int64_t Time, int64_t N)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = 1;
    if (N % 997 == 0) {
        r.Engine = EngineState::Silent;
        return r;
    }
    r.Frames = static_cast<int32_t>(N % 7 + 1);
    r.Bytes = static_cast<int32_t>(300 + N % 1200);
    r.Datas = static_cast<int32_t>(200 + N % 900);
    r.Usage = static_cast<int16_t>(N % 97);
    r.Efficiency = static_cast<int16_t>(40 + N % 50);
    r.Load = static_cast<int16_t>((N * 7) % 90);
    r.Airtime = static_cast<int16_t>((N * 11) % 95);
    r.OwnAirtime = static_cast<int16_t>(N % 13);
    return r;
}

// Count periods 30 s apart from Start: their hours for all of them, their own
// rows for those of the last 31 days, as a meter that ran a year leaves them.
bool seed(TPeriodStore& Store, int64_t Start, int64_t Count)
{
    QSqlDatabase db = Store.Database();
    db.transaction();
    QSqlQuery q(db);
    const QString figures = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
        "SELECT %1 + 30 * i AS time, 1 AS port, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE i % 7 + 1 END AS frames, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE 300 + i % 1200 END AS bytes, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE 200 + i % 900 END AS data, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE i % 97 END AS usage, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE 40 + i % 50 END AS efficiency, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE i * 7 % 90 END AS load, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE i * 11 % 95 END AS airtime, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE i % 13 END AS own_airtime, "
        "CASE WHEN i % 997 = 0 THEN 'silent' ELSE 'answering' END AS engine, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE 0 END AS measured_preambles FROM n")
                                .arg(Start)
                                .arg(Count - 1);
    const QString statements[] = {
        QStringLiteral("CREATE TEMP TABLE seed AS %1").arg(figures),
        QStringLiteral("INSERT INTO periods_hourly SELECT time / 3600 * 3600, port, COUNT(*), SUM(airtime IS NULL), "
                       "SUM(frames), SUM(bytes), SUM(data), AVG(usage), MAX(usage), AVG(efficiency), "
                       "MAX(efficiency), AVG(load), MAX(load), AVG(airtime), MAX(airtime), AVG(own_airtime), "
                       "MAX(own_airtime) FROM seed GROUP BY 1, 2"),
        QStringLiteral("INSERT INTO periods SELECT * FROM seed WHERE time >= %1")
            .arg(Start + 30 * (Count - 1) - TPeriodStore::RawSeconds),
        QStringLiteral("DROP TABLE seed"),
    };
    for (const QString& s : statements) {
        if (!q.exec(s)) {
            std::fprintf(stderr, "seed: %s\n", q.lastError().text().toLocal8Bit().constData());
            return false;
        }
    }
    return db.commit();
}

const char* spanName(int64_t Span)
{
    switch (Span) {
    case 3600:
        return "1h";
    case 6 * 3600:
        return "6h";
    case 24 * 3600:
        return "24h";
    case 7 * 86400:
        return "7d";
    case 30 * 86400:
        return "30d";
    default:
        return "1y";
    }
}

} // namespace

// Apart, so that a profiler can be pointed at it (callgrind --toggle-collect=timedAdd*).
__attribute__((noinline)) double timedAdd(THistoryWindow* Window, const PeriodRecord& Record)
{
    const double start = cpuMs();
    Window->PeriodAdded(Record);
    settle();
    return cpuMs() - start;
}

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 40;
    QTemporaryDir config;
    // The reference: a period of the real meter, its window shown, the
    // history window closed.
    TForm1* const form = MakeOfflineMeter(config);
    if (!form)
        return 1;
    const auto tick = [&](int n) {
        form->Frames->setText(QString::number(n % 7 + 1));
        form->Bytes->setText(QString::number(300 + n % 1200));
        form->Datas->setText(QString::number(200 + n % 900));
        ConnectPending = true;
        form->CheckTimeTimer(form->CheckTime);
        settle();
    };
    run(300);
    for (int n = 0; n < 20; ++n)
        tick(n); // whatever the first periods make once
    double t0 = cpuMs();
    for (int n = 0; n < 20; ++n)
        tick(n);
    const double closedMs = (cpuMs() - t0) / 20;
    std::printf("closed %.3f ms per period (the main window's tick, history window closed, 20 periods)\n", closedMs);
    std::fflush(stdout);

    // A year of periods 30 s apart (or the days asked for), the last one a minute ago.
    const int64_t periods = (argc > 3 ? std::max(2, std::atoi(argv[3])) : 365) * int64_t(2880);
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    const int64_t first = now - 60 - 30 * (periods - 1);
    TPeriodStore store;
    if (!store.Open(config.filePath(QStringLiteral("history.sqlite"))) || !seed(store, first, periods)) {
        std::fprintf(stderr, "store: %s\n", store.Error().toLocal8Bit().constData());
        return 1;
    }
    store.Close();
    if (!store.Open(config.filePath(QStringLiteral("history.sqlite"))))
        return 1;
    // The ring as the meter fills it at start: the last day from the store.
    PeriodHistory ring;
    for (const PeriodRecord& r : store.Periods(store.LastTime() - PeriodHistory::SpanSeconds, store.LastTime()))
        ring.Add(r);

    auto* window = new THistoryWindow(ring, &store);
    window->show();
    PaintCount chartPaints;
    window->ChartView()->viewport()->installEventFilter(&chartPaints);
    run(300);
    settle();

    int64_t n = periods;
    const auto newPeriod = [&] {
        const PeriodRecord r = period(first + 30 * n, n);
        ++n;
        if (!store.Write(r)) {
            std::fprintf(stderr, "store: %s\n", store.Error().toLocal8Bit().constData());
            std::exit(1);
        }
        // The store's own work between ticks is not the window's.
        while (store.Folding())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        ring.Add(r);
        return timedAdd(window, r);
    };
    // Whatever the first periods make once.
    for (int k = 0; k < 3; ++k)
        newPeriod();

    for (int64_t span : THistoryWindow::Spans) {
        if (argc > 2 && QByteArray(argv[2]) != "all" && QByteArray(argv[2]) != spanName(span))
            continue;
        window->SetSpan(span == 3600 ? 24 * 3600 : 3600);
        settle();
        t0 = cpuMs();
        window->SetSpan(span);
        settle();
        const double switchMs = cpuMs() - t0;
        double sum = 0, most = 0;
        chartPaints.Paints = 0;
        for (int k = 0; k < count; ++k) {
            const double used = newPeriod();
            sum += used;
            most = std::max(most, used);
        }
        std::printf("span %s switch %.2f ms new %.3f ms max %.3f ms (%s the span; %d new periods 30 s apart, "
                    "%d paints of the chart, %lld points in the airtime line)\n",
                    spanName(span), switchMs, sum / count, most, span == 3600 ? "from 24 h to" : "from 1 h to",
                    count, chartPaints.Paints, static_cast<long long>(window->Line(PlotSample::Airtime).size()));
        std::fflush(stdout);
    }
    delete window;
    delete form;
    return 0;
}
