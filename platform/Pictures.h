// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The program's pictures, drawn at whatever size and pixel ratio they are asked
// for so that they stay sharp on high-DPI screens.
#include <QIcon>
#include <QPixmap>

#include <string>

// Icon resources by name: "MAINICON", "GAUGE1" .. "GAUGE4", "GAUGEX".
// An unknown name gives a null icon.
QIcon LoadIcon(const std::string& Name);

// The thermometer of load class 1 (empty tube) to 4, for a 33 x 57 picture box,
// rendered for the given device pixel ratio.
QPixmap ThermometerPicture(int LoadClass, qreal DevicePixelRatio = 1.0);
