// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChanLoadChild.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <unistd.h>

ProcessFigures FiguresOf(qint64 pid)
{
    ProcessFigures f;
    if (pid <= 0)
        return f;
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            const QList<QByteArray> words = line.simplified().split(' ');
            if (words.size() >= 2 && words[0] == "VmRSS:")
                f.rssKiB = words[1].toLongLong();
            else if (words.size() >= 2 && words[0] == "VmHWM:")
                f.hwmKiB = words[1].toLongLong();
        }
    }
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (stat.open(QIODevice::ReadOnly)) {
        // The command name may hold blanks; the fields after it may not.
        const QByteArray text = stat.readAll();
        const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
        // Fields 14 and 15 of the file: utime and stime, in clock ticks.
        if (fields.size() > 12)
            f.cpuSeconds = static_cast<double>(fields[11].toLongLong() + fields[12].toLongLong())
                / static_cast<double>(sysconf(_SC_CLK_TCK));
    }
    return f;
}

ChanLoadChild::ChanLoadChild()
{
    process.setProgram(QStringLiteral(CHANLOAD_PROGRAM));
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
    // The history store too, apart from the user's and from other children's.
    env.insert(QStringLiteral("XDG_DATA_HOME"), dir.path());
    // What Qt itself says about the test's surroundings is not the program's
    // one line: a missing runtime directory, and the offscreen platform's
    // lack of the tray-window signal that the tray icon asks for.
    QDir(dir.path()).mkdir(QStringLiteral("runtime"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QDir(dir.path()).filePath(QStringLiteral("runtime")));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("qt.core.qobject.connect.warning=false"));
    // In a sanitizer build freed blocks wait in a quarantine of up to 256 MiB,
    // which would read as growth; the bounds here are about the program.
    const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
    env.insert(QStringLiteral("ASAN_OPTIONS"), asan + (asan.isEmpty() ? "" : ":") + "quarantine_size_mb=1");
    process.setProcessEnvironment(env);
}

ChanLoadChild::~ChanLoadChild()
{
    if (Running()) {
        process.kill();
        process.waitForFinished(5000);
    }
}

bool ChanLoadChild::Start(int tcpPort, int sampleMs)
{
    QFile ini(QDir(dir.path()).filePath(QStringLiteral("chanload/CHANLOAD.INI")));
    if (!dir.isValid() || !QDir(dir.path()).mkpath(QStringLiteral("chanload")) || !ini.open(QIODevice::WriteOnly))
        return false;
    ini.write(QStringLiteral("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%1\nAGW_PORT=1\nSAMPLE=%2\nBW=1200\nCALLSIGN=N0CALL\n")
                  .arg(tcpPort)
                  .arg(sampleMs)
                  .toLatin1());
    ini.close();
    process.start();
    return process.waitForStarted(10000);
}

bool ChanLoadChild::WaitForEnd(int ms)
{
    return process.waitForFinished(ms);
}

QStringList ChanLoadChild::StderrLines()
{
    stderrText += process.readAllStandardError();
    QStringList lines = QString::fromLocal8Bit(stderrText).split('\n');
    lines.removeAll(QString());
    return lines;
}

bool ChanLoadChild::WaitUntilIdle(int quietMs, int ms)
{
    QElapsedTimer total, quiet;
    total.start();
    quiet.start();
    double last = Figures().cpuSeconds;
    while (total.elapsed() < ms && Running()) {
        QThread::msleep(50);
        const double now = Figures().cpuSeconds;
        // Two clock ticks of slack for the timer and the kernel's accounting.
        if (now - last > 0.02) {
            last = now;
            quiet.restart();
        } else if (quiet.elapsed() >= quietMs) {
            return true;
        }
    }
    return false;
}
