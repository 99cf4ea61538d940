// SPDX-License-Identifier: GPL-3.0-or-later
#include "TrackBar.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

#include <algorithm>

TTrackBar::TTrackBar(QWidget* parent)
    : QSlider(Qt::Horizontal, parent)
{
    setTickPosition(QSlider::TicksBelow);
    setTickInterval(10);
    // Every move by the user runs through triggerAction(), which emits
    // actionTriggered with the new slider position before it commits the value;
    // setValue() from code never does. A position that differs from the value
    // here therefore announces a user move that is about to change the value.
    connect(this, &QAbstractSlider::actionTriggered, this, [this](int) {
        userAction = sliderPosition() != value();
    });
    connect(this, &QAbstractSlider::valueChanged, this, [this](int Position) {
        if (!userAction)
            return;
        userAction = false;
        emit changedByUser(Position);
    });
}

void TTrackBar::SetSelStart(int Value)
{
    selStart = Value;
    update();
}

void TTrackBar::SetSelEnd(int Value)
{
    selEnd = Value;
    update();
}

int TTrackBar::valueToPixel(int Value) const
{
    QStyleOptionSlider opt;
    initStyleOption(&opt);
    const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
    const QRect handle = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderHandle, this);
    const int span = groove.width() - handle.width();
    const int v = std::clamp(Value, minimum(), maximum());
    return groove.x() + handle.width() / 2
        + QStyle::sliderPositionFromValue(minimum(), maximum(), v, span, opt.upsideDown);
}

void TTrackBar::paintEvent(QPaintEvent* /*event*/)
{
    QPainter p(this);
    QStyleOptionSlider opt;
    initStyleOption(&opt);

    // Groove and ticks first, then the band, then the thumb on top of it.
    opt.subControls = QStyle::SC_SliderGroove;
    if (tickPosition() != QSlider::NoTicks)
        opt.subControls |= QStyle::SC_SliderTickmarks;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);

    const int lo = std::min(selStart, selEnd);
    const int hi = std::max(selStart, selEnd);
    if (hi >= minimum() && lo <= maximum() && hi > lo) {
        const QRect groove = style()->subControlRect(QStyle::CC_Slider, &opt, QStyle::SC_SliderGroove, this);
        const int x1 = valueToPixel(lo);
        const int x2 = valueToPixel(hi);
        const int mid = groove.center().y();
        const QColor band = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Highlight);
        p.fillRect(QRect(QPoint(std::min(x1, x2), mid - 2), QPoint(std::max(x1, x2), mid + 1)), band);

        // Small triangles above the groove mark both ends, as on the Windows control.
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(palette().color(QPalette::WindowText));
        const int top = groove.top() - 1;
        for (const int x : {x1, x2}) {
            const QPointF tri[3] = {{x - 3.0, top - 4.0}, {x + 3.0, top - 4.0}, {double(x), double(top)}};
            p.drawConvexPolygon(tri, 3);
        }
    }

    opt.subControls = QStyle::SC_SliderHandle;
    style()->drawComplexControl(QStyle::CC_Slider, &opt, &p, this);
}
