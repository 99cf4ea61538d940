// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's own message box: modal, application-owned, OK only, no icon.
#include <QString>

#include <functional>

void ShowMessageBox(const QString& Text, const QString& Caption);

// Tests answer message boxes themselves: with a handler set, ShowMessageBox
// calls it instead of opening a window.
void SetMessageBoxHandler(std::function<void(const QString& Text, const QString& Caption)> Handler);
