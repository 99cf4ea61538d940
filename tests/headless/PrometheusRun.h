// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A real Prometheus server for a test: on loopback, with its data in a
// folder of the test's own, scraping the given targets every second.
#include <QJsonArray>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <optional>

class PrometheusRun {
public:
    PrometheusRun() = default;
    ~PrometheusRun();
    PrometheusRun(const PrometheusRun&) = delete;
    PrometheusRun& operator=(const PrometheusRun&) = delete;

    // Starts scraping Targets ("127.0.0.1:port") as job "chanload" and waits
    // until the server is ready; false with Error() set otherwise.
    bool Start(const QString& Folder, const QStringList& Targets);
    QString Error() const { return error; }

    // The result of an instant query (at Time, seconds since 1970, or now),
    // or nothing when the server did not answer with success.
    std::optional<QJsonArray> Query(const QString& Expression, std::optional<double> Time = std::nullopt);

private:
    QProcess process;
    int port = 0;
    QString error;
};
