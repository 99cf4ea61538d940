// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGTERM, SIGINT and SIGHUP delivered as an ordinary event on the UI thread,
// so that a program without a window can end through its usual exit steps,
// and reopen its log on SIGHUP.
#include <QObject>

#include <functional>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    // Catches the signals from this moment, before the application object
    // exists and before any file is opened; each one caught is handed to the
    // handler once an instance exists. Also makes a write to a closed pipe an
    // error instead of a silent end. Call it once, first thing in main().
    static void CatchEarly();

    // Handler runs on the UI thread once per signal received (caught from
    // here on if CatchEarly was not called). One instance per process; it
    // restores the default actions when it is destroyed.
    explicit TTerminationSignals(std::function<void(int Signal)> Handler, QObject* parent = nullptr);
    ~TTerminationSignals() override;

private:
    std::function<void(int)> handler;
    QSocketNotifier* notifier = nullptr;
};
