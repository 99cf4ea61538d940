// SPDX-License-Identifier: GPL-3.0-or-later
#include "MetricsServer.h"

#include "QtTestApp.h"

#include <QTcpSocket>

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <memory>
#include <vector>

namespace {

const std::string kPage = "# HELP x_total An example.\n# TYPE x_total counter\nx_total 1\n";

struct Response {
    QByteArray statusLine;
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;

    QByteArray header(const QByteArray& Name) const
    {
        for (const auto& [name, value] : headers)
            if (name.compare(Name, Qt::CaseInsensitive) == 0)
                return value;
        return {};
    }
};

// A client on loopback that reads whole answers (headers and a body of
// Content-Length bytes).
class Client {
public:
    explicit Client(quint16 Port)
    {
        socket.connectToHost(QHostAddress::LocalHost, Port);
    }
    bool Connected() { return WaitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; }); }
    void Send(const QByteArray& Bytes)
    {
        socket.write(Bytes);
        socket.flush();
    }
    // The next answer, or nothing when none came whole before the server closed or 5 s passed.
    std::optional<Response> Next()
    {
        std::optional<Response> answer;
        WaitFor([&] {
            buffer += socket.readAll();
            if (!answer)
                answer = take();
            return answer.has_value() || socket.state() == QAbstractSocket::UnconnectedState;
        });
        if (!answer) {
            buffer += socket.readAll();
            answer = take();
        }
        return answer;
    }
    bool ClosedByServer()
    {
        return WaitFor([&] {
            buffer += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        });
    }
    QTcpSocket socket;

private:
    std::optional<Response> take()
    {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return std::nullopt;
        Response r;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        r.statusLine = lines[0].trimmed();
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0)
                r.headers.append({lines[i].left(colon).trimmed(), lines[i].mid(colon + 1).trimmed()});
        }
        const qsizetype length = r.header("Content-Length").toLongLong();
        if (buffer.size() < end + 4 + length)
            return std::nullopt;
        r.body = buffer.mid(end + 4, length);
        buffer.remove(0, end + 4 + length);
        return r;
    }
    QByteArray buffer;
};

class MetricsServerTest : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }

    void start(const TMetricsServer::Limits& Bounds = {})
    {
        server = std::make_unique<TMetricsServer>([] { return kPage; }, Bounds);
        ASSERT_TRUE(server->Listen(QHostAddress::LocalHost, 0)) << server->Error().toStdString();
    }
    bool allClosed()
    {
        return WaitFor([&] { return server->Connections() == 0; });
    }

    std::unique_ptr<TMetricsServer> server;
};

} // namespace

TEST_F(MetricsServerTest, Requests_OnlyGetMetricsIsServed)
{
    struct Case {
        const char* request;
        const char* status;
        bool page;
        const char* allow;
    };
    const Case cases[] = {
        {"GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK", true, ""},
        {"GET /metrics?name[]=x HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 200 OK", true, ""},
        {"GET /metrics HTTP/1.0\r\n\r\n", "HTTP/1.1 200 OK", true, ""},
        {"BREW /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", false, "GET"},
        {"GET / HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found", false, ""},
        {"GET /metrics/ HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found", false, ""},
        {"GET /metricsx HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found", false, ""},
        {"GET /../metrics/../etc/passwd HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 404 Not Found", false, ""},
        {"POST /metrics HTTP/1.1\r\nHost: a\r\nContent-Length: 3\r\n\r\nabc", "HTTP/1.1 405 Method Not Allowed", false, "GET"},
        {"HEAD /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", false, "GET"},
        {"DELETE /metrics HTTP/1.1\r\nHost: a\r\n\r\n", "HTTP/1.1 405 Method Not Allowed", false, "GET"},
        {"PUT /other HTTP/1.1\r\nHost: a\r\nContent-Length: 0\r\n\r\n", "HTTP/1.1 404 Not Found", false, ""},
    };
    start();
    ASSERT_FALSE(HasFatalFailure());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.request);
        Client client(server->Port());
        ASSERT_TRUE(client.Connected());
        client.Send(c.request);
        const auto answer = client.Next();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->statusLine, c.status);
        EXPECT_EQ(answer->header("Allow"), c.allow);
        if (c.page) {
            EXPECT_EQ(answer->header("Content-Type"), "text/plain; version=0.0.4; charset=utf-8");
            EXPECT_EQ(answer->body.toStdString(), kPage);
        } else {
            EXPECT_EQ(answer->body.indexOf("x_total"), -1);
        }
        // Nothing about the program or the machine.
        EXPECT_EQ(answer->header("Server"), "");
    }
    EXPECT_TRUE(allClosed());
}

TEST_F(MetricsServerTest, Requests_KeptAliveAreAnsweredOnTheSameConnection)
{
    start();
    ASSERT_FALSE(HasFatalFailure());
    Client client(server->Port());
    ASSERT_TRUE(client.Connected());
    for (int i = 0; i < 3; ++i) {
        client.Send("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
        const auto answer = client.Next();
        ASSERT_TRUE(answer) << i;
        EXPECT_EQ(answer->statusLine, "HTTP/1.1 200 OK");
        EXPECT_EQ(answer->body.toStdString(), kPage);
    }
    EXPECT_EQ(server->Connections(), 1);
}

TEST_F(MetricsServerTest, Requests_FromAClientThatEndedItsSideAreAnswered)
{
    // As `printf 'GET /metrics HTTP/1.0\r\n\r\n' | nc HOST PORT` asks.
    start();
    ASSERT_FALSE(HasFatalFailure());
    Client client(server->Port());
    ASSERT_TRUE(client.Connected());
    client.Send("GET /metrics HTTP/1.0\r\n\r\n");
    ASSERT_TRUE(WaitFor([&] { return client.socket.bytesToWrite() == 0; }));
    ASSERT_EQ(::shutdown(static_cast<int>(client.socket.socketDescriptor()), SHUT_WR), 0);
    const auto answer = client.Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(answer->body.toStdString(), kPage);
}

TEST_F(MetricsServerTest, HostileRequests_AreRefusedAndFreed)
{
    struct Case {
        const char* name;
        QByteArray request;
        const char* status; // "" when closing without an answer is right
    };
    const QByteArray head = "GET /metrics HTTP/1.1\r\nHost: a\r\n";
    const std::vector<Case> cases = {
        {"a header longer than the limit", head + "X-Long: " + QByteArray(9000, 'a') + "\r\n\r\n",
         "HTTP/1.1 431 Request Header Fields Too Large"},
        {"a megabyte of header", head + "X-Long: " + QByteArray(1 << 20, 'a'), ""},
        {"a body past the limit", "POST /metrics HTTP/1.1\r\nContent-Length: 100000\r\n\r\n" + QByteArray(100000, 'b'),
         ""},
        {"no HTTP at all", "GARBAGE\r\n\r\n", ""},
    };
    start();
    ASSERT_FALSE(HasFatalFailure());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Client client(server->Port());
        ASSERT_TRUE(client.Connected());
        client.Send(c.request);
        if (*c.status) {
            const auto answer = client.Next();
            ASSERT_TRUE(answer);
            EXPECT_EQ(answer->statusLine, c.status);
        }
        // Closed at once, well before the idle time.
        EXPECT_TRUE(client.ClosedByServer());
        EXPECT_TRUE(allClosed()) << server->Connections() << " connections still open";
        // And the server goes on serving.
        Client next(server->Port());
        ASSERT_TRUE(next.Connected());
        next.Send("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
        const auto answer = next.Next();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->statusLine, "HTTP/1.1 200 OK");
    }
}

TEST_F(MetricsServerTest, Connections_BeyondTheLimitAreClosedAtOnce)
{
    TMetricsServer::Limits bounds;
    bounds.MaxConnections = 3;
    start(bounds);
    ASSERT_FALSE(HasFatalFailure());
    std::vector<std::unique_ptr<Client>> held;
    for (int i = 0; i < 3; ++i) {
        held.push_back(std::make_unique<Client>(server->Port()));
        ASSERT_TRUE(held.back()->Connected());
        ASSERT_TRUE(WaitFor([&] { return server->Connections() == i + 1; }));
    }
    Client extra(server->Port());
    EXPECT_TRUE(extra.ClosedByServer());
    EXPECT_EQ(server->Connections(), 3);
    // The held ones are still served; once one goes, a new one gets in.
    held[1]->Send("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
    const auto answer = held[1]->Next();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->statusLine, "HTTP/1.1 200 OK");
    held[0].reset();
    ASSERT_TRUE(WaitFor([&] { return server->Connections() == 2; }));
    Client late(server->Port());
    ASSERT_TRUE(late.Connected());
    late.Send("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
    const auto lateAnswer = late.Next();
    ASSERT_TRUE(lateAnswer);
    EXPECT_EQ(lateAnswer->statusLine, "HTTP/1.1 200 OK");
}

TEST_F(MetricsServerTest, Connections_IdleOrHalfARequestAreClosed)
{
    TMetricsServer::Limits bounds;
    bounds.IdleMs = 200;
    start(bounds);
    ASSERT_FALSE(HasFatalFailure());
    Client silent(server->Port()), half(server->Port()), served(server->Port());
    for (Client* c : {&silent, &half, &served})
        ASSERT_TRUE(c->Connected());
    half.Send("GET /metrics HTTP/1.1\r\nHo");
    served.Send("GET /metrics HTTP/1.1\r\nHost: a\r\n\r\n");
    ASSERT_TRUE(served.Next());
    for (Client* c : {&silent, &half, &served})
        EXPECT_TRUE(c->ClosedByServer());
    EXPECT_TRUE(allClosed());
}
