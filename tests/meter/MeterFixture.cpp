#include "MeterFixture.h"

#include "AGWUnit.h"
#include "ErrorBox.h"
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

int ClosedPort()
{
    QTcpServer s;
    s.listen(QHostAddress::LocalHost);
    return s.serverPort();
}

QByteArray AgwFrame(uint8_t port, char kind, const QByteArray& data, const QByteArray& callFrom, const QByteArray& callTo)
{
    QByteArray h(36, '\0');
    h[0] = static_cast<char>(port);
    h[4] = kind;
    h.replace(8, qMin<qsizetype>(callFrom.size(), 10), callFrom.left(10));
    h.replace(18, qMin<qsizetype>(callTo.size(), 10), callTo.left(10));
    const auto len = static_cast<uint32_t>(data.size());
    for (int i = 0; i < 4; ++i)
        h[28 + i] = static_cast<char>((len >> (8 * i)) & 0xff);
    h.resize(36);
    return h + data;
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
            QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] { received += s->readAll(); });
        }
    });
}

bool FakeEngine::Listen(int port)
{
    return server.listen(QHostAddress::LocalHost, static_cast<quint16>(port));
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

std::vector<WireFrame> FakeEngine::Frames()
{
    std::vector<WireFrame> out;
    qsizetype pos = 0;
    while (received.size() - pos >= 36) {
        const QByteArray h = received.mid(pos, 36);
        uint32_t len = 0;
        for (int i = 0; i < 4; ++i)
            len |= static_cast<uint32_t>(static_cast<uint8_t>(h[28 + i])) << (8 * i);
        if (received.size() - pos - 36 < static_cast<qsizetype>(len))
            break;
        WireFrame f{static_cast<uint8_t>(h[0]), h[4], h.mid(8, 10), h.mid(18, 10), received.mid(pos + 36, len), h};
        f.callFrom.truncate(f.callFrom.indexOf('\0') < 0 ? 10 : f.callFrom.indexOf('\0'));
        f.callTo.truncate(f.callTo.indexOf('\0') < 0 ? 10 : f.callTo.indexOf('\0'));
        out.push_back(f);
        pos += 36 + len;
    }
    return out;
}

void MeterTest::SetUp()
{
    EnsureApplication();
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    SetEndProcessHandler([this](int status) { endStatuses.push_back(status); });
    SetErrorBoxHandler([this](const QString& text) { errorBoxes << text; });
    ini = {{"IP_ADDRESS", "127.0.0.1"}, {"TCP_PORT", std::to_string(ClosedPort())}, {"SAMPLE", "600000"}};
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
    QFile f(QDir(dir.path()).filePath("CHANLOAD.INI"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[METER]\n");
    for (const auto& [k, v] : ini)
        f.write(QByteArray::fromStdString(k + "=" + v + "\n"));
}

void MeterTest::Start()
{
    WriteIni({});
    form = new TForm1;
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
