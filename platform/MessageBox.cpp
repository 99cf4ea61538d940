// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageBox.h"

#include <QMessageBox>

namespace {
std::function<void(const QString&, const QString&)>& handler()
{
    static std::function<void(const QString&, const QString&)> h;
    return h;
}
} // namespace

void SetMessageBoxHandler(std::function<void(const QString& Text, const QString& Caption)> Handler)
{
    handler() = std::move(Handler);
}

void ShowMessageBox(const QString& Text, const QString& Caption)
{
    if (handler()) {
        handler()(Text, Caption);
        return;
    }
    QMessageBox box(QMessageBox::NoIcon, Caption, Text, QMessageBox::Ok);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}
