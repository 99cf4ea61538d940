// SPDX-License-Identifier: GPL-3.0-or-later
// The open history window's cost over the meter's own ring: a day of
// periods 30 s apart (2880), as the meter makes them. For each span of a
// day or less: CPU per new period (the window's redraw and a forced repaint
// of its chart), and switching to the span. Only the ring, no store, so that
// the same program measures any version of the window.
// Usage: history_window_cost   (QT_QPA_PLATFORM=offscreen or Xvfb)
#include "THistoryWindow.h"

#include <QApplication>
#include <QChartView>

#include <cstdio>
#include <ctime>

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

PeriodRecord period(int64_t Time, int64_t N)
{
    PeriodRecord r;
    r.Time = Time;
    r.Port = 1;
    r.Frames = static_cast<int32_t>(N % 9 + 1);
    r.Bytes = static_cast<int32_t>(300 + N * 37 % 1500);
    r.Datas = static_cast<int32_t>(200 + N * 23 % 1000);
    r.Airtime = static_cast<int16_t>(20 + N * 13 % 40);
    r.Load = static_cast<int16_t>(20 + N * 7 % 45);
    r.Usage = static_cast<int16_t>(15 + N * 11 % 50);
    r.Efficiency = static_cast<int16_t>(50 + N % 40);
    return r;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    const int64_t start = 1'796'083'200;
    PeriodHistory ring;
    int64_t n = 0;
    for (; n < 2880; ++n)
        ring.Add(period(start + 30 * n, n));
    auto* window = new THistoryWindow(ring);
    window->show();
    // Mapped and exposed, so that the repaints below really paint.
    QApplication::processEvents();
    const int64_t spans[] = {3600, 6 * 3600, 24 * 3600};
    const char* names[] = {"1 h", "6 h", "24 h"};
    for (int i = 0; i < 3; ++i) {
        double cpu = cpuMs();
        window->SetSpan(spans[i]);
        window->ChartView()->viewport()->repaint();
        std::printf("%-5s switch %.1f ms CPU;", names[i], cpuMs() - cpu);
        double sum = 0, most = 0;
        const int rounds = 10;
        for (int k = 0; k < rounds; ++k, ++n) {
            const PeriodRecord r = period(start + 30 * n, n);
            ring.Add(r);
            cpu = cpuMs();
            window->PeriodAdded(r);
            window->ChartView()->viewport()->repaint();
            const double used = cpuMs() - cpu;
            sum += used;
            most = used > most ? used : most;
        }
        std::printf(" new period mean %.2f ms, max %.2f ms CPU\n", sum / rounds, most);
    }
    delete window;
    return 0;
}
