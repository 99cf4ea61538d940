// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientSocket.h"

#include "ErrorBox.h"

#include <QHostInfo>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

#ifdef Q_OS_UNIX
#include <poll.h>
#endif

namespace {

HostLookup& replacedLookup()
{
    static HostLookup lookup;
    return lookup;
}

void systemLookup(const QString& name, QObject* context, std::function<void(const QHostInfo&)> done)
{
    QHostInfo::lookupHost(name, context, [done = std::move(done)](const QHostInfo& info) { done(info); });
}

} // namespace

void SetHostLookup(HostLookup Lookup)
{
    replacedLookup() = std::move(Lookup);
}

TClientSocket::TClientSocket(QObject* parent)
    : QObject(parent), socket(new QTcpSocket(this))
{
    // An engine is spoken to directly; a desktop proxy setting must not reroute it.
    socket->setProxy(QNetworkProxy::NoProxy);
    socket->setReadBufferSize(ChunkSize);
    connect(socket, &QTcpSocket::connected, this, [this] { defer(&TClientSocket::handleConnected); });
    connect(socket, &QTcpSocket::readyRead, this, [this] { defer(&TClientSocket::handleReadyRead); });
    connect(socket, &QTcpSocket::disconnected, this, [this] { defer(&TClientSocket::handleDisconnected); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this] { defer(&TClientSocket::handleError); });
}

TClientSocket::~TClientSocket()
{
    // The owner is being destroyed: nothing may call back into it any more.
    OnConnect = nullptr;
    OnRead = nullptr;
    OnDisconnect = nullptr;
    OnError = nullptr;
    socket->disconnect(this);
    socket->abort();
}

// Qt may report a failure from inside connectToHost, or from inside a write
// made by the connect or read handler (a peer that hangs up at once). Such an
// event must not run in the middle of that code: it is queued until the code
// has returned, and a later attempt makes it stale.
void TClientSocket::defer(void (TClientSocket::*Handler)())
{
    if (!opening && !delivering) {
        (this->*Handler)();
        return;
    }
    const unsigned attempt = generation;
    QTimer::singleShot(0, this, [this, Handler, attempt] {
        if (attempt == generation)
            (this->*Handler)();
    });
}

void TClientSocket::Open()
{
    if (active || attempting)
        return;
    ++generation;
    attempting = true;
    ended = false;
    opening = true;
    untried.clear();
    const unsigned attempt = generation;
    QHostAddress literal;
    if (Port < 1 || Port > 65535) {
        // No port to connect to: a failed attempt like any other.
        QTimer::singleShot(0, this, [this, attempt] {
            if (attempt == generation)
                deliverError(QAbstractSocket::UnknownSocketError, QStringLiteral("Invalid TCP port %1").arg(Port));
        });
    } else if (literal.setAddress(Address)) {
        untried = {literal};
        connectToNext();
    } else {
        QPointer<TClientSocket> self(this);
        HostLookup lookup = replacedLookup();
        if (!lookup)
            lookup = systemLookup;
        lookup(Address, this, [self, attempt](const QHostInfo& info) {
            if (self && attempt == self->generation && self->attempting)
                self->lookedUp(info);
        });
    }
    opening = false;
}

void TClientSocket::DeliverConnectIfMade()
{
    if (!attempting || opening || delivering || socket->state() != QAbstractSocket::ConnectingState)
        return;
#ifdef Q_OS_UNIX
    // Writable and nothing else: connected. A refused or failed attempt also
    // reports an error or a hang-up, and is left to the event loop, which
    // reads the error from the socket.
    pollfd state{static_cast<int>(socket->socketDescriptor()), POLLOUT, 0};
    if (state.fd < 0 || ::poll(&state, 1, 0) != 1 || state.revents != POLLOUT)
        return;
    socket->waitForConnected(0);
#endif
}

void TClientSocket::lookedUp(const QHostInfo& Info)
{
    untried = Info.error() == QHostInfo::NoError ? Info.addresses() : QList<QHostAddress>{};
    if (untried.isEmpty()) {
        deliverError(QAbstractSocket::HostNotFoundError, QStringLiteral("Host not found"));
        return;
    }
    connectToNext();
}

// A host name may stand for several addresses (localhost: ::1 and 127.0.0.1);
// they are tried in the resolver's order until one answers.
void TClientSocket::connectToNext()
{
    const QHostAddress address = untried.takeFirst();
    const bool wasOpening = opening;
    opening = true;
    socket->abort();
    socket->connectToHost(address, static_cast<quint16>(Port));
    opening = wasOpening;
}

void TClientSocket::Close()
{
    if (active) {
        deliverDisconnect();
        socket->disconnectFromHost();
        return;
    }
    if (attempting) {
        ++generation;
        attempting = false;
        ended = true;
        socket->abort();
    }
}

std::string TClientSocket::ReceiveText()
{
    const QByteArray bytes = socket->readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

std::string_view TClientSocket::ReceiveChunk()
{
    if (!chunk)
        chunk.reset(new char[static_cast<size_t>(ChunkSize)]);
    const qint64 got = socket->read(chunk.get(), ChunkSize);
    return {chunk.get(), got > 0 ? static_cast<size_t>(got) : 0};
}

qint64 TClientSocket::ReceiveInto(char* Buffer, qint64 Size)
{
    const qint64 got = socket->read(Buffer, Size);
    return got > 0 ? got : 0;
}

void TClientSocket::SendText(const std::string& Text)
{
    if (socket->state() != QAbstractSocket::ConnectedState || !socket->isValid())
        return;
    socket->write(Text.data(), static_cast<qint64>(Text.size()));
    socket->flush();
}

void TClientSocket::handleConnected()
{
    if (ended || !attempting)
        return;
    attempting = false;
    active = true;
    if (OnConnect) {
        delivering = true;
        GuardEvent([&] { OnConnect(this); });
        delivering = false;
    }
}

void TClientSocket::handleReadyRead()
{
    if (!active || !OnRead)
        return;
    delivering = true;
    GuardEvent([&] { OnRead(this); });
    delivering = false;
}

void TClientSocket::handleDisconnected()
{
    if (ended)
        return;
    if (active || attempting)
        deliverDisconnect();
}

void TClientSocket::handleError()
{
    if (ended)
        return;
    // A peer that closes its end is a disconnection, not a failure.
    if (active && socket->error() == QAbstractSocket::RemoteHostClosedError) {
        deliverDisconnect();
        return;
    }
    if (attempting && !untried.isEmpty()) {
        // Not from inside the failing socket's own signal.
        const unsigned attempt = generation;
        QTimer::singleShot(0, this, [this, attempt] {
            if (attempt == generation && attempting && !untried.isEmpty())
                connectToNext();
        });
        return;
    }
    deliverError(socket->error(), socket->errorString());
}

void TClientSocket::deliverDisconnect()
{
    active = false;
    attempting = false;
    ended = true;
    if (OnDisconnect)
        GuardEvent([&] { OnDisconnect(this); });
}

void TClientSocket::deliverError(QAbstractSocket::SocketError Error, const QString& Reason)
{
    const bool wasActive = active;
    active = false;
    attempting = false;
    ended = true;
    untried.clear();
    int errorCode = std::max(1, static_cast<int>(Error) + 1);
    const TErrorEvent event = wasActive ? TErrorEvent::General : TErrorEvent::Connect;
    if (OnError)
        GuardEvent([&] { OnError(this, event, errorCode); });
    if (errorCode != 0)
        ShowErrorBox(("Socket error " + QString::number(errorCode) + ": " + Reason).toStdString());
}
