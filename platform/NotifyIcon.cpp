// SPDX-License-Identifier: GPL-3.0-or-later
#include "NotifyIcon.h"

#include "Pictures.h"

#include <QApplication>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>

namespace {

// The notification area holds one icon of ours, as the shell would. The Qt
// icon belongs to the record's window, so it goes away with that window, as a
// shell icon does.
struct ShownIcon {
    TrayIconRecord record;
    QPointer<QSystemTrayIcon> tray;
};

std::unique_ptr<ShownIcon>& shown()
{
    static std::unique_ptr<ShownIcon> s;
    if (s && !s->tray)
        s.reset();
    return s;
}

int mouseMessage(QSystemTrayIcon::ActivationReason reason)
{
    switch (reason) {
    case QSystemTrayIcon::Context:
        return WM_RBUTTONDOWN;
    case QSystemTrayIcon::DoubleClick:
        return WM_LBUTTONDBLCLK;
    case QSystemTrayIcon::MiddleClick:
        return WM_MBUTTONDOWN;
    case QSystemTrayIcon::Trigger:
    case QSystemTrayIcon::Unknown:
        break;
    }
    return WM_LBUTTONUP;
}

QString tipText(const TrayIconRecord& r)
{
    size_t n = 0;
    while (n < r.szTip.size() && r.szTip[n] != '\0')
        ++n;
    return QString::fromLatin1(r.szTip.data(), static_cast<qsizetype>(n));
}

void apply(ShownIcon& s, const TrayIconRecord& r)
{
    if (r.uFlags & NIF_ICON) {
        s.record.Icon = r.Icon;
        s.tray->setIcon(LoadIcon(r.Icon));
    }
    if (r.uFlags & NIF_TIP) {
        s.record.szTip = r.szTip;
        s.tray->setToolTip(tipText(r));
    }
    if (r.uFlags & NIF_MESSAGE)
        s.record.uCallbackMessage = r.uCallbackMessage;
    s.record.uFlags = r.uFlags;
}

} // namespace

QEvent::Type TrayMessageEvent::eventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

TrayMessageEvent::TrayMessageEvent(int Message, int WParam, int LParam)
    : QEvent(eventType()), Message(Message), WParam(WParam), LParam(LParam)
{
}

bool Shell_NotifyIcon(int Operation, const TrayIconRecord& Record)
{
    auto& s = shown();
    switch (Operation) {
    case NIM_ADD: {
        if (s)
            return false;
        s = std::make_unique<ShownIcon>();
        s->record = Record;
        s->tray = new QSystemTrayIcon(Record.Wnd ? static_cast<QObject*>(Record.Wnd) : qApp);
        apply(*s, Record);
        QPointer<QWidget> window(Record.Wnd);
        const int id = static_cast<int>(Record.uID);
        QObject::connect(s->tray, &QSystemTrayIcon::activated, s->tray,
            [window, id](QSystemTrayIcon::ActivationReason reason) {
                const auto& current = shown();
                if (!window || !current || !(current->record.uCallbackMessage))
                    return;
                TrayMessageEvent e(static_cast<int>(current->record.uCallbackMessage), id, mouseMessage(reason));
                QCoreApplication::sendEvent(window, &e);
            });
        s->tray->show();
        return true;
    }
    case NIM_MODIFY:
        if (!s)
            return false;
        apply(*s, Record);
        return true;
    case NIM_DELETE:
        if (!s)
            return false;
        s->tray->hide();
        delete s->tray;
        s.reset();
        return true;
    default:
        return false;
    }
}

std::optional<TrayIconRecord> CurrentNotifyIcon()
{
    const auto& s = shown();
    if (!s)
        return std::nullopt;
    return s->record;
}

