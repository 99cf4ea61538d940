// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"

#include <QAbstractHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

const QByteArray PagePath = QByteArrayLiteral("/metrics");
const QByteArray PageType = QByteArrayLiteral("text/plain; version=0.0.4; charset=utf-8");

// One accepted connection with its bounds. Qt's server (6.4) buffers a request
// until it is complete, however long, and keeps an idle connection for ever;
// the bounds live here, in the socket, ahead of Qt's own handling.
class MetricsSocket : public QTcpSocket {
public:
    MetricsSocket(const TMetricsServer::Limits& Bounds, std::shared_ptr<int> Open, QObject* parent)
        : QTcpSocket(parent), bounds(Bounds), open(std::move(Open))
    {
        ++*open;
        // Qt reads no further than this; one byte more than a request may
        // take tells an over-long one from one that just fits.
        setReadBufferSize(bounds.MaxRequestBytes + 1);
        idle.setSingleShot(true);
        idle.setInterval(bounds.IdleMs);
        connect(&idle, &QTimer::timeout, this, &MetricsSocket::drop);
        idle.start();
        // Connected before Qt's server connects its own, so this runs first.
        connect(this, &QIODevice::readyRead, this, &MetricsSocket::arrived);
    }
    ~MetricsSocket() override { --*open; }

    // A request is complete and about to be answered.
    void Answering()
    {
        received = 0;
        idle.start();
    }
    bool Backlogged() const { return bytesToWrite() > bounds.MaxUnsentBytes; }

    // Closes the connection and frees it, whoever else still holds it.
    void drop()
    {
        abort();
        deleteLater();
    }

private:
    void arrived()
    {
        // Qt's server reads everything each time, so what is available now is new.
        received += bytesAvailable();
        if (received <= bounds.MaxRequestBytes)
            return;
        // No one else may read this request any more.
        disconnect(this, &QIODevice::readyRead, nullptr, nullptr);
        write("HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        connect(this, &QAbstractSocket::disconnected, this, &QObject::deleteLater);
        disconnectFromHost();
    }

    const TMetricsServer::Limits bounds;
    std::shared_ptr<int> open;
    qint64 received = 0;
    QTimer idle;
};

// Accepts connections into MetricsSocket, up to the limit.
class Listener : public QTcpServer {
public:
    Listener(const TMetricsServer::Limits& Bounds, QObject* parent) : QTcpServer(parent), bounds(Bounds) {}
    int Open() const { return *open; }

protected:
    void incomingConnection(qintptr Descriptor) override
    {
        if (*open >= bounds.MaxConnections) {
            QTcpSocket refused;
            refused.setSocketDescriptor(Descriptor);
            refused.abort();
            return;
        }
        auto* socket = new MetricsSocket(bounds, open, this);
        if (!socket->setSocketDescriptor(Descriptor)) {
            delete socket;
            return;
        }
        addPendingConnection(socket);
    }

private:
    const TMetricsServer::Limits bounds;
    std::shared_ptr<int> open = std::make_shared<int>(0);
};

} // namespace

class TMetricsServer::Http : public QAbstractHttpServer {
public:
    Http(PageFunction Page, const Limits& Bounds, QObject* parent)
        : QAbstractHttpServer(parent), page(std::move(Page)), listener(new Listener(Bounds, this))
    {
    }

    Listener* Server() const { return listener; }

protected:
    bool handleRequest(const QHttpServerRequest& Request, QTcpSocket* Socket) override
    {
        auto* socket = static_cast<MetricsSocket*>(Socket);
        socket->Answering();
        // A client that sends requests and never reads the answers.
        if (socket->Backlogged()) {
            socket->drop();
            return true;
        }
        {
            QHttpServerResponder responder = makeResponder(Request, Socket);
            using Status = QHttpServerResponder::StatusCode;
            const QByteArray text = QByteArrayLiteral("text/plain; charset=utf-8");
            if (Request.url().path().toUtf8() != PagePath)
                responder.write(QByteArrayLiteral("Not found: this server has /metrics only.\n"), text,
                                Status::NotFound);
            else if (Request.method() != QHttpServerRequest::Method::Get)
                responder.write(QByteArray(), {{"Allow", "GET"}, {"Content-Type", text}}, Status::MethodNotAllowed);
            else
                responder.write(QByteArray::fromStdString(page()), PageType);
        }
        // Into the system's buffer now: a client that closed its side after
        // the request (printf ... | nc) would otherwise get nothing, as Qt
        // drops what is unsent when it reads the end of the stream.
        Socket->flush();
        return true;
    }
    // handleRequest answers every request.
    void missingHandler(const QHttpServerRequest&, QTcpSocket*) override {}

private:
    PageFunction page;
    Listener* listener;
};

TMetricsServer::TMetricsServer(PageFunction Page, QObject* parent) : TMetricsServer(std::move(Page), Limits(), parent)
{
}

TMetricsServer::TMetricsServer(PageFunction Page, const Limits& Bounds, QObject* parent)
    : QObject(parent), http(new Http(std::move(Page), Bounds, this))
{
}

TMetricsServer::~TMetricsServer() = default;

bool TMetricsServer::Listen(const QHostAddress& Address, quint16 Port)
{
    Listener* listener = http->Server();
    if (!listener->listen(Address, Port)) {
        error = listener->errorString();
        return false;
    }
    http->bind(listener);
    return true;
}

quint16 TMetricsServer::Port() const
{
    return http->Server()->serverPort();
}

int TMetricsServer::Connections() const
{
    return http->Server()->Open();
}

TMetricsEndpoint* MakeMetricsServer(const MetricsPage& Page)
{
    return new TMetricsServer(Page);
}
