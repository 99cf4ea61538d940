// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Labels that show a live figure. A screen reader finds each by what it stands
// for (its name, e.g. "Frames") and reads the figure as the label's text
// (e.g. "12"); a new figure is announced as a change of that text.
//
// Any window with figures uses them the same way: promote the label to
// TValueLabel (in the .ui, header AccessibleLabel.h) and call MarkValueLabel
// once for it.
#include <QLabel>

class TValueLabel : public QLabel {
    Q_OBJECT
public:
    explicit TValueLabel(QWidget* parent = nullptr);

    // What a screen reader reads: the text, or for a picture its description.
    QString ValueText() const;

protected:
    // QLabel has no change signal and setText() is not virtual: a new figure
    // is noticed when it is drawn, which is also when a sighted user sees it.
    void paintEvent(QPaintEvent* event) override;

private:
    QString announced;
};

// Names the figure a TValueLabel shows, for screen readers. A plain QLabel
// keeps Qt's own reading (its text as the name) and is left untouched.
void MarkValueLabel(QLabel* Label, const QString& Name);
