// SPDX-License-Identifier: GPL-3.0-or-later
#include "NotifyIcon.h"

#include "QtTestApp.h"

#include <QSystemTrayIcon>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstring>

namespace {

class TrayWindow : public QWidget {
public:
    std::vector<TrayMessageEvent> received;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == TrayMessageEvent::eventType()) {
            received.push_back(*static_cast<TrayMessageEvent*>(e));
            return true;
        }
        return QWidget::event(e);
    }
};

TrayIconRecord record(QWidget* w)
{
    TrayIconRecord r;
    r.cbSize = 88;
    r.Wnd = w;
    r.uID = 1998;
    r.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    r.uCallbackMessage = WM_USER + 1998;
    r.Icon = "GAUGEX";
    std::strcpy(r.szTip.data(), "ChanLoad Version 0.1b");
    return r;
}

} // namespace

TEST(NotifyIcon, AddModifyDeleteFollowTheShellRules)
{
    EnsureApplication();
    TrayWindow w;
    TrayIconRecord r = record(&w);
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_FALSE(Shell_NotifyIcon(NIM_MODIFY, r)) << "nothing to modify before the add";
    ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, r));
    EXPECT_FALSE(Shell_NotifyIcon(NIM_ADD, r)) << "one icon per identifier";

    r.uFlags = NIF_ICON;
    r.Icon = "GAUGE3";
    std::strcpy(r.szTip.data(), "changed"); // not valid under these flags
    ASSERT_TRUE(Shell_NotifyIcon(NIM_MODIFY, r));
    const auto shown = CurrentNotifyIcon();
    ASSERT_TRUE(shown);
    EXPECT_EQ(shown->Icon, "GAUGE3");
    EXPECT_STREQ(shown->szTip.data(), "ChanLoad Version 0.1b");
    EXPECT_EQ(shown->uCallbackMessage, 3022u);
    EXPECT_EQ(shown->uID, 1998u);

    EXPECT_TRUE(Shell_NotifyIcon(NIM_DELETE, r));
    EXPECT_FALSE(CurrentNotifyIcon());
    EXPECT_FALSE(Shell_NotifyIcon(NIM_DELETE, r));
}

TEST(NotifyIcon, IconGoesAwayWithItsWindow)
{
    EnsureApplication();
    {
        TrayWindow w;
        ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, record(&w)));
    }
    EXPECT_FALSE(CurrentNotifyIcon());
    TrayWindow w2;
    EXPECT_TRUE(Shell_NotifyIcon(NIM_ADD, record(&w2)));
    Shell_NotifyIcon(NIM_DELETE, record(&w2));
}

TEST(NotifyIcon, UserActionReachesTheWindowAsCallbackMessage)
{
    EnsureApplication();
    TrayWindow w;
    ASSERT_TRUE(Shell_NotifyIcon(NIM_ADD, record(&w)));
    auto* tray = w.findChild<QSystemTrayIcon*>();
    ASSERT_NE(tray, nullptr);
    emit tray->activated(QSystemTrayIcon::Context);
    emit tray->activated(QSystemTrayIcon::Trigger);
    Shell_NotifyIcon(NIM_DELETE, record(&w));
    ASSERT_EQ(w.received.size(), 2u);
    EXPECT_EQ(w.received[0].Message, 3022);
    EXPECT_EQ(w.received[0].WParam, 1998);
    EXPECT_EQ(w.received[0].LParam, WM_RBUTTONDOWN);
    EXPECT_NE(w.received[1].LParam, WM_RBUTTONDOWN);
}
