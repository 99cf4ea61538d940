// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real program as a child process: its own settings directory, offscreen,
// and what /proc says about its memory and CPU while it runs.
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

struct ProcessFigures {
    qint64 rssKiB = -1; // VmRSS
    qint64 hwmKiB = -1; // VmHWM, the peak resident set
    double cpuSeconds = -1; // user + system
};

// Reads /proc/<pid>/status and /proc/<pid>/stat; -1 where unreadable.
ProcessFigures FiguresOf(qint64 pid);

class ChanLoadChild {
public:
    ChanLoadChild();
    ~ChanLoadChild();

    // Writes CHANLOAD.INI for 127.0.0.1:tcpPort and starts the program.
    bool Start(int tcpPort, int sampleMs);
    bool WaitForEnd(int ms);
    bool Running() const { return process.state() != QProcess::NotRunning; }
    // Ended by a signal (a crash, or our own kill).
    bool EndedBySignal() const { return process.exitStatus() == QProcess::CrashExit; }
    int ExitStatus() const { return process.exitCode(); }
    QStringList StderrLines();
    ProcessFigures Figures() const { return FiguresOf(process.processId()); }
    // True once the program has used almost no CPU for quietMs: it has read
    // everything that was sent and is waiting again.
    bool WaitUntilIdle(int quietMs = 300, int ms = 30000);

private:
    QTemporaryDir dir;
    QProcess process;
    QByteArray stderrText;
};
