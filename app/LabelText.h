// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window keeps its live numbers as label texts: 8-bit decimal text in,
// 8-bit decimal text out, with the program's one conversion rule.
#include <QLabel>
#include <QString>

#include <cstdint>
#include <string>

#include "AccessibleLabel.h"
#include "Convert.h"

inline QString Latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

inline std::string BytesOf(const QString& s)
{
    return s.toLatin1().toStdString();
}

// Throws EConvertError when the label does not hold an integer.
inline int32_t LabelValue(const QLabel* Label)
{
    return StrToInt(BytesOf(Label->text()));
}

// A figure label checks its room before it takes the text (see TValueLabel).
inline void SetLabelText(QLabel* Label, const QString& Text)
{
    if (auto* const figure = qobject_cast<TValueLabel*>(Label))
        figure->SetFigure(Text);
    else
        Label->setText(Text);
}

inline void SetLabelValue(QLabel* Label, int64_t Value)
{
    SetLabelText(Label, Latin1(IntToStr(Value)));
}
