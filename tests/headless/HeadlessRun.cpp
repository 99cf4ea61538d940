// SPDX-License-Identifier: GPL-3.0-or-later
#include "HeadlessRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <csignal>

std::optional<CsvRow> ParseCsvRow(const QString& Line)
{
    const QStringList fields = Line.split(',');
    if (fields.size() != 11)
        return std::nullopt;
    CsvRow row;
    row.Time = fields[0];
    row.Engine = fields[10];
    // A period the meter could not see has its port and no figures at all.
    if (row.Engine != QLatin1String("answering")) {
        bool ok = false;
        row.Port = fields[1].toInt(&ok);
        for (int i = 2; i < 10; ++i)
            ok = ok && fields[i].isEmpty();
        return ok ? std::optional(row) : std::nullopt;
    }
    int* const numbers[] = {&row.Port,  &row.Frames, &row.Bytes,   &row.Data,       &row.Usage,
                            &row.Efficiency, &row.Load, &row.Airtime, &row.OwnAirtime};
    for (int i = 0; i < 9; ++i) {
        const QString& text = fields[i + 1];
        bool ok = false;
        *numbers[i] = text.toInt(&ok);
        // Plain digits only: no blanks, no sign, no leading plus.
        if (!ok || text.isEmpty() || text.trimmed() != text || text.startsWith('+'))
            return std::nullopt;
    }
    return row;
}

HeadlessRun::HeadlessRun()
{
    env = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_QPA_PLATFORMTHEME"})
        env.remove(QString::fromLatin1(name));
    const QString home = dir.path();
    QDir(home).mkdir(QStringLiteral("config"));
    QDir(home).mkdir(QStringLiteral("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("HOME"), home);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), QDir(home).filePath(QStringLiteral("config")));
    env.insert(QStringLiteral("XDG_DATA_HOME"), QDir(home).filePath(QStringLiteral("data")));
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QDir(home).filePath(QStringLiteral("runtime")));
    // Freed blocks of a sanitizer build would otherwise wait in a large
    // quarantine; nothing here is about memory.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + (asan.isEmpty() ? "" : ":") + "quarantine_size_mb=1");
    process.setProgram(QStringLiteral(CHANLOAD_PROGRAM));
}

HeadlessRun::~HeadlessRun()
{
    if (Running()) {
        process.kill();
        process.waitForFinished(5000);
    }
}

QString HeadlessRun::Path(const QString& Name) const
{
    return QDir(dir.path()).filePath(Name);
}

QString HeadlessRun::WriteConfig(const QString& Name, int TcpPort, int AgwPort, int SampleMs, int BitRate)
{
    const QString path = Path(Name);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return {};
    f.write(QStringLiteral("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%1\nAGW_PORT=%2\nSAMPLE=%3\nBW=%4\nCALLSIGN=N0CALL-5\n")
                .arg(TcpPort)
                .arg(AgwPort)
                .arg(SampleMs)
                .arg(BitRate)
                .toLatin1());
    return path;
}

bool HeadlessRun::Start(const QStringList& Arguments)
{
    if (!dir.isValid())
        return false;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(dir.path());
    process.setArguments(Arguments);
    process.start();
    return process.waitForStarted(10000);
}

bool HeadlessRun::Run(const QStringList& Arguments, int Ms)
{
    return Start(Arguments) && WaitForEnd(Ms);
}

void HeadlessRun::collect()
{
    // QProcess empties the pipes only when asked to wait; what the program
    // has written by now counts.
    if (Running())
        while (process.waitForReadyRead(0)) {
        }
    out += process.readAllStandardOutput();
    err += process.readAllStandardError();
}

bool HeadlessRun::WaitForLines(int Count, int Ms)
{
    QElapsedTimer t;
    t.start();
    collect();
    while (out.count('\n') < Count && Running() && t.elapsed() < Ms) {
        process.waitForReadyRead(50);
        collect();
    }
    return out.count('\n') >= Count;
}

bool HeadlessRun::WaitForEnd(int Ms)
{
    const bool ended = !Running() || process.waitForFinished(Ms);
    collect();
    return ended;
}

void HeadlessRun::Signal(int Number)
{
    if (Running())
        ::kill(static_cast<pid_t>(process.processId()), Number);
}

namespace {

QStringList linesOf(const QByteArray& Text)
{
    QStringList lines = QString::fromLocal8Bit(Text).split('\n');
    // What follows the last line end is no whole line yet.
    lines.removeLast();
    return lines;
}

} // namespace

QStringList HeadlessRun::StdoutLines()
{
    collect();
    return linesOf(out);
}

QStringList HeadlessRun::StderrLines()
{
    collect();
    return linesOf(err);
}

QString HeadlessRun::Stdout()
{
    collect();
    return QString::fromLocal8Bit(out);
}

QString HeadlessRun::Stderr()
{
    collect();
    return QString::fromLocal8Bit(err);
}
