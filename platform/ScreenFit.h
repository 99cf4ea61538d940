// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Keeping top-level windows whole on the screen they open on, whatever the
// desktop's font and scale make of their size.
#include <QPoint>
#include <QSize>

class QWidget;

// Moves Window as near to Wanted (its top-left corner) as the available area
// of the screen under Wanted allows, first shrinking it (no smaller than its
// minimum size) where it is larger than that area. The window frame is
// counted once the window has one.
void PlaceOnScreen(QWidget* Window, QPoint Wanted);

// Wanted, made no larger than the available area of Window's screen.
QSize SizeOnScreen(const QWidget* Window, QSize Wanted);
