// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrometheusRun.h"

#include "HttpGet.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>

PrometheusRun::~PrometheusRun()
{
    if (process.state() != QProcess::NotRunning) {
        process.terminate();
        if (!process.waitForFinished(10000)) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
}

bool PrometheusRun::Start(const QString& Folder, const QStringList& Targets)
{
    const QDir dir(Folder);
    QFile config(dir.filePath(QStringLiteral("prometheus.yml")));
    if (!config.open(QIODevice::WriteOnly)) {
        error = config.errorString();
        return false;
    }
    config.write("global:\n  scrape_interval: 1s\n  scrape_timeout: 1s\nscrape_configs:\n"
                 "  - job_name: chanload\n    static_configs:\n      - targets: ['" +
                 Targets.join(QStringLiteral("', '")).toLatin1() + "']\n");
    config.close();
    for (int attempt = 0; attempt < 3; ++attempt) {
        {
            QTcpServer probe;
            if (!probe.listen(QHostAddress::LocalHost, 0)) {
                error = probe.errorString();
                return false;
            }
            port = probe.serverPort();
        }
        process.setProgram(QStringLiteral("prometheus"));
        process.setArguments({QStringLiteral("--config.file=") + config.fileName(),
                              QStringLiteral("--storage.tsdb.path=") + dir.filePath(QStringLiteral("data")),
                              QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port),
                              QStringLiteral("--log.level=warn")});
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start();
        if (!process.waitForStarted(10000)) {
            error = QStringLiteral("prometheus did not start: ") + process.errorString();
            return false;
        }
        QElapsedTimer t;
        t.start();
        while (process.state() == QProcess::Running && t.elapsed() < 30000) {
            const auto ready = HttpGet(QStringLiteral("127.0.0.1"), port, "/-/ready", 1000);
            if (ready && ready->Status == 200)
                return true;
            process.waitForFinished(100);
        }
        error = QStringLiteral("prometheus was not ready: ") + QString::fromLocal8Bit(process.readAll());
        // Someone may have taken the port in between; another one then.
        if (process.state() == QProcess::Running)
            return false;
    }
    return false;
}

std::optional<QJsonArray> PrometheusRun::Query(const QString& Expression, std::optional<double> Time)
{
    QByteArray target = "/api/v1/query?query=" + UrlQueryValue(Expression);
    if (Time)
        target += "&time=" + QByteArray::number(*Time, 'f', 3);
    const auto answer = HttpGet(QStringLiteral("127.0.0.1"), port, target, 5000);
    if (!answer || answer->Status != 200)
        return std::nullopt;
    const QJsonObject reply = QJsonDocument::fromJson(answer->Body).object();
    if (reply.value(QStringLiteral("status")).toString() != QLatin1String("success"))
        return std::nullopt;
    return reply.value(QStringLiteral("data")).toObject().value(QStringLiteral("result")).toArray();
}
