// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SIGTERM and SIGINT delivered as an ordinary event on the UI thread, so that
// a program without a window can end through its usual exit steps.
#include <QObject>

#include <functional>

class QSocketNotifier;

class TTerminationSignals : public QObject {
    Q_OBJECT
public:
    // Handler runs on the UI thread once per signal received. One instance per
    // process; it restores the default actions when it is destroyed.
    explicit TTerminationSignals(std::function<void(int Signal)> Handler, QObject* parent = nullptr);
    ~TTerminationSignals() override;

private:
    std::function<void(int)> handler;
    QSocketNotifier* notifier = nullptr;
};
