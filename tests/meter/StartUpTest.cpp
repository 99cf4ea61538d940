// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "ErrorBox.h"
#include "Gauge.h"
#include "NotifyIcon.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QImage>
#include <QMenu>
#include <QPainter>
#include <QStatusTipEvent>
#include <QProgressBar>
#include <QTimer>

TEST_F(MeterTest, StartUpShowsInitialTextsAndAddsTheIcon)
{
    Start();
    EXPECT_EQ(form->windowTitle(), "ChanLoad");
    EXPECT_TRUE(form->isVisible());
    EXPECT_EQ(form->PortMon->text(), "1");
    EXPECT_EQ(form->BW->text(), "1200") << "no brackets once start-up has run";
    EXPECT_EQ(Status(), "Initializing.....");
    EXPECT_EQ(Totals(), (std::vector<std::string>{"0", "0", "0"}));
    EXPECT_EQ(form->Usage->text(), "0") << "no percent sign before the first evaluation";
    EXPECT_EQ(form->AvgLoad->text(), "0%");
    EXPECT_EQ(form->Gauge->value(), 0);
    EXPECT_EQ(form->Traffic->value(), 0);
    EXPECT_TRUE(form->CheckTime->isActive());
    EXPECT_EQ(form->CheckTime->interval(), 600000);
    EXPECT_FALSE(EverConnected);
    EXPECT_EQ(RetriesLeft, 12);
    EXPECT_FALSE(ConnectPending);

    const auto icon = CurrentNotifyIcon();
    ASSERT_TRUE(icon);
    EXPECT_EQ(icon->cbSize, 88u);
    EXPECT_EQ(icon->Wnd, form);
    EXPECT_EQ(icon->uID, 1998u);
    EXPECT_EQ(icon->uFlags, 7u);
    EXPECT_EQ(icon->uCallbackMessage, 3022u);
    EXPECT_EQ(icon->Icon, "GAUGEX");
    EXPECT_EQ(std::string(icon->szTip.data()), "ChanLoad Version 0.1b");
    EXPECT_TRUE(std::all_of(icon->szTip.begin() + 21, icon->szTip.end(), [](char c) { return c == 0; }));
    EXPECT_EQ(Form1, form);
}

TEST_F(MeterTest, StartUpWritesPortAndRateFromTheSettings)
{
    WriteIni({{"AGW_PORT", "3"}, {"BW", "$2580"}, {"SAMPLE", "12000"}});
    Start();
    EXPECT_EQ(form->PortMon->text(), "3");
    EXPECT_EQ(form->BW->text(), "9600");
    EXPECT_EQ(form->CheckTime->interval(), 12000);
}

TEST_F(MeterTest, SamplePeriodOfZeroLeavesTheTimerStopped)
{
    WriteIni({{"SAMPLE", "0"}});
    Start();
    EXPECT_FALSE(form->CheckTime->isActive());
}

TEST_F(MeterTest, BadSettingAtStartUpShowsTheErrorAndEndsWithFailure)
{
    WriteIni({{"BW", "fast"}});
    // Nothing may run while the box waits: a tick then once crashed the program.
    bool tickingDuringTheBox = true;
    SetErrorBoxHandler([&](const QString& text) {
        errorBoxes << text;
        tickingDuringTheBox = Form1 == nullptr || Form1->CheckTime->isActive();
    });
    Start();
    EXPECT_FALSE(tickingDuringTheBox);
    EXPECT_EQ(errorBoxes, QStringList{"'fast' is not a valid integer value."});
    ASSERT_FALSE(endStatuses.empty());
    EXPECT_EQ(endStatuses.front(), 1);
}

TEST_F(MeterTest, RightButtonOnTheIconPopsUpTheMenuAndOtherButtonsDoNothing)
{
    Start();
    ASSERT_EQ(form->PopUp->actions().size(), 3);
    EXPECT_EQ(form->PopUp->actions()[0]->text(), "Properties");
    EXPECT_EQ(form->PopUp->actions()[1]->text(), "About");
    EXPECT_EQ(form->PopUp->actions()[2]->text(), "Exit");
    // (A left double click opens the history: HistoryOpeningTest.)
    for (int message : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONUP, WM_MOUSEMOVE}) {
        form->TrayIconMessage(message);
        EXPECT_FALSE(form->PopUp->isVisible()) << message;
    }
    TrayMessageEvent e(3022, 1998, WM_RBUTTONDOWN);
    QCoreApplication::sendEvent(form, &e);
    EXPECT_TRUE(form->PopUp->isVisible());
    form->PopUp->hide();
}

TEST_F(MeterTest, IconMenuWorksWhileTheMainWindowIsDisabled)
{
    Start();
    form->setEnabled(false);
    EXPECT_TRUE(form->PopUp->isEnabled());
    EXPECT_TRUE(form->Exit1->isEnabled());
    form->Exit1->trigger();
    ASSERT_FALSE(endStatuses.empty());
    EXPECT_EQ(endStatuses.front(), 0);
}

TEST_F(MeterTest, MenuBarHoldsTheSameCommandsWithoutAccelerators)
{
    Start();
    EXPECT_EQ(form->File1->title(), "File");
    EXPECT_EQ(form->Help1->title(), "Help");
    for (QAction* a : {form->Properties1, form->About1, form->Exit1, form->Properties2, form->Exit2, form->About2})
        EXPECT_FALSE(a->text().contains('&'));
    form->File1Click(form->File1);
    EXPECT_EQ(Status(), "Initializing.....");
    form->Exit2Click(form->Exit2);
    ASSERT_FALSE(endStatuses.empty());
    EXPECT_EQ(endStatuses.front(), 0);
    EXPECT_FALSE(CurrentNotifyIcon());
}

TEST_F(MeterTest, StatusLineSurvivesMenuHovering)
{
    Start();
    QStatusTipEvent tip(QString{});
    QCoreApplication::sendEvent(form, &tip);
    EXPECT_EQ(Status(), "Initializing.....");
}

// The port and the bit rate are drawn without text shaping, which is only
// sound while shaping would place their figures just the same.
TEST_F(MeterTest, ValueLabelsDrawTheirFiguresAsShapedTextWould)
{
    Start();
    const auto drawn = [](const QFont& Font, const QString& Text) {
        QImage Image(200, 40, QImage::Format_ARGB32_Premultiplied);
        Image.fill(Qt::white);
        QPainter P(&Image);
        P.setFont(Font);
        P.setPen(Qt::black);
        P.drawText(QPointF(2, 30), Text);
        return Image;
    };
    const QString texts[] = {"0", "1", "3", "128", "255", "1200", "9600", "19200", "000000", "-1", "1234567890"};
    for (QLabel* label : {form->PortMon, form->BW}) {
        const QFont unshaped = label->font();
        EXPECT_TRUE(QFontInfo(unshaped).fixedPitch()) << label->objectName().toStdString();
        QFont shaped = unshaped;
        shaped.setStyleStrategy(QFont::PreferDefault);
        for (const QString& text : texts)
            EXPECT_EQ(drawn(unshaped, text), drawn(shaped, text)) << text.toStdString();
    }
}
