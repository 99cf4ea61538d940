// SPDX-License-Identifier: GPL-3.0-or-later
// ChanLoad: measures how busy one packet-radio channel is, as a client of an
// AGWPE-compatible packet engine.
#include "CommandLine.h"
#include "DrawnIconStyle.h"
#include "ErrorBox.h"
#include "PeriodLog.h"
#include "PeriodOutputs.h"
#include "PeriodStore.h"
#include "Pictures.h"
#include "PrivateProfile.h"
#include "SettingsCheck.h"
#include "TerminationSignals.h"
#include "meter.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QStyle>
#include <QThreadPool>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

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
#ifdef Q_OS_WIN
    if (QDir::isAbsolutePath(QFile::decodeName(Path)))
        return Path;
#else
    if (Path.startsWith('/'))
        return Path;
#endif
    return QFile::encodeName(QDir::currentPath()) + '/' + Path;
}

// --export-csv: the stored periods as the CSV log writes them.
int exportCsv(const TCommandLine& Line)
{
    const QString path = HistoryStorePath(Line);
    if (path.isEmpty())
        return TellStandardError(QStringLiteral("--export-csv needs a history store, not --history none"));
    TPeriodStore store;
    if (!store.OpenForReading(path))
        return TellStandardError(store.Error());
    TPeriodLog out;
    if (!out.OpenStandardOutput())
        return TellStandardError(out.Error());
    bool written = true;
    const bool read = store.ForEachPeriod(Line.ExportFrom, Line.ExportTo, [&](const PeriodRecord& Record) {
        written = written && out.Write(Record);
    });
    if (!read)
        return TellStandardError(store.Error());
    return written ? 0 : TellStandardError(out.Error());
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
                TellStandardError(Text);
        });
    }
    if (!line.Headless)
        qtHandler = qInstallMessageHandler(holdMessage);
    QApplication app(argc, argv);
    if (!line.Headless)
        releaseMessages();
    // Qt's raster engine splits a fill of many spans over the global thread
    // pool, which would start a thread per core for the small pictures drawn
    // at start; each thread keeps its stack and malloc arena afterwards. One
    // helper is plenty for this program's drawing.
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    QApplication::setApplicationName(QStringLiteral("ChanLoad"));
    QApplication::setDesktopFileName(QStringLiteral("org.chanload.ChanLoad"));

    if (!line.ConfigFileName.isEmpty())
        SetProfileFileName(absolute(line.ConfigFileName));
    if (QString why; !ProfileFileReadable(why))
        return TellStandardError(QStringLiteral("cannot read the settings file %1: %2").arg(ProfileFilePath(), why));
    // Headless, a value the meter cannot work with ends the run at once; the
    // window goes on as it always did with it, and the note says why.
    for (const SettingsProblem& problem : CheckSettingsFile()) {
        NoteSettingsProblems({problem});
        if (line.Headless && problem.Fatal)
            return 1;
    }

    // A FIFO log whose reader goes is an error where the line is written, not
    // the end of the window.
    TTerminationSignals::IgnoreBrokenPipe();
    TPeriodOutputs outputs(line);
    if (!outputs.OpenLogs())
        return 1;
    if (line.Headless) {
        // No one to click a box away: errors become lines on standard error.
        SetErrorBoxHandler([](const QString& Text) { TellStandardError(Text); });
    } else {
        QApplication::setWindowIcon(LoadIcon("MAINICON"));
        // A style sheet wraps the style itself; the drawn icon is left out then.
        if (app.styleSheet().isEmpty())
            QApplication::setStyle(new TDrawnIconStyle(QApplication::style()->name()));
    }

    auto main = std::make_unique<TForm1>(nullptr, line.Headless);
    main->SetVerbose(line.Verbose);
    if (!outputs.Attach(*main))
        return 1;
    std::unique_ptr<TTerminationSignals> termination;
    if (line.Headless)
        termination = std::make_unique<TTerminationSignals>([&] { main->Exit1Click(nullptr); },
                                                            [&] { outputs.ReopenLog(); });
    return app.exec();
}
