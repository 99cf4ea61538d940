// Puts the real main window through the four load classes and saves a picture
// of the screen (window and notification area) at each, for the documentation.
// With the prefix "dialogs" it also shows the Properties and About dialogs.
// Usage: chanload_tour <output folder> [prefix] [dark]   (run by scripts/screenshots under Xvfb)
#include "MeterProp.h"
#include "Process.h"
#include "meter.h"

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

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ChanLoad"));
    const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
    const QString prefix = argc > 2 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("main");
    SetEndProcessHandler([](int) {});
    if (argc > 3 && QByteArray(argv[3]) == "dark") {
        // What a desktop with a dark theme hands the program.
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(45, 45, 48));
        dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
        dark.setColor(QPalette::Base, QColor(30, 30, 32));
        dark.setColor(QPalette::Text, QColor(230, 230, 230));
        dark.setColor(QPalette::Button, QColor(55, 55, 58));
        dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
        dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
        QApplication::setPalette(dark);
    }

    auto* form = new TForm1;
    auto* properties = new TForm2;
    form->move(8, 40);
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
        // No engine here: keep the tick from starting an attempt whose failure
        // would put the disconnected icon back.
        ConnectPending = true;
        form->CheckTimeTimer(form->CheckTime);
        form->Frames->setText(QString::number(loads[i] / 5 + 2));
        form->Bytes->setText(QString::number(4 * loads[i] + 38));
        form->Datas->setText(QString::number(3 * loads[i]));
        shoot(out.filePath(QStringLiteral("%1-load%2.png").arg(prefix).arg(i + 1)));
    }
    if (prefix == QLatin1String("dialogs")) {
        QTimer::singleShot(600, [&] {
            shoot(out.filePath(QStringLiteral("properties.png")));
            properties->BitBtn2Click(nullptr);
        });
        form->Properties1Click(nullptr);
        settle(1200);
        QTimer::singleShot(600, [&] {
            shoot(out.filePath(QStringLiteral("about.png")));
            if (QWidget* box = QApplication::activeModalWidget())
                box->close();
        });
        form->About1Click(nullptr);
    }
    delete properties;
    delete form;
    return 0;
}
