// SPDX-License-Identifier: GPL-3.0-or-later
// ChanLoad: measures how busy one packet-radio channel is, as a client of an
// AGWPE-compatible packet engine.
#include "CommandLine.h"
#include "ErrorBox.h"
#include "MeterProp.h"
#include "PeriodLog.h"
#include "PeriodStore.h"
#include "StationTable.h"
#include "Pictures.h"
#include "PrivateProfile.h"
#include "StorePath.h"
#include "TerminationSignals.h"
#include "meter.h"

#include <QApplication>
#include <QFileInfo>
#include <QStatusBar>

#include <cstdio>
#include <memory>

namespace {

int fail(const QString& Message)
{
    std::fprintf(stderr, "chanload: %s\n", Message.toLocal8Bit().constData());
    return 1;
}

// A settings file that is there but cannot be read would silently mean the
// defaults, and a save from Properties would then overwrite it.
bool readable(const QString& Path, QString& Why)
{
    const QFileInfo info(Path);
    if (!info.exists())
        return true;
    QFile file(Path);
    if (info.isDir() || !file.open(QIODevice::ReadOnly)) {
        Why = info.isDir() ? QStringLiteral("it is a folder") : file.errorString();
        return false;
    }
    return true;
}

// The history store of this run: the settings file's own, another file, or none.
QString storePath(const TCommandLine& Line)
{
    if (Line.History == QLatin1String("none"))
        return QString();
    return Line.History.isEmpty() ? DefaultStorePath(ProfileFilePath()) : QFileInfo(Line.History).absoluteFilePath();
}

// --export-csv: the stored periods as the CSV log writes them.
int exportCsv(const TCommandLine& Line)
{
    const QString path = storePath(Line);
    if (path.isEmpty())
        return fail(QStringLiteral("--export-csv needs a history store, not --history none"));
    TPeriodStore store;
    if (!store.OpenForReading(path))
        return fail(store.Error());
    TPeriodLog out;
    if (!out.OpenStandardOutput())
        return fail(out.Error());
    bool written = true;
    const bool read = store.ForEachPeriod(Line.ExportFrom, Line.ExportTo, [&](const PeriodRecord& Record) {
        written = written && out.Write(Record);
    });
    if (!read)
        return fail(store.Error());
    return written ? 0 : fail(out.Error());
}

} // namespace

int main(int argc, char* argv[])
{
    // Read before the application object exists, because Qt picks its
    // platform then, and because --help and --version need no display.
    TCommandLine line;
    {
        const QCoreApplication parsing(argc, argv);
        if (const auto status = ParseCommandLine(QCoreApplication::arguments(), line))
            return *status;
    }
    if (line.ExportCsv) {
        const QCoreApplication exporting(argc, argv);
        if (!line.ConfigFile.isEmpty())
            SetProfileFilePath(QFileInfo(line.ConfigFile).absoluteFilePath());
        return exportCsv(line);
    }
    if (line.Headless) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Standard error carries the program's own messages; Qt's notes about
        // the desktop it runs without (no runtime folder, no tray) are noise.
        qInstallMessageHandler([](QtMsgType Type, const QMessageLogContext&, const QString& Text) {
            if (Type == QtCriticalMsg || Type == QtFatalMsg)
                fail(Text);
        });
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("ChanLoad"));
    QApplication::setDesktopFileName(QStringLiteral("org.chanload.ChanLoad"));

    if (!line.ConfigFile.isEmpty()) {
        const QString path = QFileInfo(line.ConfigFile).absoluteFilePath();
        QString why;
        if (!readable(path, why))
            return fail(QStringLiteral("cannot read the settings file %1: %2").arg(path, why));
        SetProfileFilePath(path);
    }

    TPeriodLog log;
    if (!line.LogFile.isEmpty() && !log.OpenFile(line.LogFile))
        return fail(log.Error());
    TPeriodLog output;
    if (line.Headless) {
        if (!output.OpenStandardOutput())
            return fail(output.Error());
        // No one to click a box away: errors become lines on standard error.
        SetErrorBoxHandler([](const QString& Text) { fail(Text); });
    } else {
        QApplication::setWindowIcon(LoadIcon("MAINICON"));
    }

    auto main = std::make_unique<TForm1>(nullptr, line.Headless);
    main->SetVerbose(line.Verbose);

    // The stations table first: the store must not outlive it.
    TStationTable stations(main->Stations());
    // The store: a fault is told once, on standard error and in the status
    // line, and the meter goes on without it (or with it again once a write
    // succeeds).
    TPeriodStore store;
    store.AddTable(&stations);
    QString storeFault;
    const auto tellStore = [&](const QString& Fault) {
        if (Fault == storeFault)
            return;
        storeFault = Fault;
        if (!Fault.isEmpty()) {
            fail(Fault);
            main->StatusBar->showMessage(Fault);
        }
    };
    const auto tellNotice = [&] {
        if (const QString notice = store.TakeNotice(); !notice.isEmpty())
            fail(notice);
    };
    if (const QString path = storePath(line); !path.isEmpty()) {
        if (store.Open(path)) {
            tellNotice();
            main->SetStore(&store);
            main->RestoreHistory(store.Periods(store.LastTime() - PeriodHistory::SpanSeconds, store.LastTime()));
            QObject::connect(&store, &TPeriodStore::Failed, main.get(), tellStore);
        } else {
            tellStore(store.Error());
        }
    }

    QObject::connect(main.get(), &TForm1::PeriodEvaluated, main.get(), [&](const PeriodRecord& Record) {
        if (store.IsOpen()) {
            if (store.Write(Record)) {
                if (!storeFault.isEmpty()) {
                    fail(QStringLiteral("History store %1 is written again").arg(store.Path()));
                    storeFault.clear();
                }
            }
            tellNotice();
        }
        if (line.Headless && !output.Write(Record))
            fail(output.Error());
        if (!line.LogFile.isEmpty() && !log.Write(Record)) {
            // The meter goes on; the status line tells until the next tick.
            main->StatusBar->showMessage(log.Error());
            if (line.Headless)
                fail(log.Error());
        }
    });

    std::unique_ptr<TForm2> properties;
    std::unique_ptr<TTerminationSignals> termination;
    if (line.Headless)
        termination = std::make_unique<TTerminationSignals>([&](int) { main->Exit1Click(nullptr); });
    else
        properties = std::make_unique<TForm2>();
    return app.exec();
}
