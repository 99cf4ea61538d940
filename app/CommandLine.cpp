// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "ChanLoadVersion.h"
#include "MeterMetrics.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace {

void print(std::FILE* To, const QString& Text)
{
    const QByteArray bytes = Text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), To);
    std::fflush(To);
}

} // namespace

std::optional<int> ParseCommandLine(const QStringList& Arguments, TCommandLine& Line)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures how busy a packet-radio channel is, as a listening client of an\n"
        "AGWPE-compatible packet engine such as Dire Wolf."));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and end."));
    const QCommandLineOption version(QStringLiteral("version"), QStringLiteral("Show the version and end."));
    const QCommandLineOption config(QStringLiteral("config"),
                                    QStringLiteral("Read and save the settings in <file> instead of CHANLOAD.INI."),
                                    QStringLiteral("file"));
    const QCommandLineOption log(QStringLiteral("log"),
                                 QStringLiteral("Append one CSV line per sample period to <file>."),
                                 QStringLiteral("file"));
    const QCommandLineOption headless(QStringLiteral("headless"),
                                      QStringLiteral("Run without window, tray or display; write the CSV lines\n"
                                                     "on standard output."));
    const QCommandLineOption metrics(QStringLiteral("metrics"),
                                     QStringLiteral("Serve the figures to Prometheus at http://<[address:]port>/metrics;\n"
                                                    "without an address on 127.0.0.1 only."),
                                     QStringLiteral("[address:]port"));
    parser.addOptions({help, version, config, log, headless, metrics});

    const QString usage = parser.helpText().replace(QRegularExpression(QStringLiteral("^Usage: \\S*")),
                                                    QStringLiteral("Usage: chanload"));
    if (!parser.parse(Arguments)) {
        print(stderr, QStringLiteral("chanload: ") + parser.errorText() + QStringLiteral("\n\n") + usage);
        return 2;
    }
    if (!parser.positionalArguments().isEmpty()) {
        print(stderr, QStringLiteral("chanload: unexpected argument '") + parser.positionalArguments().first() +
                          QStringLiteral("'\n\n") + usage);
        return 2;
    }
    if (parser.isSet(help)) {
        print(stdout, usage);
        return 0;
    }
    if (parser.isSet(version)) {
        print(stdout, QStringLiteral("chanload ") + QStringLiteral(CHANLOAD_VERSION) + QStringLiteral("\n"));
        return 0;
    }
    Line.Headless = parser.isSet(headless);
    Line.ConfigFile = parser.value(config);
    Line.LogFile = parser.value(log);
    for (const auto& [option, value] : {std::pair{&config, Line.ConfigFile}, std::pair{&log, Line.LogFile}}) {
        if (parser.isSet(*option) && value.isEmpty()) {
            print(stderr, QStringLiteral("chanload: the option '--") + option->names().first() +
                              QStringLiteral("' needs a file name\n\n") + usage);
            return 2;
        }
    }
    if (parser.isSet(metrics)) {
        QString why;
        Line.Metrics = parser.value(metrics);
        if (!ParseMetricsAddress(Line.Metrics, why)) {
            print(stderr, QStringLiteral("chanload: the option '--metrics': ") + why + QStringLiteral("\n\n") + usage);
            return 2;
        }
    }
    return std::nullopt;
}
