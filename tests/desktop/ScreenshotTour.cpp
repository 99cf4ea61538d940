// SPDX-License-Identifier: GPL-3.0-or-later
// Puts the real main window through the four load classes and saves a picture
// of the screen (window and notification area) at each, for the documentation;
// then shows the Properties and About dialogs in turn. The window connects
// to the engine its settings name (scripts/screenshots runs the simulated
// channel) and waits for the connection before the first picture.
// Usage: chanload_tour <output folder> [prefix] [dark] [pt=N]
//   (run by scripts/screenshots under Xvfb; pt=N is the desktop font's size)
//
// For the history window's pictures:
//   chanload_tour history <output folder> <prefix> <light|dark> <csv file>...
// puts the periods of CSV logs (as chanload --log or --headless writes them) in
// a row, 30 s apart and ending now, into the history window and saves a
// picture of it with a period hovered.
#include "ClientSocket.h"
#include "MeterProp.h"
#include "PeriodRecord.h"
#include "Process.h"
#include "THistoryWindow.h"
#include "meter.h"

#include <QChart>
#include <QChartView>
#include <QCursor>
#include <QDateTime>
#include <QFile>
#include <QLineSeries>
#include <QToolTip>

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QLabel>
#include <QPalette>
#include <QPixmap>
#include <QStyleFactory>
#include <QScreen>
#include <QTimer>

#include <cstdio>
#include <vector>

namespace {

void settle(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
}

void shoot(const QString& path)
{
    settle(400);
    QGuiApplication::primaryScreen()->grabWindow(0).save(path);
    std::printf("%s\n", qPrintable(path));
}

// What a desktop with a dark theme hands the program.
void useDarkTheme()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(55, 55, 58));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    dark.setColor(QPalette::ToolTipBase, QColor(60, 60, 64));
    dark.setColor(QPalette::ToolTipText, QColor(230, 230, 230));
    QApplication::setPalette(dark);
}

// The periods of the files in a row, 30 s apart, the last one ending now.
PeriodHistory replay(const QStringList& files)
{
    std::vector<PeriodRecord> records;
    for (const QString& path : files) {
        QFile csv(path);
        if (!csv.open(QIODevice::ReadOnly))
            continue;
        while (!csv.atEnd()) {
            const QByteArray line = csv.readLine();
            const int comma = line.indexOf(',');
            PeriodRecord r;
            int n[9];
            if (comma < 0 || std::sscanf(line.constData() + comma, ",%d,%d,%d,%d,%d,%d,%d,%d,%d", &n[0], &n[1], &n[2],
                                         &n[3], &n[4], &n[5], &n[6], &n[7], &n[8]) != 9)
                continue; // the header
            r.Port = n[0];
            r.Frames = n[1];
            r.Bytes = n[2];
            r.Datas = n[3];
            r.Usage = static_cast<int16_t>(n[4]);
            r.Efficiency = static_cast<int16_t>(n[5]);
            r.Load = static_cast<int16_t>(n[6]);
            r.Airtime = static_cast<int16_t>(n[7]);
            r.OwnAirtime = static_cast<int16_t>(n[8]);
            records.push_back(r);
        }
    }
    PeriodHistory history;
    const int64_t end = QDateTime::currentSecsSinceEpoch() / 30 * 30;
    for (size_t i = 0; i < records.size(); ++i) {
        records[i].Time = end - 30 * static_cast<int64_t>(records.size() - 1 - i);
        history.Add(records[i]);
    }
    return history;
}

int showHistory(const QDir& out, const QString& prefix, const QStringList& files)
{
    const PeriodHistory history = replay(files);
    if (history.Size() < 2) {
        std::fprintf(stderr, "no periods in the files\n");
        return 1;
    }
    auto* window = new THistoryWindow(history);
    window->move(0, 0);
    window->show();
    settle(600);
    // The pointer resting on a period three quarters along, to show its tool tip.
    const PeriodRecord& r = history[history.Size() * 3 / 4];
    const QPointF onChart =
        window->Chart()->mapToPosition(QPointF(r.Time * 1000.0, r.Airtime), window->AirtimeSeries());
    const QPoint at = window->ChartView()->mapFromScene(window->Chart()->mapToScene(onChart));
    QCursor::setPos(window->ChartView()->viewport()->mapToGlobal(at + QPoint(-40, 40)));
    settle(200);
    QCursor::setPos(window->ChartView()->viewport()->mapToGlobal(at));
    QElapsedTimer t;
    t.start();
    while (!QToolTip::isVisible() && t.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!QToolTip::isVisible())
        std::fprintf(stderr, "no tool tip over the hovered period\n");
    settle(300);
    const QRect area = window->frameGeometry();
    const QString path = out.filePath(QStringLiteral("%1-history.png").arg(prefix));
    QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).save(path);
    std::printf("%s\n", qPrintable(path));
    delete window;
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ChanLoad"));
    if (argc >= 6 && QByteArray(argv[1]) == "history") {
        if (QByteArray(argv[4]) == "dark")
            useDarkTheme();
        QStringList files;
        for (int i = 5; i < argc; ++i)
            files << QString::fromLocal8Bit(argv[i]);
        return showHistory(QDir(QString::fromLocal8Bit(argv[2])), QString::fromLocal8Bit(argv[3]), files);
    }
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    const QString prefix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("main");
    SetEndProcessHandler([](int) {});
    for (int i = 3; i < argc; ++i) {
        const QByteArray option(argv[i]);
        if (option == "dark") {
            useDarkTheme();
        } else if (option.startsWith("pt=")) {
            QFont font = QApplication::font();
            font.setPointSize(option.mid(3).toInt());
            QApplication::setFont(font);
        }
    }

    auto* form = new TForm1;
    form->SetHistoryFactory(&MakeHistoryWindow);
    form->move(8, 40);
    QElapsedTimer waited;
    waited.start();
    while (!form->AGWPE->Active() && waited.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    if (!form->AGWPE->Active())
        std::fprintf(stderr, "not connected to an engine: the pictures say so\n");
    settle(300);

    // At 1000 bit/s and a 1 s period, ten periods of L bytes each are a load
    // and a usage of L percent.
    form->BW->setText(QStringLiteral("1000"));
    form->CheckTime->setInterval(1000);
    form->CheckTime->stop();
    const int loads[] = {12, 37, 62, 88};
    for (int i = 0; i < 4; ++i) {
        const int datas = loads[i] * (5 + i) / 10;
        SampleHistory.fill({loads[i], datas});
        form->Frames->setText(QString::number(loads[i] / 20 + 1));
        form->Bytes->setText(QString::number(loads[i]));
        form->Datas->setText(QString::number(datas));
        // The totals are set here, not counted: the picture shows a given load
        // class. Without an engine, keep the tick from starting an attempt.
        ConnectPending = true;
        form->CheckTimeTimer(form->CheckTime);
        form->Frames->setText(QString::number(loads[i] / 5 + 2));
        form->Bytes->setText(QString::number(4 * loads[i] + 38));
        form->Datas->setText(QString::number(3 * loads[i]));
        shoot(out.filePath(QStringLiteral("%1-load%2.png").arg(prefix).arg(i + 1)));
    }
    QTimer::singleShot(600, [&] {
        shoot(out.filePath(QStringLiteral("%1-properties.png").arg(prefix)));
        Form2->BitBtn2Click(nullptr);
    });
    form->Properties1Click(nullptr);
    settle(1200);
    QTimer::singleShot(600, [&] {
        shoot(out.filePath(QStringLiteral("%1-about.png").arg(prefix)));
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    form->About1Click(nullptr);
    delete form;
    return 0;
}
