// SPDX-License-Identifier: GPL-3.0-or-later
// The metrics endpoint as a loadable module: its one entry point.
#include "MetricsEndpoint.h"

extern "C" Q_DECL_EXPORT TMetricsEndpoint* chanload_make_metrics_server(const MetricsPage& Page)
{
    return MakeMetricsServer(Page);
}
