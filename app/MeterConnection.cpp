// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's one connection to the engine: the first attempt, the
// connect / disconnect / error events, the check at every tick, and the
// decision between trying again and giving up.
#include "meter.h"

#include "AGWUnit.h"
#include "ClientSocket.h"
#include "LabelText.h"

#include <QLabel>
#include <QStatusBar>

#include <cstdio>

void TForm1::connectionStart()
{
    AGWClient = std::make_unique<TAGWPE>(Settings.CallSign);
    AGWPE->Address = Latin1(Settings.IpAddress);
    AGWPE->Port = Settings.TcpPort;
    AGWPE->Open();
    // An engine on this machine has usually accepted by now: monitoring
    // starts at once, before the window is shown.
    AGWPE->DeliverConnectIfMade();
}

void TForm1::AGWPEConnect(QObject* /*Sender*/, TClientSocket* Socket)
{
    // Every radio port gets its ring, so any of them can be the one measured.
    AGWClient->AttachSocket(Socket, 128);
    // Monitoring needs no registered call, and a registered one would make the
    // engine answer connect requests on the air in the meter's name.
    AGWClient->StartMonitoring();
    AnswerPending = true;
    EngineSilent = false;
    changeIcon("GAUGE1");
    for (QLabel* total : {Frames, Bytes, Datas, Usage})
        total->setText(QStringLiteral("0"));
    SampleHistory.fill({0, 0});
    HeardAir = {};
    OwnAir = {};
    StatusBar->showMessage(QStringLiteral("Connected..."));
    EverConnected = true;
    ConnectPending = false;
}

void TForm1::AGWPEDisconnect(QObject* /*Sender*/, TClientSocket* /*Socket*/)
{
    changeIcon("GAUGEX");
    AGWClient->DetachSocket();
    StatusBar->showMessage(QStringLiteral("Disconnected..."));
    giveUpDecision();
}

void TForm1::AGWPEError(QObject* /*Sender*/, TClientSocket* /*Socket*/, int /*ErrorEvent*/, int& ErrorCode)
{
    changeIcon("GAUGEX");
    AGWClient->DetachSocket();
    StatusBar->showMessage(QStringLiteral("Disconnected..."));
    if (giveUpDecision())
        return;
    ErrorCode = 0;
}

bool TForm1::giveUpDecision()
{
    const std::string where = Settings.IpAddress + ":" + IntToStr(Settings.TcpPort);
    if (EverConnected) {
        // Leaving through Exit closes the connection too; that is no failure.
        if (ExitRequested) {
            exitSteps(0);
        } else {
            std::fprintf(stderr, "chanload: the connection to the AGWPE engine at %s was lost\n", where.c_str());
            exitSteps(1);
        }
        return true;
    }
    --RetriesLeft;
    if (RetriesLeft <= 0) {
        std::fprintf(stderr, "chanload: no AGWPE engine answered at %s after %d attempts\n", where.c_str(), MaxAttempts);
        exitSteps(1);
        return true;
    }
    ConnectPending = false;
    return false;
}

void TForm1::CheckTimeTimer(QObject* /*Sender*/)
{
    if (!AGWPE->Active() && !ConnectPending) {
        AGWPE->Open();
        changeIcon("GAUGEX");
        ConnectPending = true;
    }
    if (AGWPE->Active()) {
        checkEngineAlive();
        StatusBar->showMessage(EngineSilent ? QStringLiteral("Connected, engine not answering")
                                            : QStringLiteral("Connected......."));
    } else {
        StatusBar->showMessage(QStringLiteral("Disconnected......................"));
    }
    evaluate();
}

// A stopped engine keeps the connection open and sends nothing, which would
// read as an idle channel: ask for the port list at every tick and notice
// when the last request went unanswered.
void TForm1::checkEngineAlive()
{
    if (AnswerPending) {
        if (!EngineSilent)
            changeIcon("GAUGEX");
        EngineSilent = true;
        return;
    }
    AnswerPending = AGWClient->AskPortInfo();
}

void TForm1::engineAnswered()
{
    AnswerPending = false;
    // Back at once: a tick that came right after the connect may have judged
    // too early, and the status line must not say so for a whole period.
    if (EngineSilent) {
        EngineSilent = false;
        changeIcon(("GAUGE" + std::to_string(LoadClass)).c_str());
        StatusBar->showMessage(QStringLiteral("Connected......."));
    }
}
