// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The desktop's style, except that the menu bar's overflow button gets a
// chevron drawn here. The style's own icon is a picture file, and reading any
// picture file makes Qt load every image-format plugin there is: a cost at
// every start for a button that two menus never need.
#include <QProxyStyle>

class TDrawnIconStyle : public QProxyStyle {
    Q_OBJECT
public:
    // Wraps the style of that name (QStyle::name()).
    explicit TDrawnIconStyle(const QString& BaseStyle);

    QIcon standardIcon(StandardPixmap Icon, const QStyleOption* Option = nullptr,
                       const QWidget* Widget = nullptr) const override;
};
