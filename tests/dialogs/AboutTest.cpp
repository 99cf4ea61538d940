// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>

#include "AboutDlg.h"
#include "AboutForm.h"
#include "QtTestApp.h"

namespace {

QIcon solidIcon(Qt::GlobalColor Colour)
{
    QPixmap p(32, 32);
    p.fill(Colour);
    return QIcon(p);
}

QRgb centreOf(const QPixmap& P)
{
    return P.toImage().pixel(P.width() / 2, P.height() / 2);
}

class AboutDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    // Runs ShowAboutBox; Inspect sees the box while it is up and then closes it.
    void showAnd(const std::function<void(TAboutBox*)>& Inspect)
    {
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<TAboutBox*>(QApplication::activeModalWidget());
            if (!box) {
                ADD_FAILURE() << "no application-modal about box";
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* other = qobject_cast<TAboutBox*>(w))
                        other->reject();
                return;
            }
            shown = box;
            Inspect(box);
        });
        dlg.ShowAboutBox();
    }

    TAboutDlg dlg;
    QPointer<TAboutBox> shown;
};

TEST_F(AboutDialog, Show_FillsAFreshModalBoxAndDestroysIt)
{
    dlg.Title = "Channel Activity Meter";
    dlg.ProductName = "ChanLoad";
    dlg.CopyRight = "(c) someone";
    dlg.Programmer = "A programmer";
    dlg.WebSite = "a contact";
    dlg.Icon = solidIcon(Qt::red);
    showAnd([](TAboutBox* box) {
        EXPECT_EQ(box->windowTitle(), "Channel Activity Meter");
        EXPECT_EQ(box->ProductName->text(), "ChanLoad");
        EXPECT_EQ(box->Copyright->text(), "(c) someone");
        EXPECT_EQ(box->Programmer->text(), "A programmer");
        EXPECT_EQ(box->Website->text(), "a contact");
        EXPECT_EQ(centreOf(box->Image1->pixmap()), QColor(Qt::red).rgb());
        EXPECT_EQ(box->windowModality(), Qt::ApplicationModal);
        EXPECT_EQ(box->size(), QSize(296, 182));
        box->ProductName->setText("left over");
        box->OKButton->click();
    });
    EXPECT_TRUE(shown.isNull());

    dlg.ProductName.clear();
    showAnd([](TAboutBox* box) {
        EXPECT_EQ(box->ProductName->text(), "");
        box->close();
    });
    EXPECT_TRUE(shown.isNull());
}

TEST_F(AboutDialog, Icon_AssignmentCopiesTheCallersPicture)
{
    QIcon mine = solidIcon(Qt::blue);
    dlg.Icon = mine;
    mine.addPixmap([] { QPixmap p(32, 32); p.fill(Qt::green); return p; }());
    mine = QIcon();
    EXPECT_EQ(centreOf(dlg.Icon.pixmap(32, 32)), QColor(Qt::blue).rgb());
    showAnd([](TAboutBox* box) {
        EXPECT_EQ(centreOf(box->Image1->pixmap()), QColor(Qt::blue).rgb());
        box->OKButton->click();
    });
}

} // namespace
