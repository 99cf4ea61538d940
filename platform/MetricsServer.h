// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The HTTP endpoint a Prometheus server scrapes: one page, GET /metrics, on
// Qt's HTTP server module. Everything else is refused (other paths 404, other
// methods 405), and no client can hold more than its share: the connections,
// the bytes of a request, the time a connection may sit without a complete
// request and the answers a client leaves unread are all bounded, so that a
// slow or hostile client can neither grow the program's memory nor hold up
// its event loop.
#include <QHostAddress>
#include <QObject>
#include <QString>

#include "MetricsEndpoint.h"

#include <functional>
#include <memory>
#include <string>

class TMetricsServer : public QObject, public TMetricsEndpoint {
    Q_OBJECT
public:
    struct Limits {
        // Open connections; the next one is closed at once.
        int MaxConnections = 16;
        // Request line and headers (a scrape sends some 250 bytes); more is
        // answered 431 and the connection closed.
        qint64 MaxRequestBytes = 8 * 1024;
        // Without a complete request for this long after it opened or after
        // its last answer, a connection is closed.
        int IdleMs = 10000;
        // Answers the client has not read yet; beyond this it is dropped.
        qint64 MaxUnsentBytes = 256 * 1024;
    };
    using PageFunction = std::function<std::string()>;

    explicit TMetricsServer(PageFunction Page, QObject* parent = nullptr);
    TMetricsServer(PageFunction Page, const Limits& Bounds, QObject* parent = nullptr);
    ~TMetricsServer() override;

    // False with Error() set when the address cannot be bound.
    bool Listen(const QHostAddress& Address, quint16 Port) override;
    quint16 Port() const;
    QString Error() const override { return error; }
    // Connections open now.
    int Connections() const;

private:
    class Http;
    Http* http = nullptr;
    QString error;
};
