// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding the factories of the parts loaded only when needed (the history
// window, the metrics endpoint): linked into the program, or in a module
// beside it (the build tree) or in its library folder (installed).
#include <QString>
#include <QStringList>

#include "HistoryPane.h"
#include "MetricsEndpoint.h"

// Where modules are looked for, in this order.
QStringList ModuleFolders();

// The factory of the first of Folders that holds the module, loaded and kept
// loaded; null with Why set when none holds it or it does not load.
HistoryFactory LoadHistoryFactory(const QStringList& Folders, QString& Why);
MetricsFactory LoadMetricsFactory(const QStringList& Folders, QString& Why);

// The program's own: the linked one, or the module's from ModuleFolders().
HistoryFactory DefaultHistoryFactory(QString& Why);
MetricsFactory DefaultMetricsFactory(QString& Why);
