// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "AccessibleLabel.h"
#include "NotifyIcon.h"
#include "THistoryWindow.h"

#include <QApplication>
#include <QChart>
#include <QLineSeries>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QTimer>

namespace {

int historyWindows()
{
    int n = 0;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<THistoryWindow*>(w))
            ++n;
    return n;
}

void doubleClick(QWidget* target, Qt::MouseButton button)
{
    const QPointF at(target->width() / 2.0, target->height() / 2.0);
    QMouseEvent e(QEvent::MouseButtonDblClick, at, target->mapToGlobal(at), button, button, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &e);
}

bool gone(const QPointer<QObject>& o)
{
    return WaitFor([&] {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return o.isNull();
    });
}

} // namespace

TEST_F(MeterTest, DoubleClickOnTheIconOpensTheHistoryAndTheRightButtonStillPopsUpTheMenu)
{
    Start();
    EXPECT_EQ(historyWindows(), 0);
    for (int message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE}) {
        TrayMessageEvent e(WM_USER + 1998, 1998, message);
        QCoreApplication::sendEvent(form, &e);
    }
    EXPECT_EQ(historyWindows(), 0);

    TrayMessageEvent doubleClicked(WM_USER + 1998, 1998, WM_LBUTTONDBLCLK);
    QCoreApplication::sendEvent(form, &doubleClicked);
    ASSERT_NE(form->HistoryWindow(), nullptr);
    EXPECT_TRUE(form->HistoryWindow()->isVisible());
    EXPECT_FALSE(form->PopUp->isVisible());
    // Again: the same window comes forward, no second one.
    QCoreApplication::sendEvent(form, &doubleClicked);
    EXPECT_EQ(historyWindows(), 1);

    TrayMessageEvent right(WM_USER + 1998, 1998, WM_RBUTTONDOWN);
    QCoreApplication::sendEvent(form, &right);
    EXPECT_TRUE(form->PopUp->isVisible());
    EXPECT_EQ(form->PopUp->actions().size(), 3);
    form->PopUp->hide();
}

TEST_F(MeterTest, DoubleClickOnTheThermometerOpensTheHistoryAndItsToolTipSaysSo)
{
    Start();
    EXPECT_TRUE(form->ImageBar->toolTip().contains("Double-click")) << form->ImageBar->toolTip().toStdString();
    EXPECT_TRUE(form->ImageBar->toolTip().contains("history"));
    // The screen reader still hears the load class, not the tip.
    EXPECT_EQ(static_cast<TValueLabel*>(form->ImageBar)->ValueText(), "1 of 4");

    doubleClick(form->ImageBar, Qt::RightButton);
    EXPECT_EQ(historyWindows(), 0);
    doubleClick(form->ImageBar, Qt::LeftButton);
    ASSERT_NE(form->HistoryWindow(), nullptr);
    EXPECT_TRUE(form->HistoryWindow()->isVisible());
    EXPECT_EQ(historyWindows(), 1);
}

TEST_F(MeterTest, OpenHistoryFollowsEachEvaluatedPeriod)
{
    StartConnected();
    form->BW->setText("1200");
    form->CheckTime->setInterval(30000);
    const auto tick = [this](int bytes, int datas) {
        SetTotals(3, bytes, datas);
        ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
        form->CheckTimeTimer(form->CheckTime);
    };
    tick(900, 600);
    form->OpenHistory();
    THistoryWindow* w = form->HistoryWindow();
    ASSERT_NE(w, nullptr);
    // What was there before it opened, then each new period as it comes.
    EXPECT_EQ(w->Line(PlotSample::Load).size(), 1);
    tick(1800, 1200);
    ASSERT_EQ(w->Line(PlotSample::Load).size(), 2);
    EXPECT_EQ(w->Line(PlotSample::Usage).at(1).y(), 50);
    EXPECT_EQ(w->LatestUsage->text(), form->Usage->text());
    EXPECT_EQ(w->LatestLoad->text(), form->AvgLoad->text());
    EXPECT_EQ(w->LatestEfficiency->text(), "66%");
    EXPECT_EQ(w->LatestFrames->text(), "3");
    EXPECT_EQ(w->Line(PlotSample::Load).at(1).y(), form->History().Latest().Load);
}

TEST_F(MeterTest, ClosingTheHistoryReleasesItsChartAndAnotherDoubleClickMakesANewOne)
{
    StartConnected();
    form->OpenHistory();
    QPointer<QObject> window = form->HistoryWindow();
    QPointer<QObject> chart = form->HistoryWindow()->Chart();
    form->HistoryWindow()->close();
    ASSERT_TRUE(gone(window));
    EXPECT_TRUE(chart.isNull());
    EXPECT_EQ(form->HistoryWindow(), nullptr);
    EXPECT_EQ(historyWindows(), 0);

    // Periods go on into the ring while it is closed; nothing else listens.
    SetTotals(1, 300, 200);
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(form->History().Size(), 1u);

    doubleClick(form->ImageBar, Qt::LeftButton);
    ASSERT_NE(form->HistoryWindow(), nullptr);
    EXPECT_NE(form->HistoryWindow()->Chart(), nullptr);
    EXPECT_EQ(form->HistoryWindow()->Line(PlotSample::Airtime).size(), 1);
}

TEST_F(MeterTest, HistoryStaysUsableWhileThePropertiesDialogHasTheMainWindowDisabled)
{
    Start();
    form->setEnabled(false);
    TrayMessageEvent doubleClicked(WM_USER + 1998, 1998, WM_LBUTTONDBLCLK);
    QCoreApplication::sendEvent(form, &doubleClicked);
    ASSERT_NE(form->HistoryWindow(), nullptr);
    EXPECT_TRUE(form->HistoryWindow()->isEnabled());
}

// Qt would keep running for the history, with the tray icon and no way back
// to the main window: closing the main window ends the program as Exit does.
TEST_F(MeterTest, ClosingTheMainWindowWhileTheHistoryIsOpenEndsTheProgram)
{
    Start();
    form->OpenHistory();
    ASSERT_NE(form->HistoryWindow(), nullptr);
    form->close();
    ASSERT_EQ(endStatuses, std::vector<int>{0});
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_FALSE(form->CheckTime->isActive());
}

