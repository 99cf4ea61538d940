// SPDX-License-Identifier: GPL-3.0-or-later
// What a new period costs with the history window open, against the same
// period with it closed, and what switching the window to a day costs. The
// periods are 30 s apart, as the meter makes them by default, so that a day
// spans 2880 of them across the chart (periods put into the same second
// would all land on one pixel column and hide the drawing's cost).
// Prints one line per figure, CPU time of the whole process in ms.
// Usage: history_cost [new periods to time, default 20]   (run by bench/resources)
#include "ErrorBox.h"
#include "PeriodRecord.h"
#include "Process.h"
#include "THistoryWindow.h"
#include "meter.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTimer>

#include <ctime>

#include <cstdio>
#include <cstdlib>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// Lets the window do all it has been asked to: the chart's queued updates,
// then a paint of the whole window, as an expose would.
void settle(QWidget* Window)
{
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    }
    if (Window)
        Window->repaint();
}

void run(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Traffic that differs from period to period, as on a real channel.
PeriodRecord period(int64_t Time, int N)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = 1;
    r.Frames = N % 7 + 1;
    r.Bytes = 300 + N % 1200;
    r.Datas = 200 + N % 900;
    r.Usage = static_cast<int16_t>(N % 97);
    r.Efficiency = static_cast<int16_t>(40 + N % 50);
    r.Load = static_cast<int16_t>((N * 7) % 90);
    r.Airtime = static_cast<int16_t>((N * 11) % 95);
    r.OwnAirtime = static_cast<int16_t>(N % 13);
    return r;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int count = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    {
        // Nobody listens on port 9 of loopback; the ticks below never try again.
        QFile ini(QDir(config.path()).filePath(QStringLiteral("CHANLOAD.INI")));
        if (!ini.open(QIODevice::WriteOnly))
            return 1;
        ini.write("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=9\nSAMPLE=30000\nBW=1200\n");
    }
    SetEndProcessHandler([](int) {});
    SetErrorBoxHandler([](const QString&) {});

    // The reference: a period of the real meter, its window shown, the
    // history window closed.
    auto* form = new TForm1;
    form->CheckTime->stop();
    const auto tick = [&](int n) {
        form->Frames->setText(QString::number(n % 7 + 1));
        form->Bytes->setText(QString::number(300 + n % 1200));
        form->Datas->setText(QString::number(200 + n % 900));
        ConnectPending = true;
        form->CheckTimeTimer(form->CheckTime);
        settle(form);
    };
    run(300);
    for (int n = 0; n < 20; ++n)
        tick(n); // whatever the first periods make once
    double t0 = cpuMs();
    for (int n = 0; n < count; ++n)
        tick(n);
    const double closedMs = (cpuMs() - t0) / count;

    // A day of periods 30 s apart, the last one now.
    PeriodHistory day;
    const int64_t now = QDateTime::currentSecsSinceEpoch();
    const int periods = 2880;
    for (int n = 0; n < periods; ++n)
        day.Add(period(now - 30 * static_cast<int64_t>(periods - n), n));
    auto* window = new THistoryWindow(day);
    window->show();
    run(500);
    settle(window);

    t0 = cpuMs();
    window->SetSpan(24 * 3600);
    settle(window);
    const double switchMs = cpuMs() - t0;

    // New periods, 30 s apart, each drawn into the open day.
    for (int n = 0; n < 3; ++n) {
        const PeriodRecord r = period(now + 30 * (n + 1), periods + n);
        day.Add(r);
        window->PeriodAdded(r);
        settle(window);
    }
    t0 = cpuMs();
    for (int n = 0; n < count; ++n) {
        const PeriodRecord r = period(now + 30 * (n + 4), periods + n + 3);
        day.Add(r);
        window->PeriodAdded(r);
        settle(window);
    }
    const double openMs = (cpuMs() - t0) / count;

    std::printf("closed %.3f ms per period (the main window's tick, %d periods)\n", closedMs, count);
    std::printf("open %.3f ms per period (history window open on 24 h, %d periods 30 s apart, %d new)\n", openMs,
                periods, count);
    std::printf("switch %.3f ms (the open window from 1 h to 24 h)\n", switchMs);
    delete window;
    delete form;
    return 0;
}
