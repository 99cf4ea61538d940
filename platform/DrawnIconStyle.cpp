// SPDX-License-Identifier: GPL-3.0-or-later
#include "DrawnIconStyle.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>
#include <QWidget>

namespace {

// "»" pointing right, or down for a vertical bar, in Colour, for a square of
// Side device-independent pixels at the given pixel ratio.
QPixmap chevron(int Side, qreal Ratio, bool Down, const QColor& Colour)
{
    QPixmap p(QSize(Side, Side) * Ratio);
    p.setDevicePixelRatio(Ratio);
    p.fill(Qt::transparent);
    QPainter painter(&p);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(Colour, Side / 10.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (Down)
        painter.translate(Side, 0), painter.rotate(90);
    const qreal s = Side;
    for (const qreal x : {0.25 * s, 0.5 * s}) {
        const QPointF arrow[] = {{x, 0.3 * s}, {x + 0.2 * s, 0.5 * s}, {x, 0.7 * s}};
        painter.drawPolyline(arrow, 3);
    }
    return p;
}

} // namespace

TDrawnIconStyle::TDrawnIconStyle(const QString& BaseStyle)
    : QProxyStyle(BaseStyle)
{
}

QIcon TDrawnIconStyle::standardIcon(StandardPixmap Icon, const QStyleOption* Option, const QWidget* Widget) const
{
    if (Icon != SP_ToolBarHorizontalExtensionButton && Icon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(Icon, Option, Widget);
    const bool down = Icon == SP_ToolBarVerticalExtensionButton;
    const QPalette palette = Option ? Option->palette : Widget ? Widget->palette() : QApplication::palette();
    const QColor colour = palette.color(QPalette::ButtonText);
    QIcon drawn;
    for (const qreal ratio : {1.0, 2.0})
        for (const int side : {16, 32})
            drawn.addPixmap(chevron(side, ratio, down, colour));
    return drawn;
}
