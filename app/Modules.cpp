// SPDX-License-Identifier: GPL-3.0-or-later
#include "Modules.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

namespace {

QFunctionPointer loadFactory(const char* File, const char* Symbol, const QStringList& Folders, QString& Why)
{
    for (const QString& folder : Folders) {
        const QString path = QDir(folder).filePath(QLatin1String(File));
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
        if (const QFunctionPointer factory = module.resolve(Symbol))
            return factory;
        Why = QStringLiteral("%1 has no %2").arg(path, QLatin1String(Symbol));
        return nullptr;
    }
    Why = QStringLiteral("%1 is in none of %2").arg(QLatin1String(File), Folders.join(QStringLiteral(", ")));
    return nullptr;
}

} // namespace

QStringList ModuleFolders()
{
    const QString here = QCoreApplication::applicationDirPath();
    return {here, QDir::cleanPath(here + QLatin1Char('/') + QStringLiteral(CHANLOAD_MODULE_FOLDER))};
}

HistoryFactory LoadHistoryFactory(const QStringList& Folders, QString& Why)
{
    return reinterpret_cast<HistoryFactory>(loadFactory(HistoryModuleFile, HistoryFactorySymbol, Folders, Why));
}

MetricsFactory LoadMetricsFactory(const QStringList& Folders, QString& Why)
{
    return reinterpret_cast<MetricsFactory>(loadFactory(MetricsModuleFile, MetricsFactorySymbol, Folders, Why));
}

#ifdef CHANLOAD_MODULES

HistoryFactory DefaultHistoryFactory(QString& Why)
{
    return LoadHistoryFactory(ModuleFolders(), Why);
}

MetricsFactory DefaultMetricsFactory(QString& Why)
{
    return LoadMetricsFactory(ModuleFolders(), Why);
}

#else

HistoryFactory DefaultHistoryFactory(QString&)
{
    return &MakeHistoryWindow;
}

MetricsFactory DefaultMetricsFactory(QString&)
{
    return &MakeMetricsServer;
}

#endif
