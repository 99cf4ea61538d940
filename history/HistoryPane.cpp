// SPDX-License-Identifier: GPL-3.0-or-later
#include "HistoryPane.h"

#include "THistoryWindow.h"
#include "TStationsView.h"

THistoryPane* MakeHistoryWindow(const HistorySources& Sources)
{
    auto* window = new THistoryWindow(Sources.Periods, Sources.Store);
    AddStationsView(window, Sources.Tally, Sources.Port);
    return window;
}
