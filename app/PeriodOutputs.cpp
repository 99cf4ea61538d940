// SPDX-License-Identifier: GPL-3.0-or-later
#include "PeriodOutputs.h"

#include "CommandLine.h"
#include "ErrorBox.h"
#include "FreedMemory.h"
#include "MeterMetrics.h"
#include "PrivateProfile.h"
#include "StorePath.h"
#include "meter.h"

#include <QFileInfo>
#include <QStatusBar>

#include <cstdio>

int TellStandardError(const QString& Message)
{
    std::fprintf(stderr, "chanload: %s\n", Message.toLocal8Bit().constData());
    std::fflush(stderr);
    return 1;
}

QString HistoryStorePath(const TCommandLine& Line)
{
    if (Line.History == QLatin1String("none"))
        return QString();
    return Line.History.isEmpty() ? DefaultStorePath(ProfileFilePath()) : QFileInfo(Line.History).absoluteFilePath();
}

TPeriodOutputs::TPeriodOutputs(const TCommandLine& Line) : line(Line), closeStore([this] { store.Close(); }) {}

TPeriodOutputs::~TPeriodOutputs() = default;

bool TPeriodOutputs::OpenLogs()
{
    if (!line.LogFileName.isEmpty() && !log.OpenFile(line.LogFileName)) {
        TellStandardError(log.Error());
        return false;
    }
    if (!log.Notice().isEmpty())
        TellStandardError(log.Notice());
    if (line.Headless && !output.OpenStandardOutput()) {
        TellStandardError(output.Error());
        return false;
    }
    return true;
}

bool TPeriodOutputs::Attach(TForm1& Main)
{
    main = &Main;
    openStore();
    QObject::connect(main, &TForm1::PeriodEvaluated, main, [this](const PeriodRecord& Record) { write(Record); });

    // After the window, which has read the settings: METRICS may ask for the
    // endpoint too. Headless, a service asked for metrics it cannot serve
    // ends; the window goes on measuring without them.
    const QString metricsAt = line.Metrics.isEmpty() ? QString::fromStdString(Settings.Metrics) : line.Metrics;
    if (metricsAt.isEmpty())
        return true;
    metrics = std::make_unique<TMeterMetrics>(main);
    if (metrics->Listen(metricsAt))
        return true;
    if (line.Headless) {
        TellStandardError(metrics->Error());
        return false;
    }
    QString text = metrics->Error();
    text[0] = text[0].toUpper();
    ShowErrorBox(text.toStdString());
    metrics.reset();
    return true;
}

void TPeriodOutputs::ReopenLog()
{
    if (!line.LogFile.isEmpty() && !log.Reopen())
        TellStandardError(log.Error());
}

// A fault of the store is told once, on standard error and in the status
// line, and the meter goes on without it (or with it again once a write
// succeeds).
void TPeriodOutputs::openStore()
{
    stations = std::make_unique<TStationTable>(main->Stations());
    store.AddTable(stations.get());
    const QString path = HistoryStorePath(line);
    if (path.isEmpty())
        return;
    if (!store.Open(path)) {
        tellStore(store.Error());
        return;
    }
    tellNotice();
    main->SetStore(&store);
    main->RestoreHistory(store.Periods(store.LastTime() - PeriodHistory::SpanSeconds, store.LastTime()));
    // The window keeps the day it was given, and the writes need only the
    // store's last pages: the ones read for the day go, and with them the
    // heap pages they leave free among the window's own blocks.
    if (!store.ReleaseCache())
        tellStore(store.Error());
    ReturnFreedMemory();
    QObject::connect(&store, &TPeriodStore::Failed, main, [this](const QString& Fault) { tellStore(Fault); });
}

void TPeriodOutputs::tellStore(const QString& Fault)
{
    if (Fault == storeFault)
        return;
    storeFault = Fault;
    if (!Fault.isEmpty()) {
        TellStandardError(Fault);
        main->StatusBar->showMessage(Fault);
    }
}

void TPeriodOutputs::tellNotice()
{
    if (const QString notice = store.TakeNotice(); !notice.isEmpty())
        TellStandardError(notice);
}

void TPeriodOutputs::write(const PeriodRecord& Record)
{
    if (store.IsOpen()) {
        if (store.Write(Record) && !storeFault.isEmpty()) {
            TellStandardError(QStringLiteral("History store %1 is written again").arg(store.Path()));
            storeFault.clear();
        }
        tellNotice();
    }
    if (line.Headless && !writeStandardOutput(Record))
        return;
    if (!line.LogFile.isEmpty())
        writeLog(Record);
}

bool TPeriodOutputs::writeStandardOutput(const PeriodRecord& Record)
{
    const bool wasFailing = output.Failing();
    if (output.Write(Record)) {
        if (wasFailing)
            TellStandardError(QStringLiteral("standard output takes lines again"));
        return true;
    }
    // Nobody reads the lines any more (`chanload --headless | head`): the
    // run's work is done.
    if (output.ReaderGone()) {
        TellStandardError(QStringLiteral("standard output was closed; ending"));
        main->Exit1Click(nullptr);
        return false;
    }
    if (!wasFailing)
        TellStandardError(output.Error());
    return true;
}

void TPeriodOutputs::writeLog(const PeriodRecord& Record)
{
    const bool wasFailing = log.Failing();
    if (!log.Write(Record)) {
        // The meter goes on; the status line tells until the next tick,
        // standard error once per fault.
        main->StatusBar->showMessage(log.Error());
        if (line.Headless && !wasFailing)
            TellStandardError(log.Error());
    } else if (wasFailing) {
        const QString again = QStringLiteral("The log %1 is written again").arg(log.Name());
        main->StatusBar->showMessage(again);
        if (line.Headless)
            TellStandardError(again);
    }
}
