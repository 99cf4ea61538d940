// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A main window started against a fake engine on loopback, with the end of the
// process and the error boxes caught by the test.
#include "meter.h"

#include "LoopbackPort.h"
#include "QtTestApp.h"

#include <QByteArray>
#include <QLabel>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

void Settle(int ms = 100);

// A frame the program wrote, as QByteArrays.
struct WireFrame {
    uint8_t port;
    char kind;
    QByteArray callFrom, callTo, data;
    QByteArray header; // the 36 bytes as sent
};

// Builds one frame the way engines write it.
QByteArray AgwFrame(uint8_t port, char kind, const QByteArray& data, const QByteArray& callFrom = {}, const QByteArray& callTo = {});

// The data part of a monitored frame as Dire Wolf writes it, with Len info bytes.
QByteArray MonitorData(int radioPort, const QByteArray& description, const QByteArray& info);
QByteArray UiFrame(int radioPort, int infoLen);

class FakeEngine {
public:
    FakeEngine();
    bool Listen();
    // Listens on a port that has refused connections until now.
    bool Listen(RefusingPort& port);
    int Port() const { return server.serverPort(); }
    bool WaitForClient();
    void Send(const QByteArray& bytes);
    void Close();
    int Connections() const { return connections; }
    // The program's end of the connection is still open.
    bool Connected() const { return peer && peer->state() == QAbstractSocket::ConnectedState; }
    // Everything received so far, cut into frames; the bytes after the last whole frame are left.
    std::vector<WireFrame> Frames();
    QByteArray received;
    // Like every engine, answer each port-list request at once.
    bool answerPortList = true;

private:
    void answerRequests();
    size_t answered = 0;
    QTcpServer server;
    QTcpSocket* peer = nullptr;
    int connections = 0;
};

class MeterTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    void WriteIni(const std::map<std::string, std::string>& keys);
    // Creates the main window with the settings written so far.
    void Start();
    // Starts with the engine listening, and waits for the four start requests.
    void StartConnected(std::map<std::string, std::string> keys = {});
    // Sends a port list that names radio port 1 `name` and waits until the
    // window has read it: everything the engine sent before has been read too.
    bool SendMarker(const QByteArray& name);
    void SetTotals(int frames, int bytes, int datas);
    std::vector<std::string> Totals() const;
    std::string Status() const;
    std::string TrayIcon() const;

    QTemporaryDir dir;
    // Where the window connects unless a test says otherwise: nobody listens there.
    RefusingPort refusing;
    FakeEngine engine;
    TForm1* form = nullptr;
    std::vector<int> endStatuses;
    QStringList errorBoxes;
    std::map<std::string, std::string> ini;
};
