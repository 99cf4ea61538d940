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
}

void TForm1::AGWPEConnect(QObject* /*Sender*/, TClientSocket* Socket)
{
    // Every radio port gets its ring, so any of them can be the one measured.
    AGWClient->AttachSocket(Socket, 128);
    // Monitoring needs no registered call, and a registered one would make the
    // engine answer connect requests on the air in the meter's name.
    // Its 'G' is the first request waiting for an answer.
    forgetEngine();
    if (AGWClient->StartMonitoring())
        RequestsUnanswered = 1;
    // Raw frames carry the has-been-repeated bits the monitor text leaves
    // out; asking for them ('k') registers nothing and transmits nothing.
    AGWClient->AskRawFrames();
    changeIcon("GAUGE1");
    for (QLabel* total : {Frames, Bytes, Datas, Usage})
        total->setText(QStringLiteral("0"));
    SampleHistory.fill({0, 0});
    HeardAir = {};
    OwnAir = {};
    // The gap to the last frame before the connection broke is no gap on the air.
    Preambles.Break();
    StatusBar->showMessage(QStringLiteral("Connected..."));
    EverConnected = true;
    ConnectPending = false;
}

void TForm1::AGWPEDisconnect(QObject* /*Sender*/, TClientSocket* /*Socket*/)
{
    changeIcon("GAUGEX");
    AGWClient->DetachSocket();
    forgetEngine();
    StatusBar->showMessage(QStringLiteral("Disconnected..."));
    giveUpDecision();
}

void TForm1::AGWPEError(QObject* /*Sender*/, TClientSocket* /*Socket*/, int /*ErrorEvent*/, int& ErrorCode)
{
    changeIcon("GAUGEX");
    AGWClient->DetachSocket();
    forgetEngine();
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
        } else if (Settings.Reconnect) {
            // Tried again at every tick, without limit.
            ConnectPending = false;
            return false;
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
        StatusBar->showMessage(connectedText());
    } else {
        StatusBar->showMessage(QStringLiteral("Disconnected......................"));
    }
    evaluate();
}

// A stopped engine keeps the connection open and sends nothing, which would
// read as an idle channel: ask for the port list at every tick and notice
// when the last request went unanswered. One request is out at a time.
void TForm1::checkEngineAlive()
{
    if (RequestsUnanswered > 0) {
        if (!EngineSilent)
            changeIcon("GAUGEX");
        EngineSilent = true;
        return;
    }
    if (AGWClient->AskPortInfo())
        ++RequestsUnanswered;
}

// A port list came (and has been read). It proves the engine alive only as
// the answer to a request: one that comes with no request out answers
// nothing and is not kept for the next request.
void TForm1::portListAnswered()
{
    if (RequestsUnanswered == 0)
        return;
    --RequestsUnanswered;
    const bool wasSilent = EngineSilent;
    EngineSilent = false;
    // Back at once: a tick that came right after the connect may have judged
    // too early, and the status line must not say so for a whole period.
    if (noRadioPort()) {
        changeIcon("GAUGEX");
        StatusBar->showMessage(connectedText());
    } else if (wasSilent) {
        changeIcon(("GAUGE" + std::to_string(LoadClass)).c_str());
        StatusBar->showMessage(connectedText());
    }
}

void TForm1::forgetEngine()
{
    RequestsUnanswered = 0;
    EngineSilent = false;
    PeriodStartedSilent = false;
}

bool TForm1::noRadioPort() const
{
    return AGWClient && AGWClient->ListedPorts >= 0 && AGWClient->ListedPorts < LabelValue(PortMon);
}

QString TForm1::connectedText() const
{
    if (EngineSilent)
        return QStringLiteral("Connected, engine not answering");
    if (noRadioPort())
        return QStringLiteral("Connected, no radio port %1 on this engine").arg(LabelValue(PortMon));
    return QStringLiteral("Connected.......");
}

EngineState TForm1::engineState() const
{
    if (!AGWPE->Active())
        return EngineState::Disconnected;
    if (EngineSilent)
        return EngineState::Silent;
    if (noRadioPort())
        return EngineState::NoPort;
    return EngineState::Answering;
}

void TForm1::reportEngineState(EngineState State)
{
    if (State == ReportedState)
        return;
    ReportedState = State;
    if (!Headless)
        return;
    const std::string where = Settings.IpAddress + ":" + IntToStr(Settings.TcpPort);
    switch (State) {
    case EngineState::Answering:
        std::fprintf(stderr, "chanload: the engine at %s is answering\n", where.c_str());
        break;
    case EngineState::Silent:
        std::fprintf(stderr, "chanload: the engine at %s is not answering\n", where.c_str());
        break;
    case EngineState::Disconnected:
        std::fprintf(stderr, "chanload: no connection to the engine at %s\n", where.c_str());
        break;
    case EngineState::NoPort:
        std::fprintf(stderr, "chanload: no radio port %d on the engine at %s\n", LabelValue(PortMon), where.c_str());
        break;
    }
}
