// SPDX-License-Identifier: GPL-3.0-or-later
// What the history costs the running meter: the real main window evaluates a
// day of 30-second periods (2880) with the history window never opened, then
// the window is opened and closed a few times. Prints the process's anonymous
// resident memory (RssAnon, after giving freed heap back with malloc_trim) at
// each step, and the timers the program's objects hold.
// With a store file, the meter keeps its periods in it as the program does
// (the ring filled from it at start, each period written, folding between).
// Usage: history_memory [rounds of open and close, default 5] [store file]   (run by bench/resources)
#include "OfflineMeter.h"
#include "PeriodStore.h"
#include "THistoryWindow.h"
#include "meter.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QChartView>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <malloc.h>

#include <cstdio>
#include <cstdlib>

namespace {

long rssAnonKiB()
{
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("RssAnon:"))
            return line.mid(8).trimmed().split(' ').front().toLong();
    return -1;
}

// Heap bytes in live allocations: what RssAnon would be without the holes
// that freed blocks leave.
long heapInUseKiB()
{
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

void run(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
}

int timersOf(QObject* o)
{
    int n = static_cast<int>(QAbstractEventDispatcher::instance()->registeredTimers(o).size());
    for (QObject* child : o->children())
        n += timersOf(child);
    return n;
}

// Timers held by the application object and every window, with their children.
int timers()
{
    int n = timersOf(qApp);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (!w->parent())
            n += timersOf(w);
    return n;
}

int charts()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        n += static_cast<int>(w->findChildren<QChartView*>().size());
    return n;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QTemporaryDir config;
    TForm1* const form = MakeOfflineMeter(config);
    if (!form)
        return 1;
    TPeriodStore store;
    if (argc > 2) {
        if (!store.Open(QString::fromLocal8Bit(argv[2]))) {
            std::fprintf(stderr, "%s\n", store.Error().toLocal8Bit().constData());
            return 1;
        }
        form->SetStore(&store);
        form->RestoreHistory(store.Periods(store.LastTime() - PeriodHistory::SpanSeconds, store.LastTime()));
        QObject::connect(form, &TForm1::PeriodEvaluated, &store, [&](const PeriodRecord& r) { store.Write(r); });
        std::printf("store %s: %zu periods of the last day restored\n", argv[2], form->History().Size());
    }
    ConnectPending = true;
    int evaluated = 0;
    const auto tick = [&](int n) {
        // Traffic that differs from period to period, as on a real channel.
        form->Frames->setText(QString::number(n % 7 + 1));
        form->Bytes->setText(QString::number(300 + n % 1200));
        form->Datas->setText(QString::number(200 + n % 900));
        ConnectPending = true;
        form->CheckTimeTimer(form->CheckTime);
        ++evaluated;
    };
    // Whatever the first periods make once (label pictures, caches) is not the history's.
    for (int n = 0; n < 20; ++n)
        tick(n);
    // The meter's own tick, as it runs all the time.
    form->CheckTime->start(30000);
    run(300);

    const long start = rssAnonKiB();
    const long heapStart = heapInUseKiB();
    const int timersStart = timers();
    const size_t recordsStart = form->History().Size();
    for (int n = 0; n < 2880; ++n)
        tick(n);
    run(300);
    const long filled = rssAnonKiB();
    const long heapFilled = heapInUseKiB();
    const int timersFilled = timers();
    std::printf("records %zu -> %zu (%d bytes each)\n", recordsStart, form->History().Size(),
                static_cast<int>(sizeof(PeriodRecord)));
    std::printf("never opened: RssAnon %ld -> %ld KiB, growth %ld KiB for 2880 periods (heap in use %+ld KiB); "
                "charts %d; timers %d -> %d\n",
                start, filled, filled - start, heapFilled - heapStart, charts(), timersStart, timersFilled);

    long firstClosed = 0;
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
    for (int round = 1; round <= rounds; ++round) {
        form->OpenHistory();
        run(500);
        const long open = rssAnonKiB();
        const int chartsOpen = charts();
        const int timersOpen = timers();
        form->HistoryWindow()->close();
        run(300);
        const long closed = rssAnonKiB();
        if (round == 1)
            firstClosed = closed;
        std::printf("round %d: open %ld KiB (+%ld, charts %d, timers %d), closed %ld KiB (%+ld against never opened; "
                    "heap in use %+ld KiB; charts %d, timers %d)\n",
                    round, open, open - filled, chartsOpen, timersOpen, closed, closed - filled,
                    heapInUseKiB() - heapFilled, charts(), timers());
    }
    std::printf("after %d rounds: %+ld KiB against the first close\n", rounds, rssAnonKiB() - firstClosed);
    delete form;
    store.Close();
    return 0;
}
