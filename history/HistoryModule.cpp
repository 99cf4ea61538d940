// SPDX-License-Identifier: GPL-3.0-or-later
// The history window as a loadable module: its one entry point.
#include "HistoryPane.h"

extern "C" Q_DECL_EXPORT THistoryPane* chanload_make_history_window(const HistorySources& Sources)
{
    return MakeHistoryWindow(Sources);
}
