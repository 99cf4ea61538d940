#include "ClientSocket.h"
#include "ErrorBox.h"

#include "QtTestApp.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace {

// A port on which nothing listens: bound once, then closed again.
int closedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

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
    void TearDown() override { SetErrorBoxHandler(nullptr); }

    QTcpSocket* acceptPeer()
    {
        if (!WaitFor([&] { return server.hasPendingConnections(); }))
            return nullptr;
        return server.nextPendingConnection();
    }

    TClientSocket socket;
    QTcpServer server;
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
    socket.Port = closedPort();
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
    socket.Port = closedPort();
    socket.Open();
    ASSERT_TRUE(WaitFor([&] { return !boxes.isEmpty(); }));
    EXPECT_TRUE(boxes[0].startsWith("Socket error")) << boxes[0].toStdString();
}

TEST_F(ClientSocketTest, OpenDuringAnAttemptStartsNoSecondOne)
{
    ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
    socket.Address = "localhost"; // looked up as a host name
    socket.Port = server.serverPort();
    socket.Open();
    socket.Open();
    ASSERT_TRUE(WaitFor([&] { return socket.Active(); }));
    WaitFor([] { return false; }, 200);
    EXPECT_EQ(events, QStringList{"connect"});
    ASSERT_NE(acceptPeer(), nullptr);
    EXPECT_FALSE(server.hasPendingConnections());
}

TEST_F(ClientSocketTest, UnknownHostAndImpossiblePortAreFailedAttempts)
{
    socket.Address = "no-such-host.invalid";
    socket.Port = 8000;
    socket.Open();
    ASSERT_TRUE(WaitFor([&] { return events.size() == 1; }, 20000));
    EXPECT_EQ(events[0], "error");
    socket.Address = "127.0.0.1";
    socket.Port = 99999;
    socket.Open();
    ASSERT_TRUE(WaitFor([&] { return events.size() == 2; }));
    EXPECT_EQ(events[1], "error");
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
