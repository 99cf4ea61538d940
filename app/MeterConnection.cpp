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
    AGWClient->Register();
    changeIcon("GAUGE1");
    for (QLabel* total : {Frames, Bytes, Datas, Usage})
        total->setText(QStringLiteral("0"));
    SampleHistory.fill({0, 0});
    StatusBar->showMessage(QStringLiteral("Connected..."));
    EverConnected = true;
    ConnectPending = false;
}

void TForm1::AGWPEDisconnect(QObject* /*Sender*/, TClientSocket* /*Socket*/)
{
    changeIcon("GAUGEX");
    AGWClient->Unregister();
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
    StatusBar->showMessage(AGWPE->Active() ? QStringLiteral("Connected.......")
                                           : QStringLiteral("Disconnected......................"));
    evaluate();
}
