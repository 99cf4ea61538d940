// SPDX-License-Identifier: GPL-3.0-or-later
#include "StorePath.h"

#include <QDate>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimeZone>

QString DefaultStorePath(const QString& SettingsFile)
{
    QString name = QFileInfo(SettingsFile).completeBaseName();
    if (name.isEmpty())
        name = QStringLiteral("CHANLOAD");
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/chanload/") + name +
           QStringLiteral(".sqlite");
}

std::optional<int64_t> ParseCommandLineTime(const QString& Text, bool EndOfRange)
{
    const QString t = Text.trimmed();
    static const QRegularExpression digits(QStringLiteral("^-?\\d{1,12}$"));
    if (digits.match(t).hasMatch())
        return t.toLongLong();
    const QDate day = QDate::fromString(t, Qt::ISODate);
    if (day.isValid() && t.size() == 10) {
        const int64_t start = QDateTime(day, QTime(0, 0), QTimeZone::utc()).toSecsSinceEpoch();
        return EndOfRange ? start + 86399 : start;
    }
    QDateTime when = QDateTime::fromString(t, Qt::ISODate);
    if (!when.isValid() || !t.contains(QLatin1Char('T')))
        return std::nullopt;
    // Without an offset the text means UTC, as the CSV log writes it.
    if (when.timeSpec() == Qt::LocalTime)
        when.setTimeZone(QTimeZone::utc());
    return when.toSecsSinceEpoch();
}
