// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The needle gauge of the main window: a silver half-dial from 0 to 100 that
// prints its value as a percentage.
#include <QWidget>

class TGauge : public QWidget {
    Q_OBJECT
public:
    explicit TGauge(QWidget* parent = nullptr);

    // The value is kept as given; the dial and the printed figure are held to
    // 0 .. 100.
    int value() const { return Progress; }
    void setValue(int Value);

    // What the dial shows: the value held to 0 .. 100.
    int shownValue() const;
    // The printed figure, e.g. "66%".
    QString valueText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The pixel size of the bold readout on a dial of the given radius: the
    // largest, from 0.46 of the radius down to 6, at which "100%" in Base's
    // bold face is at most one radius wide.
    static int readoutPixelSize(const QFont& Base, qreal Radius);

protected:
    void paintEvent(QPaintEvent* Event) override;

private:
    int Progress = 0;
};
