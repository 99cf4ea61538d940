// SPDX-License-Identifier: GPL-3.0-or-later
#include "ClientSocket.h"
#include "ErrorBox.h"

#include "LoopbackPort.h"
#include "QtTestApp.h"

#include <QElapsedTimer>
#include <QHostInfo>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace {

// Answers host lookups from a table, a turn of the event loop later, as the
// system's resolver would, but without asking anyone.
struct TableResolver {
    std::map<QString, QList<QHostAddress>> known;
    QStringList asked;

    void install()
    {
        SetHostLookup([this](const QString& name, QObject* context, std::function<void(const QHostInfo&)> done) {
            asked << name;
            QHostInfo info;
            const auto found = known.find(name);
            if (found == known.end()) {
                info.setError(QHostInfo::HostNotFound);
                info.setErrorString(QStringLiteral("Host not found"));
            } else {
                info.setAddresses(found->second);
            }
            QTimer::singleShot(0, context, [done, info] { done(info); });
        });
    }
};

class ClientSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        EnsureApplication();
        SetErrorBoxHandler([this](const QString& t) { boxes << t; });
        socket.OnConnect = [this](TClientSocket*) { events << "connect"; };
        socket.OnRead = [this](TClientSocket* s) { received += s->ReceiveText(); };
        socket.OnDisconnect = [this](TClientSocket* s) { events << QString("disconnect active=%1").arg(s->Active() ? "true" : "false"); };
        socket.OnError = [this](TClientSocket*, TErrorEvent, int& code) {
            events << "error";
            if (clearErrors)
                code = 0;
        };
    }
    void TearDown() override
    {
        SetErrorBoxHandler(nullptr);
        SetHostLookup(nullptr);
    }

    QTcpSocket* acceptPeer()
    {
        if (!WaitFor([&] { return server.hasPendingConnections(); }))
            return nullptr;
        return server.nextPendingConnection();
    }

    TClientSocket socket;
    QTcpServer server;
    RefusingPort refusing;
    TableResolver resolver;
    QStringList events, boxes;
    std::string received;
    bool clearErrors = true;
};

} // namespace

TEST_F(ClientSocketTest, ConnectsReceivesAndSeesThePeerCloseOnce)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    socket.Address = "127.0.0.1";
    socket.Port = server.serverPort();
    socket.Open();
    EXPECT_FALSE(socket.Active()) << "an attempt in progress is not active";
    QTcpSocket* peer = acceptPeer();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return socket.Active(); }));
    EXPECT_EQ(events, QStringList{"connect"});

    peer->write(QByteArray("abc\0def", 7));
    peer->flush();
    ASSERT_TRUE(WaitFor([&] { return received.size() == 7; }));
    EXPECT_EQ(received, std::string("abc\0def", 7));

    socket.SendText(std::string("\x01\0x", 3));
    ASSERT_TRUE(WaitFor([&] { return peer->bytesAvailable() == 3; }));
    EXPECT_EQ(peer->readAll(), QByteArray("\x01\0x", 3));

    peer->close();
    ASSERT_TRUE(WaitFor([&] { return events.size() == 2; }));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(events, (QStringList{"connect", "disconnect active=false"}));
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ClientSocketTest, CloseWhileConnectedDeliversDisconnectWhileStillOpen)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    socket.Address = "127.0.0.1";
    socket.Port = server.serverPort();
    socket.OnDisconnect = [this](TClientSocket* s) {
        events << "disconnect";
        s->SendText("bye"); // still connected inside the close
    };
    socket.Open();
    QTcpSocket* peer = acceptPeer();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return socket.Active(); }));
    socket.Close();
    EXPECT_EQ(events, (QStringList{"connect", "disconnect"})) << "delivered inside Close";
    EXPECT_FALSE(socket.Active());
    ASSERT_TRUE(WaitFor([&] { return peer->bytesAvailable() >= 3; }));
    EXPECT_EQ(peer->readAll(), "bye");
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(events.size(), 2) << "no second event for the same connection";
}

TEST_F(ClientSocketTest, RefusedAttemptIsOneErrorEventAfterOpenReturns)
{
    socket.Address = "127.0.0.1";
    socket.Port = refusing.number();
    socket.Open();
    EXPECT_TRUE(events.isEmpty()) << "the outcome arrives as a later event";
    ASSERT_TRUE(WaitFor([&] { return !events.isEmpty(); }));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(events, QStringList{"error"});
    EXPECT_TRUE(boxes.isEmpty()) << "a cleared error code reports nothing";
    EXPECT_FALSE(socket.Active());
}

TEST_F(ClientSocketTest, ErrorLeftUnclearedIsReportedInTheErrorBox)
{
    clearErrors = false;
    socket.Address = "127.0.0.1";
    socket.Port = refusing.number();
    socket.Open();
    ASSERT_TRUE(WaitFor([&] { return !boxes.isEmpty(); }));
    EXPECT_TRUE(boxes[0].startsWith("Socket error")) << boxes[0].toStdString();
}

TEST_F(ClientSocketTest, OpenDuringAnAttemptStartsNoSecondOne)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    resolver.known["engine.test"] = {QHostAddress::LocalHost};
    resolver.install();
    socket.Address = "engine.test"; // looked up as a host name, so the attempt lasts a while
    socket.Port = server.serverPort();
    socket.Open();
    socket.Open();
    ASSERT_TRUE(WaitFor([&] { return socket.Active(); }));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(events, QStringList{"connect"});
    EXPECT_EQ(resolver.asked, QStringList{"engine.test"});
    ASSERT_NE(acceptPeer(), nullptr);
    EXPECT_FALSE(server.hasPendingConnections());
}

TEST_F(ClientSocketTest, UnknownHostAndImpossiblePortAreFailedAttempts)
{
    resolver.install();
    clearErrors = false;
    socket.Address = "no-such-host.invalid";
    socket.Port = 8000;
    socket.Open();
    EXPECT_TRUE(events.isEmpty()) << "the outcome arrives as a later event";
    ASSERT_TRUE(WaitFor([&] { return events.size() == 1; }));
    EXPECT_EQ(events[0], "error");
    EXPECT_EQ(resolver.asked, QStringList{"no-such-host.invalid"});
    EXPECT_EQ(boxes, QStringList{"Socket error 3: Host not found."});
    EXPECT_FALSE(socket.Active());
    clearErrors = true;
    socket.Address = "127.0.0.1";
    socket.Port = 99999;
    socket.Open();
    ASSERT_TRUE(WaitFor([&] { return events.size() == 2; }));
    EXPECT_EQ(events[1], "error");
    EXPECT_EQ(resolver.asked.size(), 1) << "an address is used as it is";
}

TEST_F(ClientSocketTest, HostNameWithSeveralAddressesTriesThemInTurn)
{
    // The name's first address refuses (a port held without listening), the second accepts.
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    RefusingPort first("127.0.0.2", server.serverPort());
    ASSERT_EQ(first.number(), server.serverPort());
    resolver.known["engine.test"] = {QHostAddress("127.0.0.2"), QHostAddress::LocalHost};
    resolver.install();
    socket.Address = "engine.test";
    socket.Port = server.serverPort();
    socket.Open();
    ASSERT_NE(acceptPeer(), nullptr);
    ASSERT_TRUE(WaitFor([&] { return socket.Active(); }));
    EXPECT_EQ(events, QStringList{"connect"});
    EXPECT_TRUE(boxes.isEmpty());
}

TEST_F(ClientSocketTest, CloseOrEndDuringTheLookupDropsItsAnswer)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    resolver.known["engine.test"] = {QHostAddress::LocalHost};
    resolver.install();
    socket.Address = "engine.test";
    socket.Port = server.serverPort();
    socket.Open();
    socket.Close();
    auto ended = std::make_unique<TClientSocket>();
    ended->Address = "engine.test";
    ended->Port = server.serverPort();
    ended->OnConnect = [this](TClientSocket*) { events << "ended socket connected"; };
    ended->Open();
    ended.reset();
    ASSERT_TRUE(WaitFor([&] { return resolver.asked.size() == 2; }));
    // The table answers a turn of the event loop later; a second socket's
    // whole attempt shows that those answers have been handed out.
    TClientSocket later;
    later.Address = "engine.test";
    later.Port = server.serverPort();
    later.Open();
    ASSERT_TRUE(WaitFor([&] { return later.Active(); }));
    EXPECT_TRUE(events.isEmpty());
    EXPECT_FALSE(socket.Active());
}

TEST_F(ClientSocketTest, AbandonedAttemptDeliversNothing)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    socket.Address = "127.0.0.1";
    socket.Port = server.serverPort();
    socket.Open();
    socket.Close();
    WaitFor([] { return false; }, 300);
    EXPECT_TRUE(events.isEmpty());
    EXPECT_FALSE(socket.Active());
}

// A burst far larger than the socket's buffer, with the peer hanging up right
// after it: every byte arrives, in order, in chunks no larger than a chunk,
// before the disconnection is reported.
TEST_F(ClientSocketTest, BurstArrivesWholeInBoundedChunksBeforeThePeerCloses)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    size_t largest = 0;
    std::string atDisconnect;
    socket.OnRead = [&](TClientSocket* s) {
        for (std::string_view chunk = s->ReceiveChunk(); !chunk.empty(); chunk = s->ReceiveChunk()) {
            largest = std::max(largest, chunk.size());
            received.append(chunk);
        }
    };
    socket.OnDisconnect = [&](TClientSocket*) { atDisconnect = received; events << "disconnect"; };
    socket.Address = "127.0.0.1";
    socket.Port = server.serverPort();
    socket.Open();
    QTcpSocket* peer = acceptPeer();
    ASSERT_NE(peer, nullptr);
    ASSERT_TRUE(WaitFor([&] { return socket.Active(); }));

    QByteArray burst(3 * 1024 * 1024 + 17, '\0');
    for (qsizetype i = 0; i < burst.size(); ++i)
        burst[i] = static_cast<char>((i * 7 + i / 251) & 0xFF);
    peer->write(burst);
    peer->disconnectFromHost();
    ASSERT_TRUE(WaitFor([&] { return events.contains("disconnect"); }, 20000));
    EXPECT_EQ(atDisconnect.size(), static_cast<size_t>(burst.size()));
    EXPECT_TRUE(atDisconnect == std::string(burst.constData(), static_cast<size_t>(burst.size())));
    EXPECT_LE(largest, static_cast<size_t>(TClientSocket::ChunkSize));
    EXPECT_GT(largest, 0u);
    EXPECT_TRUE(boxes.isEmpty());
}

// Taking a connection that is already made delivers the connect event once,
// whether now or from the event loop; a refused attempt is never reported
// from inside the call, only from the event loop, as without it.
TEST_F(ClientSocketTest, ConnectionAlreadyMadeIsDeliveredOnceAndAFailureNeverEarly)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    struct Case {
        const char* what;
        int port;
        QStringList eventually;
    };
    const std::vector<Case> cases = {
        {"listening", server.serverPort(), {"connect"}},
        {"refused", refusing.number(), {"error"}},
    };
    for (const Case& c : cases) {
        TClientSocket s;
        QStringList seen;
        s.OnConnect = [&](TClientSocket*) { seen << "connect"; };
        s.OnError = [&](TClientSocket*, TErrorEvent, int& code) {
            seen << "error";
            code = 0;
        };
        s.Address = "127.0.0.1";
        s.Port = c.port;
        s.Open();
        s.DeliverConnectIfMade();
        EXPECT_TRUE(seen.isEmpty() || seen == QStringList{"connect"}) << c.what << ": " << seen.join(',').toStdString();
        EXPECT_EQ(seen.isEmpty(), !s.Active()) << c.what;
        ASSERT_TRUE(WaitFor([&] { return !seen.isEmpty(); })) << c.what;
        WaitFor([] { return false; }, 100);
        EXPECT_EQ(seen, c.eventually) << c.what;
        s.DeliverConnectIfMade(); // connected or failed: nothing more to deliver
        EXPECT_EQ(seen, c.eventually) << c.what;
    }
    EXPECT_TRUE(boxes.isEmpty());
}
