// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "AGWUnit.h"
#include "AgwWire.h"
#include "ErrorBox.h"
#include "HistoryPane.h"
#include "NotifyIcon.h"
#include "Process.h"
#include "QtTestApp.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStatusBar>

void Settle(int ms)
{
    WaitFor([] { return false; }, ms);
}

namespace {

std::string_view view(const QByteArray& bytes)
{
    return {bytes.constData(), static_cast<size_t>(bytes.size())};
}

QByteArray bytesOf(const std::string& s)
{
    return QByteArray(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

QByteArray AgwFrame(uint8_t port, char kind, const QByteArray& data, const QByteArray& callFrom, const QByteArray& callTo)
{
    return bytesOf(agw::frame(port, kind, view(callFrom), view(callTo), view(data)));
}

QByteArray MonitorData(int radioPort, const QByteArray& description, const QByteArray& info)
{
    return " " + QByteArray::number(radioPort) + ":Fm N0CALL-1 To APRS Via WIDE1-1 <" + description + ">[19:29:58]\r" + info
        + QByteArray("\r\0", 2);
}

QByteArray UiFrame(int radioPort, int infoLen)
{
    const QByteArray info(infoLen, 'x');
    return AgwFrame(static_cast<uint8_t>(radioPort - 1), 'U',
        MonitorData(radioPort, "UI pid=F0 Len=" + QByteArray::number(infoLen) + " PF=0 ", info), "N0CALL-1", "APRS");
}

FakeEngine::FakeEngine()
{
    QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
        while (QTcpSocket* s = server.nextPendingConnection()) {
            ++connections;
            peer = s;
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
                received += s->readAll();
                answerRequests();
            });
        }
    });
}

bool FakeEngine::Listen()
{
    return server.listen(QHostAddress::LocalHost);
}

bool FakeEngine::Listen(RefusingPort& port)
{
    const int fd = port.listenAndRelease();
    return fd >= 0 && server.setSocketDescriptor(fd);
}

bool FakeEngine::WaitForClient()
{
    return WaitFor([this] { return peer != nullptr; });
}

void FakeEngine::Send(const QByteArray& bytes)
{
    peer->write(bytes);
    peer->flush();
}

void FakeEngine::Close()
{
    if (peer)
        peer->close();
}

void FakeEngine::answerRequests()
{
    const std::vector<WireFrame> frames = Frames();
    for (; answered < frames.size(); ++answered) {
        if (answerPortList && frames[answered].kind == 'G')
            Send(AgwFrame(0, 'G', QByteArray("1;Port1 fake engine;\0", 22)));
    }
}

std::vector<WireFrame> FakeEngine::Frames()
{
    std::vector<WireFrame> out;
    for (const agw::Frame& f : agw::frames(view(received)))
        out.push_back({f.port, f.kind, bytesOf(f.callFrom), bytesOf(f.callTo), bytesOf(f.data), bytesOf(f.header)});
    return out;
}

void MeterTest::SetUp()
{
    EnsureApplication();
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    SetEndProcessHandler([this](int status) { endStatuses.push_back(status); });
    SetErrorBoxHandler([this](const QString& text) { errorBoxes << text; });
    ini = {{"IP_ADDRESS", "127.0.0.1"}, {"TCP_PORT", std::to_string(refusing.number())}, {"SAMPLE", "600000"}};
}

void MeterTest::TearDown()
{
    delete form;
    form = nullptr;
    SetEndProcessHandler(nullptr);
    SetErrorBoxHandler(nullptr);
}

void MeterTest::WriteIni(const std::map<std::string, std::string>& keys)
{
    for (const auto& [k, v] : keys)
        ini[k] = v;
    ASSERT_TRUE(QDir(dir.path()).mkpath("chanload"));
    QFile f(QDir(dir.path()).filePath("chanload/CHANLOAD.INI"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[METER]\n");
    for (const auto& [k, v] : ini)
        f.write(QByteArray::fromStdString(k + "=" + v + "\n"));
}

void MeterTest::Start()
{
    WriteIni({});
    form = new TForm1;
    form->SetHistoryFactory(&MakeHistoryWindow);
}

void MeterTest::StartConnected(std::map<std::string, std::string> keys)
{
    ASSERT_TRUE(engine.Listen());
    keys["TCP_PORT"] = std::to_string(engine.Port());
    WriteIni(keys);
    Start();
    ASSERT_TRUE(engine.WaitForClient());
    ASSERT_TRUE(WaitFor([this] { return engine.Frames().size() >= 4; }));
    ASSERT_TRUE(EverConnected);
}

bool MeterTest::SendMarker(const QByteArray& name)
{
    engine.Send(AgwFrame(0, 'G', "1;" + name + ";" + QByteArray(1, '\0')));
    const std::string wanted = name.toStdString();
    return WaitFor([&] { return AGWClient && AGWClient->Ports[0] && AGWClient->Ports[0]->Description == wanted; });
}

void MeterTest::SetTotals(int frames, int bytes, int datas)
{
    form->Frames->setText(QString::number(frames));
    form->Bytes->setText(QString::number(bytes));
    form->Datas->setText(QString::number(datas));
}

std::vector<std::string> MeterTest::Totals() const
{
    return {form->Frames->text().toStdString(), form->Bytes->text().toStdString(), form->Datas->text().toStdString()};
}

std::string MeterTest::Status() const
{
    return form->StatusBar->currentMessage().toStdString();
}

std::string MeterTest::TrayIcon() const
{
    const auto icon = CurrentNotifyIcon();
    return icon ? icon->Icon : "(none)";
}
