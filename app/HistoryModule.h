// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Finding the factory of the history window: linked into the program, or in
// the module beside it (the build tree) or in its library folder (installed).
#include <QString>
#include <QStringList>

#include "HistoryPane.h"

// Where the module is looked for, in this order.
QStringList HistoryModuleFolders();

// The factory of the first of Folders that holds the module, loaded and kept
// loaded; null with Why set when none holds it or it does not load.
HistoryFactory LoadHistoryFactory(const QStringList& Folders, QString& Why);

// The program's own: the linked one, or LoadHistoryFactory(HistoryModuleFolders()).
HistoryFactory DefaultHistoryFactory(QString& Why);
