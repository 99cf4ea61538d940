// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Stations view of the history window: who filled the channel in the
// selected span. A sortable table of the stations, a band of the channel's
// airtime by kind, and a note when stations were summed under "others".
// Copying the table gives tab-separated text.
#include <QElapsedTimer>
#include <QWidget>

#include <functional>
#include <string>
#include <vector>

#include "StationSpan.h"

class QDate;
class QLabel;
class THistoryWindow;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

// The channel's airtime by kind as one stacked bar with its legend.
class TStationsBand : public QWidget {
    Q_OBJECT
public:
    explicit TStationsBand(QWidget* parent = nullptr);

    // Shares of the whole in percent, in the order originals, copies, own.
    void SetAir(int64_t OriginalsMicros, int64_t CopiesMicros, int64_t OwnMicros);
    double Share(int Kind) const;
    // What the band says in words, also its accessible description.
    QString Text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int64_t air[3] = {0, 0, 0};
};

// Where the view reads a span's stations: the rows kept for it (from the
// history store) and the medians the running tally remembers.
struct StationSource {
    // The rows with From < time <= To; false, with Error set, when they cannot be read.
    std::function<bool(int64_t From, int64_t To, std::vector<StationRow>& Rows, QString& Error)> Rows;
    // As StationTally::MedianIntervalMs.
    std::function<int64_t(const std::string& Call, int64_t FromMs, int64_t ToMs)> MedianMs;
};

class TStationsView : public QWidget {
    Q_OBJECT
public:
    enum Column { Call, Share, Airtime, Frames, Originals, Copies, MedianInterval, LastHeard, ColumnCount };

    explicit TStationsView(QWidget* parent = nullptr);

    // Without a source the view says that there is no store to read from.
    void SetSource(StationSource Source);
    // The span (From, To] to show: read at once while the view is shown,
    // otherwise when it is shown next.
    void ShowRange(int64_t From, int64_t To);
    void ShowSpan(const StationSpan& Span);

    // The table as shown, in its current order: a heading line, then the
    // selected rows (all when none is selected), cells separated by tabs.
    QString TableText() const;
    // TableText() onto the clipboard; also Ctrl+C in the table.
    void CopyTable();

    QTableView* Table() const { return table; }
    TStationsBand* Band() const { return band; }
    QLabel* OthersNote() const { return othersNote; }
    QLabel* EmptyNote() const { return emptyNote; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void readRange();

    StationSource source;
    int64_t from = 0, to = 0;
    bool stale = false;
    QElapsedTimer lastRead;
    QStandardItemModel* model;
    QSortFilterProxyModel* sorted;
    QTableView* table;
    TStationsBand* band;
    QLabel *othersNote, *emptyNote;
};

// The Stations tab of a history window: the window's span, read from its
// store, with the medians from Tally, for the radio port Port() names.
TStationsView* AddStationsView(THistoryWindow* Window, const StationTally& Tally, std::function<int32_t()> Port);

// How the table writes when a station was last heard: the time alone on
// Today (local), otherwise the date and the minute.
QString LastHeardText(int64_t Time, const QDate& Today);

// How the table writes a median interval: "45 s", "2:05 min", "1:02 h"; "-" when unknown.
QString IntervalText(int64_t Ms);
