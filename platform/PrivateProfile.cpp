// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrivateProfile.h"

#include "ProfileText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

const char* const FileName = "CHANLOAD.INI";

// Set from the command line to run one instance per radio port or engine.
QString& chosenPath()
{
    static QString path;
    return path;
}

// Missing or unreadable file: no contents, as the reader sees it.
std::string readContents()
{
    QFile file(ProfileFilePath());
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = file.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

[[noreturn]] void refused()
{
    throw EIniFileException("Unable to write to " + QFileInfo(ProfileFilePath()).fileName().toStdString());
}

} // namespace

void SetProfileFilePath(const QString& Path)
{
    chosenPath() = Path;
}

QString ProfileFilePath()
{
    if (!chosenPath().isEmpty())
        return chosenPath();
#ifdef Q_OS_WIN
    const QString dir = qEnvironmentVariable("WINDIR", QStringLiteral("C:/Windows"));
#else
    const QString dir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
#endif
    return QDir(dir).filePath(QString::fromLatin1(FileName));
}

std::string GetPrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Default)
{
    bool found = false;
    std::string value = ProfileLookup(readContents(), Section, Key, found);
    return found ? value : Default;
}

void WritePrivateProfileStrings(const std::string& Section, const std::vector<std::pair<std::string, std::string>>& Entries)
{
    const QString path = ProfileFilePath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath()))
        refused();
    if (QFileInfo::exists(path) && !QFileInfo(path).isWritable())
        refused();
    std::string contents = readContents();
    for (const auto& [key, value] : Entries)
        contents = ProfileUpdate(contents, Section, key, value);

    // A crash or a full disk in the middle leaves the old file in place.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        refused();
    if (file.write(contents.data(), static_cast<qint64>(contents.size())) != static_cast<qint64>(contents.size()))
        refused();
    if (!file.commit())
        refused();
}

void WritePrivateProfileString(const std::string& Section, const std::string& Key, const std::string& Value)
{
    WritePrivateProfileStrings(Section, {{Key, Value}});
}
