// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The notification-area icon, driven the way the shell's notify-icon call is:
// a record describing the icon, and add / modify / delete operations.
#include <QEvent>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

class QWidget;

constexpr int NIM_ADD = 0;
constexpr int NIM_MODIFY = 1;
constexpr int NIM_DELETE = 2;
constexpr uint32_t NIF_MESSAGE = 1;
constexpr uint32_t NIF_ICON = 2;
constexpr uint32_t NIF_TIP = 4;
constexpr int WM_USER = 1024;
constexpr int WM_MOUSEMOVE = 512;
constexpr int WM_LBUTTONDOWN = 513;
constexpr int WM_LBUTTONUP = 514;
constexpr int WM_LBUTTONDBLCLK = 515;
constexpr int WM_RBUTTONDOWN = 516;
constexpr int WM_RBUTTONUP = 517;
constexpr int WM_MBUTTONDOWN = 519;

struct TrayIconRecord {
    uint32_t cbSize = 0;
    QWidget* Wnd = nullptr;         // receives TrayMessageEvent
    uint32_t uID = 0;
    uint32_t uFlags = 0;
    uint32_t uCallbackMessage = 0;
    std::string Icon;               // resource name of the icon, e.g. "GAUGEX"
    std::array<char, 64> szTip{};   // zero-filled behind the text
};

// Sent to the record's window when the user acts on the icon: Message is the
// record's callback message, WParam the icon identifier, LParam the mouse message.
class TrayMessageEvent : public QEvent {
public:
    static QEvent::Type eventType();
    TrayMessageEvent(int Message, int WParam, int LParam);
    int Message, WParam, LParam;
};

bool Shell_NotifyIcon(int Operation, const TrayIconRecord& Record);

// What the notification area shows now; nothing before an add or after a delete.
std::optional<TrayIconRecord> CurrentNotifyIcon();

