// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The client socket as the meter expects it of its toolkit: an address and a
// port, an asynchronous open, and the events connect, read, disconnect and
// error delivered on the UI thread, each inside the standard error guard.
#include <QAbstractSocket>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "AGWUnit.h"

class QHostInfo;
class QTcpSocket;

// Looks a host name up and hands the outcome to Done, later, from the event
// loop; Context ending first drops the outcome. The system's resolver (through
// QHostInfo) unless replaced, so that a test can answer without the network.
using HostLookup = std::function<void(const QString& Name, QObject* Context, std::function<void(const QHostInfo&)> Done)>;
// Nullptr restores the system's resolver. Applies to attempts started afterwards.
void SetHostLookup(HostLookup Lookup);

enum class TErrorEvent { General, Send, Receive, Connect, Disconnect, Accept };

class TClientSocket : public QObject, public AGWSocket {
    Q_OBJECT
public:
    explicit TClientSocket(QObject* parent = nullptr);
    ~TClientSocket() override;

    QString Address;   // dotted IPv4 used as it is; anything else is looked up as a host name
    int Port = 0;

    // True from the connect event to the disconnect event. An attempt in progress reads false.
    bool Active() const { return active; }

    // Starts an asynchronous attempt; ignored while one is already running or connected.
    void Open();
    // When the attempt has already succeeded (an engine on this machine
    // accepts within the connect call), delivers the connect event now
    // instead of from the event loop; otherwise does nothing, and every event,
    // a failure included, comes from the event loop as usual.
    void DeliverConnectIfMade();
    // Connected: delivers the disconnect event at once, while the connection is
    // still open, then closes. Otherwise abandons any attempt in progress.
    void Close();

    // Everything the socket holds now, as one chunk.
    std::string ReceiveText();
    // At most ChunkSize of the bytes that wait, in a buffer of this object
    // that the next call reuses; empty when none wait. The socket itself
    // buffers no more than ChunkSize either, so a burst from the engine waits
    // in the operating system, not in this program's memory.
    std::string_view ReceiveChunk();
    static constexpr qint64 ChunkSize = 512 * 1024;
    // Reads at most Size of the bytes that wait straight into Buffer (no
    // buffer of this object in between); 0 when none wait.
    qint64 ReceiveInto(char* Buffer, qint64 Size);
    // Writes the whole text and hands it to the operating system at once.
    void SendText(const std::string& Text) override;

    std::function<void(TClientSocket*)> OnConnect;
    std::function<void(TClientSocket*)> OnRead;
    std::function<void(TClientSocket*)> OnDisconnect;
    // ErrorCode left non-zero by the handler is reported in the error box afterwards.
    std::function<void(TClientSocket*, TErrorEvent, int& ErrorCode)> OnError;

private:
    void defer(void (TClientSocket::*Handler)());
    void lookedUp(const QHostInfo& Info);
    void connectToNext();
    void handleConnected();
    void handleReadyRead();
    void handleDisconnected();
    void handleError();
    void deliverDisconnect();
    void deliverError(QAbstractSocket::SocketError Error, const QString& Reason);

    QTcpSocket* socket;
    std::unique_ptr<char[]> chunk; // made on the first read
    QList<QHostAddress> untried; // addresses of the host name still to try in this attempt
    bool active = false;
    bool attempting = false;
    bool ended = false;      // this attempt's connection has had its one closing event
    bool opening = false;    // inside connectToHost
    bool delivering = false; // inside the connect or read handler
    unsigned generation = 0; // tells a queued event of an earlier attempt from the current one
};
