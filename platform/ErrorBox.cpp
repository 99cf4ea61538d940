// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

namespace {
std::function<void(const QString&)>& handler()
{
    static std::function<void(const QString&)> h;
    return h;
}
} // namespace

QString ErrorBoxText(const std::string& Text)
{
    QString text = QString::fromLatin1(Text.data(), static_cast<qsizetype>(Text.size()));
    if (!Text.empty() && static_cast<unsigned char>(Text.back()) > '.')
        text += QLatin1Char('.');
    return text;
}

void SetErrorBoxHandler(std::function<void(const QString&)> Handler)
{
    handler() = std::move(Handler);
}

void ShowErrorBox(const std::string& Text)
{
    const QString text = ErrorBoxText(Text);
    if (handler()) {
        handler()(text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, QStringLiteral("ChanLoad"), text, QMessageBox::Ok);
    box.exec();
}
