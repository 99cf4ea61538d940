// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The real program started with --headless as a child process, in surroundings
// like a station's without a screen: no DISPLAY, no WAYLAND_DISPLAY, no
// QT_QPA_PLATFORM, and a home, configuration and runtime folder of its own.
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <optional>

// One line of the CSV output, its time as written.
struct CsvRow {
    QString Time;
    int Port = 0, Frames = 0, Bytes = 0, Data = 0;
    int Usage = 0, Efficiency = 0, Load = 0, Airtime = 0, OwnAirtime = 0;
    QString Engine; // "answering", or why the figures are missing
};

// The fields of a line: nothing when it is not eleven of them, with a time,
// nine whole numbers (empty when the engine was not answering) and the state.
std::optional<CsvRow> ParseCsvRow(const QString& Line);

inline const char* const kCsvHeader = "time,port,frames,bytes,data,usage,efficiency,load,airtime,own_airtime,engine";

class HeadlessRun {
public:
    HeadlessRun();
    ~HeadlessRun();
    HeadlessRun(const HeadlessRun&) = delete;
    HeadlessRun& operator=(const HeadlessRun&) = delete;

    // A file in the run's own folder.
    QString Path(const QString& Name) const;
    // A settings file for 127.0.0.1:TcpPort; returns its path.
    QString WriteConfig(const QString& Name, int TcpPort, int AgwPort, int SampleMs, int BitRate = 1200);
    void SetEnvironment(const QString& Name, const QString& Value) { env.insert(Name, Value); }

    // Starts the program with these arguments (no --headless added).
    bool Start(const QStringList& Arguments);
    // Starts it and waits for its end; false when it did not end in time.
    bool Run(const QStringList& Arguments, int Ms = 20000);

    // Waits until the program has written Count lines on standard output, or
    // has ended, or Ms have passed; true when the lines are there.
    bool WaitForLines(int Count, int Ms = 30000);
    bool WaitForEnd(int Ms = 20000);
    void Signal(int Number);
    // Standard output goes to Reader's standard input instead of the run
    // (`chanload | reader`); before Start.
    void PipeStdoutTo(QProcess& Reader) { process.setStandardOutputProcess(&Reader); }

    bool Running() const { return process.state() != QProcess::NotRunning; }
    bool EndedBySignal() const { return process.exitStatus() == QProcess::CrashExit; }
    int ExitStatus() const { return process.exitCode(); }
    qint64 Pid() const { return process.processId(); }

    // Whole lines so far, without their line ends.
    QStringList StdoutLines();
    QStringList StderrLines();
    QString Stdout();
    QString Stderr();

private:
    void collect();

    QTemporaryDir dir;
    QProcessEnvironment env;
    QProcess process;
    QByteArray out, err;
};
