// SPDX-License-Identifier: GPL-3.0-or-later
// Figures with reserved room, two in one column, must be placed and drawn as
// plain labels with that minimum width, and lay the window out again only
// when a figure leaves the room or comes back into it.
#include "AccessibleLabel.h"

#include <QCoreApplication>
#include <QEvent>
#include <QGridLayout>
#include <QImage>

#include <gtest/gtest.h>

namespace {

struct Window : QObject {
    explicit Window(QLabel* First, QLabel* Second) : figures{First, Second}
    {
        auto* grid = new QGridLayout(&top);
        grid->setSizeConstraint(QLayout::SetFixedSize);
        for (int row = 0; row < 2; ++row) {
            grid->addWidget(new QLabel(QStringLiteral("Bytes")), row, 0);
            grid->addWidget(figures[row], row, 1);
            figures[row]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
            figures[row]->setText(QStringLiteral("0"));
        }
        top.installEventFilter(this);
    }
    bool eventFilter(QObject*, QEvent* e) override { return (layouts += e->type() == QEvent::LayoutRequest), false; }
    QWidget top;
    QLabel* figures[2];
    int layouts = 0;
};

void Settle() // layouts and paints are posted events, one layout posting the next
{
    for (int i = 0; i < 4; ++i)
        QCoreApplication::sendPostedEvents(), QCoreApplication::processEvents();
}

} // namespace

TEST(ValueLabel, PlacedAndDrawnAsAPlainLabelAndLaidOutOnlyForAWiderFigure)
{
    enum Action { Figure, PlainText, BiggerFont };
    const struct {
        Action Do;
        int Row;
        const char* Text;
        bool Holds, LaidOut;
    } steps[] = {
        {Figure, 0, "5", true, false},          {Figure, 1, "9999999", true, false},
        {Figure, 1, "12345678", false, true},   {Figure, 0, "1", false, true}, // the column grew: both follow it
        {Figure, 1, "0", true, true},           {Figure, 0, "42", true, false},
        {PlainText, 0, "1234567890", false, true}, // noticed when drawn
        {PlainText, 0, "7", true, true},        {BiggerFont, 1, "0", true, true},
        {Figure, 0, "8", true, false},
    };
    TValueLabel* held[2] = {new TValueLabel, new TValueLabel};
    QLabel* plain[2] = {new QLabel, new QLabel};
    Window subject(held[0], held[1]), reference(plain[0], plain[1]);
    const auto reserve = [&] {
        for (int row = 0; row < 2; ++row) {
            held[row]->ReserveRoomFor(QStringLiteral("0000000"));
            plain[row]->setMinimumWidth(plain[row]->fontMetrics().horizontalAdvance(QStringLiteral("0000000")) + 2);
        }
    };
    reserve();
    subject.top.show(), reference.top.show();
    Settle();
    for (const auto& s : steps) {
        subject.layouts = 0;
        if (s.Do == BiggerFont) {
            QFont bigger = subject.top.font();
            bigger.setPointSizeF(bigger.pointSizeF() * 1.5);
            subject.top.setFont(bigger), reference.top.setFont(bigger); // the room as it was

        }
        if (s.Do == PlainText)
            held[s.Row]->setText(s.Text);
        else
            held[s.Row]->SetFigure(s.Text);
        plain[s.Row]->setText(s.Text);
        Settle(), (void)subject.top.grab(), Settle();
        for (int row = 0; row < 2; ++row) {
            EXPECT_EQ(held[row]->geometry(), plain[row]->geometry()) << s.Text << " row " << row;
            EXPECT_EQ(held[row]->HoldsItsSize(), s.Holds) << s.Text << " row " << row;
        }
        EXPECT_EQ(subject.top.grab().toImage(), reference.top.grab().toImage()) << s.Text;
        EXPECT_EQ(subject.layouts > 0, s.LaidOut) << s.Text << ": " << subject.layouts << " layout requests";
    }
}
