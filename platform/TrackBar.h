// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A horizontal track bar in the manner of the Windows common control: a slider
// that also shows a selection range along its groove and tells apart the
// user's moves from positions set by the program.
#include <QSlider>

class TTrackBar : public QSlider {
    Q_OBJECT
public:
    explicit TTrackBar(QWidget* parent = nullptr);

    // The selection range is kept as given; only its drawing is limited to the
    // slider's range, so an end past the maximum shows as a full band.
    int SelStart() const { return selStart; }
    int SelEnd() const { return selEnd; }
    void SetSelStart(int Value);
    void SetSelEnd(int Value);

signals:
    // The user moved the thumb (mouse, keyboard or wheel); setValue() from code
    // does not emit it.
    void changedByUser(int Position);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    int valueToPixel(int Value) const;

    int selStart = 0;
    int selEnd = 0;
    bool userAction = false;
};
