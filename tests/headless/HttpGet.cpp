// SPDX-License-Identifier: GPL-3.0-or-later
#include "HttpGet.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QUrl>

std::optional<HttpAnswer> HttpGet(const QString& Address, int Port, const QByteArray& Target, int Ms)
{
    QElapsedTimer t;
    t.start();
    const auto left = [&] { return static_cast<int>(std::max<qint64>(Ms - t.elapsed(), 1)); };
    QTcpSocket socket;
    socket.connectToHost(Address, static_cast<quint16>(Port));
    if (!socket.waitForConnected(left()))
        return std::nullopt;
    // HTTP/1.0: no chunked answers; the program keeps the connection open
    // after its answer, Prometheus closes it; Content-Length tells either.
    socket.write("GET " + Target + " HTTP/1.0\r\nHost: " + Address.toLatin1() + "\r\n\r\n");
    QByteArray received;
    qsizetype headEnd = -1;
    qsizetype length = -1;
    while (t.elapsed() < Ms) {
        received += socket.readAll();
        if (headEnd < 0 && (headEnd = received.indexOf("\r\n\r\n")) >= 0) {
            const auto match = QRegularExpression(QStringLiteral("(?i)\\r\\ncontent-length: *(\\d+)"))
                                   .match(QString::fromLatin1(received.left(headEnd)));
            if (match.hasMatch())
                length = match.captured(1).toLongLong();
        }
        if (headEnd >= 0 && length >= 0 && received.size() >= headEnd + 4 + length)
            break;
        if (socket.state() != QAbstractSocket::ConnectedState)
            break;
        socket.waitForReadyRead(std::min(left(), 100));
    }
    received += socket.readAll();
    if (headEnd < 0 || (length >= 0 && received.size() < headEnd + 4 + length))
        return std::nullopt;
    HttpAnswer answer;
    answer.Headers = received.left(headEnd + 2);
    answer.Body = received.mid(headEnd + 4, length);
    const QList<QByteArray> status = received.left(received.indexOf("\r\n")).split(' ');
    answer.Status = status.size() > 1 ? status[1].toInt() : 0;
    return answer;
}

QByteArray UrlQueryValue(const QString& Text)
{
    return QUrl::toPercentEncoding(Text);
}
