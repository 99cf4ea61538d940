// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the meter knows of its metrics endpoint. Qt's HTTP server and the
// WebSockets library under it are loaded only when metrics are asked for: on
// Linux the endpoint lives in a module of its own (chanload-metrics.so).
#include <QHostAddress>
#include <QString>

#include <functional>
#include <string>

class TMetricsEndpoint {
public:
    virtual ~TMetricsEndpoint() = default;

    // False with Error() set when the address cannot be bound.
    virtual bool Listen(const QHostAddress& Address, quint16 Port) = 0;
    virtual QString Error() const = 0;
};

// The page served, made anew for each request.
using MetricsPage = std::function<std::string()>;
using MetricsFactory = TMetricsEndpoint* (*)(const MetricsPage& Page);

// The factory itself, for a program or test that links the metrics server.
TMetricsEndpoint* MakeMetricsServer(const MetricsPage& Page);

// The module's file and the C name of its factory (a MetricsFactory).
inline constexpr char MetricsModuleFile[] = "chanload-metrics.so";
inline constexpr char MetricsFactorySymbol[] = "chanload_make_metrics_server";
