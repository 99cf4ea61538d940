// SPDX-License-Identifier: GPL-3.0-or-later
#include "ScreenFit.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace {

const QScreen* screenFor(const QWidget* Window, QPoint At)
{
    if (const QScreen* s = QGuiApplication::screenAt(At))
        return s;
    if (const QScreen* s = Window->screen())
        return s;
    return QGuiApplication::primaryScreen();
}

// Title bar and borders: known only once a window manager has framed the window.
QSize frameExtra(const QWidget* Window)
{
    const QSize extra = Window->frameGeometry().size() - Window->geometry().size();
    return extra.expandedTo(QSize(0, 0));
}

} // namespace

QSize SizeOnScreen(const QWidget* Window, QSize Wanted)
{
    const QScreen* screen = screenFor(Window, Window->pos());
    if (!screen)
        return Wanted;
    return Wanted.boundedTo(screen->availableGeometry().size() - frameExtra(Window));
}

void PlaceOnScreen(QWidget* Window, QPoint Wanted)
{
    const QScreen* screen = screenFor(Window, Wanted);
    if (!screen) {
        Window->move(Wanted);
        return;
    }
    const QRect area = screen->availableGeometry();
    const QSize extra = frameExtra(Window);
    const QSize room = area.size() - extra;
    if (Window->width() > room.width() || Window->height() > room.height())
        Window->resize(Window->size().boundedTo(room).expandedTo(Window->minimumSize()));
    const QSize whole = Window->size() + extra;
    const int x = std::clamp(Wanted.x(), area.left(), std::max(area.left(), area.left() + area.width() - whole.width()));
    const int y = std::clamp(Wanted.y(), area.top(), std::max(area.top(), area.top() + area.height() - whole.height()));
    Window->move(x, y);
}
