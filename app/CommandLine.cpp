// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include "ChanLoadVersion.h"
#include "MeterMetrics.h"
#include "StorePath.h"

#include <QCommandLineParser>
#include <QFile>
#include <QRegularExpression>
#include <QStringList>

#include <cstdio>

namespace {

void print(std::FILE* To, const QString& Text)
{
    const QByteArray bytes = Text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), To);
    std::fflush(To);
}

// Options every Qt program takes, read by the application object itself;
// accepted here and kept out of the help.
const char* const QtFlags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync", "testability"};
const char* const QtValues[] = {"platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry",
                                "qwindowicon", "qwindowtitle", "session", "display", "geometry", "title", "name",
                                "style", "stylesheet", "qmljsdebugger", "visual", "ncols", "cmap", "im", "inputstyle"};

void addQtOptions(QCommandLineParser& Parser)
{
    for (const char* flag : QtFlags) {
        QCommandLineOption option(QString::fromLatin1(flag));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(option);
    }
    for (const char* name : QtValues) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        Parser.addOption(option);
    }
}

// Every name of an option that takes a value, ours and Qt's.
QStringList valueNames(const QList<QCommandLineOption>& Options)
{
    QStringList names;
    for (const QCommandLineOption& option : Options)
        if (!option.valueName().isEmpty())
            names += option.names();
    for (const char* name : QtValues)
        names += QString::fromLatin1(name);
    return names;
}

// The last value of option Name, as the bytes given: the parser has already
// checked the line, so only the option forms need telling apart here.
QByteArray rawValue(const QList<QByteArray>& Arguments, const QStringList& ValueNames, const QString& Name)
{
    QByteArray value;
    for (qsizetype i = 1; i < Arguments.size(); ++i) {
        const QByteArray& a = Arguments[i];
        if (a == "--")
            break;
        if (!a.startsWith('-'))
            continue;
        const QByteArray body = a.mid(a.startsWith("--") ? 2 : 1);
        const qsizetype eq = body.indexOf('=');
        const QString name = QString::fromLatin1(body.left(eq < 0 ? body.size() : eq));
        if (eq >= 0) {
            if (name == Name)
                value = body.mid(eq + 1);
            continue;
        }
        // A name that takes a value has it in the next argument.
        if (ValueNames.contains(name) && i + 1 < Arguments.size()) {
            if (name == Name)
                value = Arguments[i + 1];
            ++i;
        }
    }
    return value;
}

} // namespace

std::optional<int> ParseCommandLine(const QList<QByteArray>& RawArguments, TCommandLine& Line)
{
    QStringList Arguments;
    for (const QByteArray& a : RawArguments)
        Arguments << QFile::decodeName(a);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Measures how busy a packet-radio channel is, as a listening client of an\n"
        "AGWPE-compatible packet engine such as Dire Wolf.\n"
        "Qt's standard options (-style, -stylesheet, -platform, -reverse, ...) work too."));
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
                                      QStringLiteral("Run without window, tray or display; write the CSV lines "
                                                     "on standard output."));
    const QCommandLineOption history(QStringLiteral("history"),
                                     QStringLiteral("Keep the periods in the SQLite store <file> instead of the "
                                                    "settings file's own; 'none' keeps them in memory only."),
                                     QStringLiteral("file"));
    const QCommandLineOption exportCsv(QStringLiteral("export-csv"),
                                       QStringLiteral("Write the stored periods from <from> to <to> as CSV "
                                                      "lines on standard output and end. Times are dates "
                                                      "(2026-12-01, a whole day as the end), ISO date-times "
                                                      "(2026-12-01T18:00, UTC unless an offset is given) "
                                                      "or Unix seconds."),
                                       QStringLiteral("from"));
    const QCommandLineOption verbose(QStringLiteral("verbose"),
                                     QStringLiteral("Report each transmitter's preamble on standard error once "
                                                    "it has been learned from the channel."));
    const QCommandLineOption metrics(QStringLiteral("metrics"),
                                     QStringLiteral("Serve the figures to Prometheus at http://<[address:]port>/metrics; "
                                                    "without an address on 127.0.0.1 only."),
                                     QStringLiteral("[address:]port"));
    // A new option joins this list; one that names a file takes its value
    // with rawValue, as --config and --log do.
    const QList<QCommandLineOption> options = {help, version, config, log, headless, verbose, history, exportCsv, metrics};
    parser.addOptions(options);
    parser.addPositionalArgument(QStringLiteral("to"), QStringLiteral("The end of the export (with --export-csv)."),
                                 QStringLiteral("[<to>]"));
    addQtOptions(parser);
    const QStringList takingValues = valueNames(options);

    const QString usage = parser.helpText().replace(QRegularExpression(QStringLiteral("^Usage: \\S*")),
                                                    QStringLiteral("Usage: chanload"));
    if (!parser.parse(Arguments)) {
        print(stderr, QStringLiteral("chanload: ") + parser.errorText() + QStringLiteral("\n\n") + usage);
        return 2;
    }
    const QStringList rest = parser.positionalArguments();
    const int expected = parser.isSet(exportCsv) ? 1 : 0;
    if (rest.size() > expected) {
        print(stderr, QStringLiteral("chanload: unexpected argument '") + rest.at(expected) +
                          QStringLiteral("'\n\n") + usage);
        return 2;
    }
    if (rest.size() < expected) {
        print(stderr, QStringLiteral("chanload: the option '--export-csv' needs a time to end at\n\n") + usage);
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
    Line.Verbose = parser.isSet(verbose);
    Line.ConfigFileName = rawValue(RawArguments, takingValues, QStringLiteral("config"));
    Line.LogFileName = rawValue(RawArguments, takingValues, QStringLiteral("log"));
    Line.ConfigFile = QFile::decodeName(Line.ConfigFileName);
    Line.LogFile = QFile::decodeName(Line.LogFileName);
    Line.History = QFile::decodeName(rawValue(RawArguments, takingValues, QStringLiteral("history")));
    if (parser.isSet(exportCsv)) {
        const auto from = ParseCommandLineTime(parser.value(exportCsv), false);
        const auto to = ParseCommandLineTime(rest.at(0), true);
        for (const auto& [time, text] : {std::pair{from, parser.value(exportCsv)}, std::pair{to, rest.at(0)}}) {
            if (!time) {
                print(stderr, QStringLiteral("chanload: '") + text +
                                  QStringLiteral("' is no time: give a date (2026-12-01), a date and time "
                                                 "(2026-12-01T18:00) or Unix seconds\n"));
                return 2;
            }
        }
        Line.ExportCsv = true;
        Line.ExportFrom = *from;
        Line.ExportTo = *to;
    }
    for (const auto& [option, value] : {std::pair{&config, Line.ConfigFile}, std::pair{&log, Line.LogFile},
                                         std::pair{&history, Line.History}}) {
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
