// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One QApplication for a whole test binary, created on first use and kept, as
// gtest_main owns main().
#include <QApplication>
#include <QElapsedTimer>

#include <functional>

inline QApplication* EnsureApplication()
{
    static int argc = 1;
    static char name[] = "chanload-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

#include <ostream>

// Runs the event loop until done() holds or ms have passed; tells which.
inline bool WaitFor(const std::function<bool()>& done, int ms = 5000)
{
    QElapsedTimer t;
    t.start();
    while (!done() && t.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return done();
}

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
