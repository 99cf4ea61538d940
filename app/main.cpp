// SPDX-License-Identifier: GPL-3.0-or-later
// ChanLoad: measures how busy one packet-radio channel is, as a client of an
// AGWPE-compatible packet engine.
#include "CommandLine.h"
#include "DrawnIconStyle.h"
#include "ErrorBox.h"
#include "MeterMetrics.h"
#include "PeriodLog.h"
#include "PeriodStore.h"
#include "StationTable.h"
#include "Pictures.h"
#include "PrivateProfile.h"
#include "SettingsCheck.h"
#include "StorePath.h"
#include "TerminationSignals.h"
#include "meter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStatusBar>
#include <QStyle>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#ifndef O_CLOEXEC
#define O_CLOEXEC 0
#endif
#ifndef O_NONBLOCK
#define O_NONBLOCK 0
#endif

namespace {

int fail(const QString& Message)
{
    std::fprintf(stderr, "chanload: %s\n", Message.toLocal8Bit().constData());
    std::fflush(stderr);
    return 1;
}

// A settings file that is there but cannot be read would silently mean the
// defaults, and a save from Properties would then overwrite it. Anything but
// an ordinary file (a FIFO, a device) is refused before it is opened, so that
// start-up never waits on it.
bool readable(const QByteArray& Path, QString& Why)
{
    struct stat st;
    if (::stat(Path.constData(), &st) != 0)
        return errno == ENOENT;
    if (S_ISDIR(st.st_mode)) {
        Why = QStringLiteral("it is a folder");
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        Why = QStringLiteral("it is not an ordinary file");
        return false;
    }
    const int fd = ::open(Path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        Why = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    ::close(fd);
    return true;
}

// While the application object is made, Qt's messages wait here: when no
// display can be opened Qt ends the program with a page of its own on
// plugins; a user without a screen needs one line and the way out.
QtMessageHandler qtHandler = nullptr;
struct HeldMessage {
    QtMsgType Type;
    QByteArray Category;
    QString Text;
};
std::vector<HeldMessage>& heldMessages()
{
    static std::vector<HeldMessage> held;
    return held;
}

void holdMessage(QtMsgType Type, const QMessageLogContext& Context, const QString& Text)
{
    if (Type == QtFatalMsg) {
        std::fprintf(stderr, "chanload: cannot open a display for the window (is DISPLAY or WAYLAND_DISPLAY set?); "
                             "use --headless to run without one\n");
        std::_Exit(1);
    }
    heldMessages().push_back({Type, QByteArray(Context.category ? Context.category : "default"), Text});
}

void releaseMessages()
{
    qInstallMessageHandler(qtHandler);
    if (!qtHandler)
        return;
    for (const HeldMessage& m : heldMessages()) {
        const QMessageLogContext context(nullptr, 0, nullptr, m.Category.constData());
        qtHandler(m.Type, context, m.Text);
    }
    heldMessages().clear();
}

QByteArray absolute(const QByteArray& Path)
{
    return Path.startsWith('/') ? Path : QFile::encodeName(QDir::currentPath()) + '/' + Path;
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
        QList<QByteArray> arguments;
        for (int i = 0; i < argc; ++i)
            arguments << QByteArray(argv[i]);
        if (const auto status = ParseCommandLine(arguments, line))
            return *status;
    }
    if (line.ExportCsv) {
        const QCoreApplication exporting(argc, argv);
        if (!line.ConfigFileName.isEmpty())
            SetProfileFileName(absolute(line.ConfigFileName));
        return exportCsv(line);
    }
    if (line.Headless) {
        // Before any file is opened: a signal now ends the run through its
        // usual steps once the event loop turns, whatever start-up meets.
        TTerminationSignals::CatchEarly();
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Standard error carries the program's own messages; Qt's notes about
        // the desktop it runs without (no runtime folder, no tray) are noise.
        qInstallMessageHandler([](QtMsgType Type, const QMessageLogContext&, const QString& Text) {
            if (Type == QtCriticalMsg || Type == QtFatalMsg)
                fail(Text);
        });
    }
    if (!line.Headless)
        qtHandler = qInstallMessageHandler(holdMessage);
    QApplication app(argc, argv);
    if (!line.Headless)
        releaseMessages();
    QApplication::setApplicationName(QStringLiteral("ChanLoad"));
    QApplication::setDesktopFileName(QStringLiteral("org.chanload.ChanLoad"));

    if (!line.ConfigFileName.isEmpty())
        SetProfileFileName(absolute(line.ConfigFileName));
    {
        const QByteArray path = ProfileFileName();
        QString why;
        if (!readable(path, why))
            return fail(QStringLiteral("cannot read the settings file %1: %2").arg(QFile::decodeName(path), why));
    }
    // Headless, a value the meter cannot work with ends the run at once; the
    // window goes on as it always did with it, and the note says why.
    for (const SettingsProblem& problem : CheckSettingsFile()) {
        NoteSettingsProblems({problem});
        if (line.Headless && problem.Fatal)
            return 1;
    }

#ifdef SIGPIPE
    // A FIFO log whose reader goes is an error where the line is written, not
    // the end of the window.
    ::signal(SIGPIPE, SIG_IGN);
#endif
    TPeriodLog log;
    if (!line.LogFileName.isEmpty() && !log.OpenFile(line.LogFileName))
        return fail(log.Error());
    if (!log.Notice().isEmpty())
        fail(log.Notice());
    TPeriodLog output;
    if (line.Headless) {
        if (!output.OpenStandardOutput())
            return fail(output.Error());
        // No one to click a box away: errors become lines on standard error.
        SetErrorBoxHandler([](const QString& Text) { fail(Text); });
    } else {
        QApplication::setWindowIcon(LoadIcon("MAINICON"));
        // A style sheet wraps the style itself; the drawn icon is left out then.
        if (app.styleSheet().isEmpty())
            QApplication::setStyle(new TDrawnIconStyle(QApplication::style()->name()));
    }

    auto main = std::make_unique<TForm1>(nullptr, line.Headless);

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

    main->SetVerbose(line.Verbose);
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
        if (line.Headless) {
            const bool wasFailing = output.Failing();
            if (!output.Write(Record)) {
                // Nobody reads the lines any more (`chanload --headless | head`):
                // the run's work is done.
                if (output.ReaderGone()) {
                    fail(QStringLiteral("standard output was closed; ending"));
                    main->Exit1Click(nullptr);
                    return;
                }
                if (!wasFailing)
                    fail(output.Error());
            } else if (wasFailing) {
                fail(QStringLiteral("standard output takes lines again"));
            }
        }
        if (!line.LogFile.isEmpty()) {
            const bool wasFailing = log.Failing();
            if (!log.Write(Record)) {
                // The meter goes on; the status line tells until the next
                // tick, standard error once per fault.
                main->StatusBar->showMessage(log.Error());
                if (line.Headless && !wasFailing)
                    fail(log.Error());
            } else if (wasFailing) {
                const QString again = QStringLiteral("The log %1 is written again").arg(log.Name());
                main->StatusBar->showMessage(again);
                if (line.Headless)
                    fail(again);
            }
        }
    });

    // After the window, which has read the settings: METRICS may ask for the
    // endpoint too. Headless, a service asked for metrics it cannot serve
    // ends; the window goes on measuring without them.
    std::unique_ptr<TMeterMetrics> metrics;
    const QString metricsAt = line.Metrics.isEmpty() ? QString::fromStdString(Settings.Metrics) : line.Metrics;
    if (!metricsAt.isEmpty()) {
        metrics = std::make_unique<TMeterMetrics>(main.get());
        if (!metrics->Listen(metricsAt)) {
            if (line.Headless)
                return fail(metrics->Error());
            QString text = metrics->Error();
            text[0] = text[0].toUpper();
            ShowErrorBox(text.toStdString());
            metrics.reset();
        }
    }
    std::unique_ptr<TTerminationSignals> termination;
    if (line.Headless) {
        termination = std::make_unique<TTerminationSignals>([&](int Signal) {
#ifdef SIGHUP
            // SIGHUP: the log was rotated; its name leads to a new file.
            if (Signal == SIGHUP) {
                if (!line.LogFile.isEmpty() && !log.Reopen())
                    fail(log.Error());
                return;
            }
#endif
            (void)Signal;
            main->Exit1Click(nullptr);
        });
    }
    return app.exec();
}
