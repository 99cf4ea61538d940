// SPDX-License-Identifier: GPL-3.0-or-later
// ChanLoad: measures how busy one packet-radio channel is, as a client of an
// AGWPE-compatible packet engine.
#include "CommandLine.h"
#include "ErrorBox.h"
#include "MeterMetrics.h"
#include "MeterProp.h"
#include "PeriodLog.h"
#include "Pictures.h"
#include "PrivateProfile.h"
#include "TerminationSignals.h"
#include "meter.h"

#include <QApplication>
#include <QFileInfo>
#include <QStatusBar>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

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
    if (line.Headless) {
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
    if (!log.Notice().isEmpty())
        std::fprintf(stderr, "chanload: %s\n", log.Notice().toLocal8Bit().constData());
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
    QObject::connect(main.get(), &TForm1::PeriodEvaluated, main.get(), [&](const PeriodRecord& Record) {
        if (line.Headless && !output.Write(Record))
            fail(output.Error());
        if (!line.LogFile.isEmpty() && !log.Write(Record)) {
            // The meter goes on; the status line tells until the next tick.
            main->StatusBar->showMessage(log.Error());
            if (line.Headless)
                fail(log.Error());
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

    std::unique_ptr<TForm2> properties;
    std::unique_ptr<TTerminationSignals> termination;
    if (line.Headless)
        termination = std::make_unique<TTerminationSignals>([&](int) { main->Exit1Click(nullptr); });
    else
        properties = std::make_unique<TForm2>();
    return app.exec();
}
