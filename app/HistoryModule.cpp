// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryModule.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

QStringList HistoryModuleFolders()
{
    const QString here = QCoreApplication::applicationDirPath();
    return {here, QDir::cleanPath(here + QLatin1Char('/') + QStringLiteral(CHANLOAD_MODULE_FOLDER))};
}

HistoryFactory LoadHistoryFactory(const QStringList& Folders, QString& Why)
{
    for (const QString& folder : Folders) {
        const QString path = QDir(folder).filePath(QLatin1String(HistoryModuleFile));
        if (!QFileInfo::exists(path))
            continue;
        QLibrary module(path);
        // Never unloaded: windows, accessibility factories and Qt's type
        // registry keep pointers into it.
        module.setLoadHints(QLibrary::PreventUnloadHint);
        if (!module.load()) {
            Why = module.errorString();
            return nullptr;
        }
        // A library that lacks the symbol leaves Qt's error text at "Unknown error".
        if (auto factory = reinterpret_cast<HistoryFactory>(module.resolve(HistoryFactorySymbol)))
            return factory;
        Why = QStringLiteral("%1 has no %2").arg(path, QLatin1String(HistoryFactorySymbol));
        return nullptr;
    }
    Why = QStringLiteral("%1 is in none of %2").arg(QLatin1String(HistoryModuleFile), Folders.join(QStringLiteral(", ")));
    return nullptr;
}

HistoryFactory DefaultHistoryFactory(QString& Why)
{
#ifdef CHANLOAD_HISTORY_LINKED
    (void)Why;
    return &MakeHistoryWindow;
#else
    return LoadHistoryFactory(HistoryModuleFolders(), Why);
#endif
}
