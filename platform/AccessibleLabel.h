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

    // Room for the widest figure the label is meant to show, so that the
    // window keeps its size from figure to figure. While its figure fits that
    // room, the label keeps the size the layout gave it: a new text then only
    // repaints it, where a label's new text otherwise has the whole window
    // laid out again. A figure that needs more room first has every label of
    // its window let go, so the window and its columns grow for it as for
    // any label, and shrink back when it is gone.
    void ReserveRoomFor(const QString& Widest);
    // A new figure, for labels that change often: checks the room before the
    // text is set. setText() works too; a figure too wide for the room is
    // then noticed when it is drawn.
    void SetFigure(const QString& Text);
    // Whether the label keeps its size for now (see ReserveRoomFor).
    bool HoldsItsSize() const { return held; }

protected:
    // QLabel has no change signal and setText() is not virtual: a new figure
    // is noticed when it is drawn, which is also when a sighted user sees it.
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool fitsRoom(const QString& Text) const;
    void holdIfSettled();
    void letGo();
    void makeRoom();

    QString announced;
    // The reserved width; 0: none, the label never holds its size.
    int room = 0;
    bool held = false;
    // The last text found to fit while held.
    QString fitted;
    // Its own limits, given back when it lets go.
    QSize ownMinimum, ownMaximum;
};

// Names the figure a TValueLabel shows, for screen readers. A plain QLabel
// keeps Qt's own reading (its text as the name) and is left untouched.
void MarkValueLabel(QLabel* Label, const QString& Name);
