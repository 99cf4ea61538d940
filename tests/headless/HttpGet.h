// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A plain HTTP/1.0 GET on loopback with blocking waits, for tests that have
// no event loop running: the program's metrics page and Prometheus's API.
#include <QByteArray>
#include <QString>

#include <optional>

struct HttpAnswer {
    int Status = 0;
    QByteArray Headers; // as received, lines ending in CR LF
    QByteArray Body;
};

// Nothing when no whole answer came within Ms.
std::optional<HttpAnswer> HttpGet(const QString& Address, int Port, const QByteArray& Target, int Ms = 5000);

// Percent-encodes a query parameter.
QByteArray UrlQueryValue(const QString& Text);
