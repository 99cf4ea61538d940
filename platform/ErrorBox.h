// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The application's standard error report, and the guard that keeps C++
// exceptions from crossing Qt's event loop.
#include <QString>

#include <exception>
#include <functional>
#include <string>

// Modal box: caption "ChanLoad", error icon, OK. A full stop is appended when
// the text's last character sorts after '.'.
void ShowErrorBox(const std::string& Text);

// The text as the box shows it (with the full stop rule applied).
QString ErrorBoxText(const std::string& Text);

// Tests answer the box themselves: with a handler set, ShowErrorBox calls it
// with the final text instead of opening a window.
void SetErrorBoxHandler(std::function<void(const QString&)> Handler);

// Runs one event handler; an exception ends that handler and is shown in the
// standard error box, and the program goes on with the next event.
template <class Handler>
void GuardEvent(Handler&& H)
{
    try {
        H();
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
    } catch (...) {
        ShowErrorBox("Unknown error");
    }
}
