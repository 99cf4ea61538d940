// SPDX-License-Identifier: GPL-3.0-or-later
// What the history store and the open history window cost, with periods
// spaced as the meter makes them (30 s apart):
//   a) a store seeded with a year of periods and their hours, none of the
//      periods folded yet: each fold step and each period written meanwhile,
//      as the meter's ticks would see them; then two days (STEADY_HOURS) of
//      the everyday fold, an hour's periods at a time, and its checkpoints;
//   b) the window opening on the 1-year span of that store (switching span
//      and new periods with the window open: bench/HistoryCost.cpp).
// Times are the process's CPU time (CLOCK_PROCESS_CPUTIME_ID) and wall time
// around the work and a forced repaint of the chart.
// Usage: history_store_bench [store file to keep [reuse [shots FOLDER]]]   (QT_QPA_PLATFORM=offscreen or Xvfb)
// "reuse" takes the store an earlier run left; "shots" saves the 7-day and 1-year spans as pictures.
#include "PeriodStore.h"
#include "THistoryWindow.h"

#include <QApplication>
#include <QChartView>
#include <QElapsedTimer>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <vector>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// A busy day's shape: quiet nights, busy evenings, and now and then a blind period.
PeriodRecord synthetic(int64_t Time, int64_t N)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = 1;
    const int hour = static_cast<int>(Time / 3600 % 24);
    const int base = hour < 6 ? 5 : hour < 17 ? 20 : 45;
    r.Frames = static_cast<int32_t>(N % 9 + 1);
    r.Bytes = static_cast<int32_t>(300 + N * 37 % 1500);
    r.Datas = static_cast<int32_t>(200 + N * 23 % 1000);
    r.Airtime = static_cast<int16_t>(base + N * 13 % 20);
    r.OwnAirtime = static_cast<int16_t>(N % 4);
    r.Load = static_cast<int16_t>(base + N * 7 % 25);
    r.Usage = static_cast<int16_t>(base + N * 11 % 30);
    r.Efficiency = static_cast<int16_t>(50 + N % 40);
    if (N % 997 == 0)
        r.Engine = EngineState::Silent;
    return r;
}

// A year of 30-second periods straight into the file, in one transaction.
bool seed(TPeriodStore& Store, int64_t Start, int64_t Count)
{
    QSqlDatabase db = Store.Database();
    db.transaction();
    QSqlQuery q(db);
    const QString sql = QStringLiteral(
        "WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %2) "
        "INSERT INTO periods SELECT %1 + 30 * i, 1, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE i % 9 + 1 END, CASE WHEN i % 997 = 0 THEN NULL ELSE 300 + i * 37 % 1500 END, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE 200 + i * 23 % 1000 END, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE (CASE WHEN (%1 + 30 * i) / 3600 % 24 < 6 THEN 5 WHEN (%1 + 30 * i) / 3600 % 24 < 17 THEN 20 ELSE 45 END) + i * 11 % 30 END, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE 50 + i % 40 END, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE (CASE WHEN (%1 + 30 * i) / 3600 % 24 < 6 THEN 5 WHEN (%1 + 30 * i) / 3600 % 24 < 17 THEN 20 ELSE 45 END) + i * 7 % 25 END, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE (CASE WHEN (%1 + 30 * i) / 3600 % 24 < 6 THEN 5 WHEN (%1 + 30 * i) / 3600 % 24 < 17 THEN 20 ELSE 45 END) + i * 13 % 20 END, "
        "CASE WHEN i % 997 = 0 THEN NULL ELSE i % 4 END, "
        "CASE WHEN i % 997 = 0 THEN 'silent' ELSE 'answering' END, CASE WHEN i % 997 = 0 THEN NULL ELSE 0 END FROM n")
                            .arg(Start)
                            .arg(Count - 1);
    // And their hours, as the meter keeps them while it writes.
    const QString hours = QStringLiteral(
        "INSERT INTO periods_hourly SELECT time / 3600 * 3600, port, COUNT(*), SUM(airtime IS NULL), SUM(frames), "
        "SUM(bytes), SUM(data), AVG(usage), MAX(usage), AVG(efficiency), MAX(efficiency), AVG(load), MAX(load), "
        "AVG(airtime), MAX(airtime), AVG(own_airtime), MAX(own_airtime) FROM periods WHERE true GROUP BY 1, 2");
    for (const QString& statement : {sql, hours}) {
        if (!q.exec(statement)) {
            std::fprintf(stderr, "seed: %s\n", q.lastError().text().toLocal8Bit().constData());
            return false;
        }
    }
    return db.commit();
}

struct Stats {
    std::vector<double> v;
    void add(double x) { v.push_back(x); }
    double max() const { return v.empty() ? 0 : *std::max_element(v.begin(), v.end()); }
    double mean() const
    {
        double s = 0;
        for (double x : v)
            s += x;
        return v.empty() ? 0 : s / static_cast<double>(v.size());
    }
    double p99()
    {
        if (v.empty())
            return 0;
        std::sort(v.begin(), v.end());
        return v[v.size() * 99 / 100];
    }
};

void paint(THistoryWindow* W)
{
    W->ChartView()->viewport()->repaint();
}

const char* spanName(int64_t Span)
{
    switch (Span) {
    case 3600:
        return "1 h";
    case 6 * 3600:
        return "6 h";
    case 24 * 3600:
        return "24 h";
    case 7 * 86400:
        return "7 days";
    case 30 * 86400:
        return "30 days";
    default:
        return "1 year";
    }
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = argc > 1 ? QString::fromLocal8Bit(argv[1]) : dir.filePath(QStringLiteral("year.sqlite"));
    // "reuse": the store of an earlier run, already seeded and folded.
    const bool reuse = argc > 2 && QByteArray(argv[2]) == "reuse";
    // Hours of the everyday fold to run after the big one.
    const int steadyHours = qEnvironmentVariableIsSet("STEADY_HOURS") ? qEnvironmentVariableIntValue("STEADY_HOURS") : 24;
    if (!reuse)
        QFile::remove(path);
    const int64_t now = 1'796'083'200; // 2026-12-01
    const int64_t year = 365 * 86400;
    const int64_t count = year / 30;

    TPeriodStore store;
    if (!store.Open(path)) {
        std::fprintf(stderr, "%s\n", store.Error().toLocal8Bit().constData());
        return 1;
    }
    QElapsedTimer wall;
    wall.start();
    if (!reuse && !seed(store, now - year, count))
        return 1;
    store.Close();
    std::printf("a) seeded %lld periods 30 s apart over a year in %.1f s\n", static_cast<long long>(count),
                static_cast<double>(wall.elapsed()) / 1000);

    // The meter starts on it: writes a period each tick, and folds step by
    // step between ticks.
    if (!store.Open(path))
        return 1;
    Stats steps, stepsCpu, writes;
    int64_t t = std::max(now, store.LastTime());
    int64_t n = 0;
    bool more = !reuse;
    wall.restart();
    while (more) {
        QElapsedTimer one;
        // A period every 50 steps, so that writes meet the fold under way.
        if (steps.v.size() % 50 == 0) {
            t += 30;
            one.start();
            if (!store.Write(synthetic(t, ++n)))
                return 1;
            writes.add(static_cast<double>(one.nsecsElapsed()) / 1e6);
        }
        one.start();
        const double cpu = cpuMs();
        more = store.FoldStep();
        steps.add(static_cast<double>(one.nsecsElapsed()) / 1e6);
        stepsCpu.add(cpuMs() - cpu);
    }
    if (!store.Error().isEmpty())
        std::fprintf(stderr, "fold: %s\n", store.Error().toLocal8Bit().constData());
    const double foldSeconds = static_cast<double>(wall.elapsed()) / 1000;
    std::printf("   fold of 11 months: %zu steps in %.1f s; step wall mean %.2f ms, p99 %.2f ms, max %.2f ms; "
                "CPU mean %.2f ms, p99 %.2f ms, max %.2f ms\n",
                steps.v.size(), foldSeconds, steps.mean(), steps.p99(), steps.max(), stepsCpu.mean(), stepsCpu.p99(),
                stepsCpu.max());
    std::printf("   periods written during the fold: %zu; write mean %.2f ms, p99 %.2f ms, max %.2f ms\n",
                writes.v.size(), writes.mean(), writes.p99(), writes.max());
    {
        QSqlQuery q(store.Database());
        q.exec(QStringLiteral("SELECT (SELECT COUNT(*) FROM periods), (SELECT COUNT(*) FROM periods_hourly)"));
        q.next();
        std::printf("   store now: %lld periods, %lld hours\n", q.value(0).toLongLong(), q.value(1).toLongLong());
    }

    // Then as every day: a period every 30 s, and once an hour the fold of
    // the hour that has grown older than 31 days, step by step between ticks.
    {
        Stats hourSteps, hourStepsCpu, tickWrites, checkpoints;
        int runs = 0;
        const int hoursToRun = steadyHours;
        for (int k = 0; k < hoursToRun * 120; ++k) {
            t += 30;
            QElapsedTimer one;
            one.start();
            if (!store.Write(synthetic(t, ++n)))
                return 1;
            tickWrites.add(static_cast<double>(one.nsecsElapsed()) / 1e6);
            if (!store.Folding())
                continue;
            ++runs;
            for (bool go = true; go;) {
                const bool checkpoint = store.CheckpointNext();
                one.start();
                const double cpu = cpuMs();
                go = store.FoldStep();
                const double ms = static_cast<double>(one.nsecsElapsed()) / 1e6;
                if (checkpoint) {
                    checkpoints.add(ms);
                    continue;
                }
                hourSteps.add(ms);
                hourStepsCpu.add(cpuMs() - cpu);
            }
            // The store's own turn of the event loop ends its run.
            while (store.Folding())
                QCoreApplication::processEvents();
        }
        std::printf("   as every day, %d hours of periods 30 s apart: %d folds of %zu steps; step wall mean %.2f ms, "
                    "max %.2f ms; CPU mean %.2f ms, max %.2f ms; write wall mean %.2f ms, p99 %.2f ms, max %.2f ms\n",
                    hoursToRun, runs, hourSteps.v.size(), hourSteps.mean(), hourSteps.max(), hourStepsCpu.mean(),
                    hourStepsCpu.max(), tickWrites.mean(), tickWrites.p99(), tickWrites.max());
        std::printf("   and %zu checkpoints of the log, each a fold step of its own: wall mean %.2f ms, max %.2f ms\n",
                    checkpoints.v.size(), checkpoints.mean(), checkpoints.max());
    }

    // The ring the meter fills at start from the store: the last day.
    PeriodHistory ring;
    for (const PeriodRecord& r : store.Periods(store.LastTime() - PeriodHistory::SpanSeconds, store.LastTime()))
        ring.Add(r);
    std::printf("b) ring of %zu periods from the store\n", ring.Size());
    for (int64_t span : {30 * 86400, 365 * 86400}) {
        wall.restart();
        const size_t hours = store.Hours(HourOf(store.LastTime() - span), store.LastTime()).size();
        std::printf("   reading the %zu hours of %s from the store: %lld ms\n", hours, spanName(span),
                    static_cast<long long>(wall.elapsed()));
    }

    wall.restart();
    double cpu = cpuMs();
    auto* window = new THistoryWindow(ring, &store);
    window->show();
    // Mapped and exposed, so that the repaints below really paint.
    QApplication::processEvents();
    window->SetSpan(365 * 86400);
    paint(window);
    std::printf("   window opened on the 1-year span: %lld ms wall, %.1f ms CPU (%lld points in the airtime line)\n",
                static_cast<long long>(wall.elapsed()), cpuMs() - cpu,
                static_cast<long long>(window->Line(PlotSample::Airtime).size()));
    // "shots DIR": pictures of the long spans for the documentation.
    if (argc > 4 && QByteArray(argv[3]) == "shots") {
        window->resize(900, 520);
        for (int64_t span : {7 * 86400, 365 * 86400}) {
            window->SetSpan(span);
            QApplication::processEvents();
            const QString name = QStringLiteral("%1/history-%2.png")
                                     .arg(QString::fromLocal8Bit(argv[4]), span == 7 * 86400 ? "7days" : "year");
            window->grab().save(name);
        }
    }

    delete window;
    return 0;
}
