// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the meter knows of its history window. The window draws with Qt
// Charts, which with the OpenGL libraries it pulls in costs every start some
// 150 KiB of relocated data; on Linux it therefore lives in a module of its
// own (chanload-history.so), loaded when the window first opens. The meter
// makes the window through a factory and talks to it through this class
// alone, so that it links none of the window's code.
#include <QWidget>

#include <cstdint>
#include <functional>

class PeriodHistory;
class StationTally;
class TPeriodStore;
struct PeriodRecord;

// No Q_OBJECT: the window's own class carries the meta-object, and a second
// copy of one here, in the program and in the module, would make two.
class THistoryPane : public QWidget {
public:
    using QWidget::QWidget;

    // Each new period, after it has entered the ring the window draws.
    virtual void PeriodAdded(const PeriodRecord& Record) = 0;
    // Another view of the same history as a tab; the window takes it over.
    virtual void AddView(QWidget* View, const QString& Title) = 0;
};

// What the window reads; all of it outlives the window.
struct HistorySources {
    const PeriodHistory& Periods;
    // Null: only the spans the ring holds can be chosen.
    TPeriodStore* Store;
    const StationTally& Tally;
    // The radio port measured, for the stations' rows.
    std::function<int32_t()> Port;
};

// Makes a history window with its Stations tab, not yet shown, deleted when closed.
using HistoryFactory = THistoryPane* (*)(const HistorySources& Sources);

// The factory itself, for a program or test that links the history library.
THistoryPane* MakeHistoryWindow(const HistorySources& Sources);

// The module's file and the C name of its factory, which has the signature of
// HistoryFactory.
inline constexpr char HistoryModuleFile[] = "chanload-history.so";
inline constexpr char HistoryFactorySymbol[] = "chanload_make_history_window";
