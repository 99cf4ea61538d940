#pragma once
// One QApplication for a whole test binary, created on first use and kept, as
// gtest_main owns main().
#include <QApplication>

inline QApplication* EnsureApplication()
{
    static int argc = 1;
    static char name[] = "chanload-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = new QApplication(argc, argv);
    return app;
}

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
