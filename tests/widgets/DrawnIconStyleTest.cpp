// SPDX-License-Identifier: GPL-3.0-or-later
#include "DrawnIconStyle.h"
#include "QtTestApp.h"

#include <QApplication>
#include <QImage>
#include <QMenuBar>
#include <QPalette>
#include <QStyleFactory>
#include <QToolButton>

#include <gtest/gtest.h>

#include <memory>

namespace {

// Pixels of the icon drawn at Side x Side that are opaque and in Colour.
int inked(const QIcon& Icon, int Side, qreal Ratio, const QColor& Colour)
{
    const QImage image = Icon.pixmap(QSize(Side, Side), Ratio).toImage().convertToFormat(QImage::Format_ARGB32);
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = QColor::fromRgba(image.pixel(x, y));
            n += c.alpha() > 200 && qAbs(c.red() - Colour.red()) < 40 && qAbs(c.green() - Colour.green()) < 40
                 && qAbs(c.blue() - Colour.blue()) < 40;
        }
    return n;
}

// The overflow chevrons are drawn in the button text's colour, at every size
// and pixel ratio a menu bar asks for, for a light and a dark palette alike.
TEST(DrawnIconStyle, OverflowChevronsAreDrawnInTheButtonTextColour)
{
    EnsureApplication();
    TDrawnIconStyle style(QStringLiteral("Fusion"));
    for (const QColor text : {QColor(Qt::black), QColor(230, 230, 230)}) {
        QPalette palette;
        palette.setColor(QPalette::ButtonText, text);
        QWidget owner;
        owner.setPalette(palette);
        for (const auto which : {QStyle::SP_ToolBarHorizontalExtensionButton, QStyle::SP_ToolBarVerticalExtensionButton})
            for (const qreal ratio : {1.0, 2.0}) {
                const QIcon icon = style.standardIcon(which, nullptr, &owner);
                ASSERT_FALSE(icon.isNull());
                // Two strokes of a tenth of the side over about 0.6 of it: well over 2 % of the square.
                EXPECT_GT(inked(icon, 16, ratio, text), static_cast<int>(16 * 16 * ratio * ratio * 0.02))
                    << which << " at " << ratio << " in " << text.name().toStdString();
            }
    }
}

// The chevron is drawn for the size asked, pointing the way of its bar: its
// strokes span 0.25 to 0.7 of the side along the bar and 0.3 to 0.7 across
// it, widened by half a pen (a tenth of the side) and a pixel of smoothing.
TEST(DrawnIconStyle, ChevronSitsInItsSquareAtEverySizeAsked)
{
    EnsureApplication();
    TDrawnIconStyle style(QStringLiteral("Fusion"));
    const struct {
        int Side;
        bool Down;
    } cases[] = {{20, false}, {24, false}, {48, false}, {24, true}, {48, true}};
    for (const auto& c : cases) {
        const auto which = c.Down ? QStyle::SP_ToolBarVerticalExtensionButton : QStyle::SP_ToolBarHorizontalExtensionButton;
        const QImage image = style.standardIcon(which).pixmap(QSize(c.Side, c.Side)).toImage();
        ASSERT_EQ(image.size(), QSize(c.Side, c.Side)) << c.Side;
        QRect ink;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (qAlpha(image.pixel(x, y)) > 128)
                    ink |= QRect(x, y, 1, 1);
        // x along the bar, y across it.
        const QRect span = c.Down ? QRect(ink.top(), ink.left(), ink.height(), ink.width()) : ink;
        const double s = c.Side, slack = s / 20 + 1;
        EXPECT_GE(span.left(), 0.25 * s - slack) << c.Side << c.Down;
        EXPECT_LE(span.right() + 1, 0.7 * s + slack) << c.Side << c.Down;
        EXPECT_GE(span.top(), 0.3 * s - slack) << c.Side << c.Down;
        EXPECT_LE(span.bottom() + 1, 0.7 * s + slack) << c.Side << c.Down;
        // Filled out, not a shrunken copy: at least 0.4 of the side along, 0.35 across.
        EXPECT_GE(span.width(), 0.4 * s) << c.Side << c.Down;
        EXPECT_GE(span.height(), 0.35 * s) << c.Side << c.Down;
    }
}

// A menu bar made under the style, as the program's is under the
// application's, gets the drawn chevron for its overflow button; the other
// standard icons are still the base style's.
TEST(DrawnIconStyle, MenuBarOverflowButtonShowsTheChevron)
{
    EnsureApplication();
    const QString before = QApplication::style()->name();
    QApplication::setStyle(new TDrawnIconStyle(QStringLiteral("Fusion")));
    {
        QMenuBar bar;
        auto* overflow = bar.findChild<QToolButton*>();
        ASSERT_NE(overflow, nullptr);
        EXPECT_GT(inked(overflow->icon(), 16, 1.0, bar.palette().color(QPalette::ButtonText)), 5);
        const std::unique_ptr<QStyle> fusion(QStyleFactory::create(QStringLiteral("Fusion")));
        EXPECT_EQ(QApplication::style()->standardIcon(QStyle::SP_DialogOkButton).availableSizes(),
                  fusion->standardIcon(QStyle::SP_DialogOkButton).availableSizes());
    }
    QApplication::setStyle(before);
}

} // namespace
