// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Stations view of the history window: who filled the channel in the
// selected span. A sortable table of the stations, a band of the channel's
// airtime by kind, and a note when stations were summed under "others".
// Copying the table gives tab-separated text.
#include <QWidget>

#include "StationSpan.h"

class QLabel;
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

class TStationsView : public QWidget {
    Q_OBJECT
public:
    enum Column { Call, Share, Airtime, Frames, Originals, Copies, MedianInterval, LastHeard, ColumnCount };

    explicit TStationsView(QWidget* parent = nullptr);

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

private:
    QStandardItemModel* model;
    QSortFilterProxyModel* sorted;
    QTableView* table;
    TStationsBand* band;
    QLabel *othersNote, *emptyNote;
};

// How the table writes a median interval: "45 s", "2:05 min", "1:02 h"; "-" when unknown.
QString IntervalText(int64_t Ms);
