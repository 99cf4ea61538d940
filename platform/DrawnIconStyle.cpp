// SPDX-License-Identifier: GPL-3.0-or-later
#include "DrawnIconStyle.h"

#include <QApplication>
#include <QIcon>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyleOption>
#include <QWidget>

#include <algorithm>

namespace {

// "»" pointing right, or down for a vertical bar, in Colour, filling the
// square of Side pixels at the top left of the painter's coordinates.
void paintChevron(QPainter& Painter, qreal Side, bool Down, const QColor& Colour)
{
    Painter.setRenderHint(QPainter::Antialiasing);
    Painter.setPen(QPen(Colour, Side / 10.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (Down)
        Painter.translate(Side, 0), Painter.rotate(90);
    const qreal s = Side;
    for (const qreal x : {0.25 * s, 0.5 * s}) {
        const QPointF arrow[] = {{x, 0.3 * s}, {x + 0.2 * s, 0.5 * s}, {x, 0.7 * s}};
        Painter.drawPolyline(arrow, 3);
    }
}

// Draws the chevron only when a size is asked for. The menu bar makes its
// overflow button, and so this icon, at start; with two menus the button is
// never shown, and pixmaps made in advance would only hold memory.
class ChevronEngine : public QIconEngine {
public:
    ChevronEngine(bool Down, const QColor& Colour)
        : Down(Down), Colour(Colour)
    {
    }

    void paint(QPainter* Painter, const QRect& Rect, QIcon::Mode, QIcon::State) override
    {
        const int side = std::min(Rect.width(), Rect.height());
        if (side <= 0)
            return;
        Painter->save();
        Painter->translate(Rect.x() + (Rect.width() - side) / 2, Rect.y() + (Rect.height() - side) / 2);
        paintChevron(*Painter, side, Down, Colour);
        Painter->restore();
    }

    QPixmap pixmap(const QSize& Size, QIcon::Mode Mode, QIcon::State State) override
    {
        if (Size.isEmpty())
            return QPixmap();
        QPixmap p(Size);
        p.fill(Qt::transparent);
        {
            QPainter painter(&p);
            paint(&painter, QRect(QPoint(0, 0), Size), Mode, State);
        }
        return p;
    }

    QSize actualSize(const QSize& Size, QIcon::Mode, QIcon::State) override { return Size; }
    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override { return {QSize(16, 16), QSize(32, 32)}; }
    QIconEngine* clone() const override { return new ChevronEngine(Down, Colour); }
    QString key() const override { return QStringLiteral("ChanLoadChevron"); }

private:
    bool Down;
    QColor Colour;
};

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
    return QIcon(new ChevronEngine(down, colour));
}
