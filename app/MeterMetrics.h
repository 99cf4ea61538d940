// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The meter's Prometheus endpoint: what the main window counts and evaluates
// goes into the exposition (ChannelMetrics), which the HTTP endpoint serves.
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <memory>
#include <optional>

#include "MetricsEndpoint.h"

class ChannelMetrics;
class TForm1;

struct MetricsAddress {
    QHostAddress Address;
    quint16 Port = 0;
};

// "[ADDRESS:]PORT" as --metrics and the METRICS setting take it: a port alone
// means 127.0.0.1 only; an IPv6 address goes in brackets ("[::1]:9100");
// "localhost" is 127.0.0.1. No name lookups. Nothing, with Why set, for
// anything else.
std::optional<MetricsAddress> ParseMetricsAddress(const QString& Text, QString& Why);

class TMeterMetrics : public QObject {
public:
    // Factory null: the program's own endpoint, loaded at the first Listen.
    explicit TMeterMetrics(TForm1* Form, MetricsFactory Factory = nullptr, QObject* parent = nullptr);
    ~TMeterMetrics() override;

    // Starts serving at "[ADDRESS:]PORT"; false with Error() set when the
    // text is no such address, the endpoint's module cannot be loaded or the
    // address cannot be bound.
    bool Listen(const QString& Where);
    QString Error() const { return error; }

private:
    std::unique_ptr<ChannelMetrics> metrics;
    MetricsFactory factory;
    std::unique_ptr<TMetricsEndpoint> server;
    QString error;
};
