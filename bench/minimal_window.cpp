// SPDX-License-Identifier: GPL-3.0-or-later
// The yardstick for ChanLoad's start-up time and memory: the least a Qt
// Widgets program with one window costs (bench/resources).
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Minimal Qt window"));
    window.setCentralWidget(new QLabel(QStringLiteral("Nothing to measure here."), &window));
    window.show();
    return app.exec();
}
