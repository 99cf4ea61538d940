// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterMetrics.h"

#include "ChanLoadVersion.h"
#include "ChannelMetrics.h"
#include "LabelText.h"
#include "Modules.h"
#include "meter.h"

#include <QRegularExpression>
#include <QTimer>

std::optional<MetricsAddress> ParseMetricsAddress(const QString& Text, QString& Why)
{
    static const QRegularExpression form(QStringLiteral("^(?:(\\[[^\\]]*\\]|[^:\\[\\]]*):)?([0-9]+)$"));
    const QRegularExpressionMatch match = form.match(Text);
    if (!match.hasMatch()) {
        Why = QStringLiteral("'%1' is not [ADDRESS:]PORT").arg(Text);
        return std::nullopt;
    }
    MetricsAddress at;
    bool ok = false;
    const uint port = match.captured(2).toUInt(&ok);
    if (!ok || port < 1 || port > 65535) {
        Why = QStringLiteral("the port in '%1' is not one from 1 to 65535").arg(Text);
        return std::nullopt;
    }
    at.Port = static_cast<quint16>(port);
    QString host = match.captured(1);
    const bool bracketed = host.startsWith('[');
    if (bracketed)
        host = host.mid(1, host.size() - 2);
    if (!match.hasCaptured(1)) {
        at.Address = QHostAddress(QHostAddress::LocalHost);
    } else if (!bracketed && host == QLatin1String("localhost")) {
        at.Address = QHostAddress(QHostAddress::LocalHost);
    } else if (!at.Address.setAddress(host) ||
               bracketed != (at.Address.protocol() == QAbstractSocket::IPv6Protocol)) {
        Why = QStringLiteral("'%1' is not an IPv4 address or a bracketed IPv6 address").arg(match.captured(1));
        return std::nullopt;
    }
    return at;
}

TMeterMetrics::TMeterMetrics(TForm1* Form, MetricsFactory Factory, QObject* parent)
    : QObject(parent), metrics(std::make_unique<ChannelMetrics>(CHANLOAD_VERSION)), factory(Factory)
{
    metrics->Watch(LabelValue(Form->PortMon));
    connect(Form, &TForm1::FrameCounted, this, [this](const MetricsFrame& Frame) { metrics->AddFrame(Frame); });
    connect(Form, &TForm1::PeriodEvaluated, this, [this, Form](const PeriodRecord& Record) {
        // The tally has closed the period's stations just before.
        StationAirCounters& stations = metrics->Stations(Record.Port);
        for (const StationRow& row : Form->Stations().LastPeriod().Rows)
            stations.Add(Record.Time, row.Call, row.AirMicros * 1000);
        stations.EndPeriod(Record.Time);
        metrics->AddPeriod(Record, Form->CheckTime->interval());
    });
}

TMeterMetrics::~TMeterMetrics() = default;

bool TMeterMetrics::Listen(const QString& Where)
{
    QString why;
    const auto at = ParseMetricsAddress(Where, why);
    if (!at) {
        error = QStringLiteral("cannot serve metrics: %1").arg(why);
        return false;
    }
    if (!factory)
        factory = DefaultMetricsFactory(why);
    if (!factory) {
        error = QStringLiteral("cannot serve metrics: %1").arg(why);
        return false;
    }
    if (!server)
        server.reset(factory([this] { return metrics->Exposition(); }));
    if (!server->Listen(at->Address, at->Port)) {
        const QString host = at->Address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QLatin1Char('[') + at->Address.toString() + QLatin1Char(']')
                                 : at->Address.toString();
        error = QStringLiteral("cannot serve metrics on %1:%2: %3").arg(host).arg(at->Port).arg(server->Error());
        return false;
    }
    return true;
}
