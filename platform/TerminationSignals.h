// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGTERM, SIGINT and SIGHUP delivered as an ordinary event on the UI thread,
// so that a program without a window can end through its usual exit steps,
// and reopen its log on SIGHUP. Windows has none of these signals: there the
// class catches nothing and the process ends as the system ends it.
#include <QObject>

#include <functional>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    // Catches the signals from this moment, before the application object
    // exists and before any file is opened; each one caught is handed to the
    // handlers once an instance exists. Also makes a write to a closed pipe
    // an error instead of a silent end. Call it once, first thing in main().
    static void CatchEarly();
    // A write to a pipe or FIFO whose reader has gone fails with an error
    // where it is written, instead of ending the process.
    static void IgnoreBrokenPipe();

    // End runs on the UI thread once per SIGTERM or SIGINT received, Reopen
    // once per SIGHUP (caught from here on if CatchEarly was not called). One
    // instance per process; it restores the default actions when destroyed.
    TTerminationSignals(std::function<void()> End, std::function<void()> Reopen, QObject* parent = nullptr);
    ~TTerminationSignals() override;

private:
    std::function<void()> end, reopen;
    QSocketNotifier* notifier = nullptr;
};
