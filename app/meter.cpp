#include "meter.h"

#include "ui_meter.h"

#include "AGWUnit.h"
#include "AboutDlg.h"
#include "AccessibleLabel.h"
#include "ClientSocket.h"
#include "Convert.h"
#include "ErrorBox.h"
#include "Gauge.h"
#include "MeterProp.h"
#include "Pictures.h"
#include "PrivateProfile.h"
#include "Process.h"
#include "TextRoutines.h"

#include <QCursor>
#include <QMenu>
#include <QPalette>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QScreen>
#include <QWindow>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

TForm1* Form1 = nullptr;
MeterSettings Settings;
std::unique_ptr<TAGWPE> AGWClient;
bool EverConnected = false;
int32_t RetriesLeft = 12;
bool ConnectPending = false;
std::array<SampleEntry, 10> SampleHistory{};

namespace {

const char* const Section = "METER";
constexpr int MaxAttempts = 12;

QString latin1(const std::string& s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

std::string bytesOf(const QString& s)
{
    return s.toLatin1().toStdString();
}

int32_t valueOf(const QLabel* label)
{
    return StrToInt(bytesOf(label->text()));
}

// Percentages are computed in floating point and truncated toward zero.
int64_t truncated(long double x)
{
    return static_cast<int64_t>(std::trunc(x));
}

} // namespace

void LoadSettings(MeterSettings& S)
{
    S.IpAddress = GetPrivateProfileString(Section, "IP_ADDRESS", "127.0.0.1");
    S.TcpPort = StrToInt(GetPrivateProfileString(Section, "TCP_PORT", "8000"));
    S.AgwPort = StrToInt(GetPrivateProfileString(Section, "AGW_PORT", "1"));
    S.SampleMs = StrToInt(GetPrivateProfileString(Section, "SAMPLE", "30000"));
    S.ChannelBps = StrToInt(GetPrivateProfileString(Section, "BW", "1200"));
    S.CallSign = GetPrivateProfileString(Section, "CALLSIGN", "NOBODY-2");
}

void SaveSettings(const MeterSettings& S)
{
    WritePrivateProfileStrings(Section, {
        {"IP_ADDRESS", S.IpAddress},
        {"TCP_PORT", IntToStr(S.TcpPort)},
        {"AGW_Port", IntToStr(S.AgwPort)},
        {"SAMPLE", IntToStr(S.SampleMs)},
        {"BW", IntToStr(S.ChannelBps)},
        {"CALLSIGN", S.CallSign},
    });
}

TForm1::TForm1(QWidget* parent)
    : QMainWindow(parent), ui(std::make_unique<Ui::TForm1>())
{
    ui->setupUi(this);
    Label1 = ui->Label1; Label2 = ui->Label2; Label3 = ui->Label3; Label4 = ui->Label4;
    Label5 = ui->Label5; Label6 = ui->Label6; Label7 = ui->Label7; Label8 = ui->Label8; Label9 = ui->Label9;
    PortMon = ui->PortMon; BW = ui->BW; AvgLoad = ui->AvgLoad;
    Frames = ui->Frames; Bytes = ui->Bytes; Datas = ui->Datas; Usage = ui->Usage;
    ImageBar = ui->ImageBar; Image1 = ui->Image1; Image2 = ui->Image2; Image3 = ui->Image3; Image4 = ui->Image4;
    Gauge = ui->Gauge; Traffic = ui->Traffic; Bevel1 = ui->Bevel1; StatusBar = ui->StatusBar;
    MainMenu1 = ui->MainMenu1; File1 = ui->File1; Help1 = ui->Help1;
    Properties1 = ui->Properties1; About1 = ui->About1; Exit1 = ui->Exit1;
    Properties2 = ui->Properties2; Exit2 = ui->Exit2; About2 = ui->About2;

    setupLook();

    // The icon's menu has no parent window: it must keep working while the
    // main window is disabled by the Properties dialog.
    PopUp = new QMenu();
    PopUp->addAction(Properties1);
    PopUp->addAction(About1);
    PopUp->addAction(Exit1);

    CheckTime = new QTimer(this);
    CheckTime->setInterval(10000);
    CheckTime->start();
    connect(CheckTime, &QTimer::timeout, this, [this] { GuardEvent([&] { CheckTimeTimer(CheckTime); }); });

    AGWPE = new TClientSocket(this);
    AGWPE->OnConnect = [this](TClientSocket* s) { AGWPEConnect(AGWPE, s); };
    AGWPE->OnRead = [this](TClientSocket* s) { AGWPERead(AGWPE, s); };
    AGWPE->OnDisconnect = [this](TClientSocket* s) { AGWPEDisconnect(AGWPE, s); };
    AGWPE->OnError = [this](TClientSocket* s, TErrorEvent e, int& code) { AGWPEError(AGWPE, s, static_cast<int>(e), code); };

    const auto onTriggered = [this](QAction* action, void (TForm1::*handler)(QObject*)) {
        connect(action, &QAction::triggered, this, [this, action, handler] { GuardEvent([&] { (this->*handler)(action); }); });
    };
    onTriggered(Properties1, &TForm1::Properties1Click);
    onTriggered(About1, &TForm1::About1Click);
    onTriggered(Exit1, &TForm1::Exit1Click);
    onTriggered(Properties2, &TForm1::Properties2Click);
    onTriggered(About2, &TForm1::About2Click);
    onTriggered(Exit2, &TForm1::Exit2Click);
    connect(File1, &QMenu::aboutToShow, this, [this] { GuardEvent([&] { File1Click(File1); }); });

    AboutDlg1 = new TAboutDlg(this);
    FillMainAboutDlg(AboutDlg1);

    Form1 = this;
    // A start-up that stops on a bad setting would leave a window with no
    // engine and a timer raising an error at every tick: report it and end.
    try {
        FormCreate(this);
    } catch (const std::exception& e) {
        ShowErrorBox(e.what());
        EndProcess(1);
    }
}

TForm1::~TForm1()
{
    delete PopUp;
    if (AGWClient)
        AGWClient->DetachSocket();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::setupLook()
{
    setWindowIcon(LoadIcon("MAINICON"));
    QFont face(QStringLiteral("MS Sans Serif"), 8);
    face.setStyleHint(QFont::SansSerif);
    setFont(face);

    QFont fixed(QStringLiteral("Courier New"), 10, QFont::Bold);
    fixed.setStyleHint(QFont::TypeWriter);
    for (QLabel* l : {PortMon, BW})
        l->setFont(fixed);
    // Red and blue as designed, lighter where the theme is dark so they stay readable.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    const QString red = dark ? QStringLiteral("color: #ff7070;") : QStringLiteral("color: #d01010;");
    const QString blue = dark ? QStringLiteral("color: #80b0ff;") : QStringLiteral("color: #1040d0;");
    PortMon->setStyleSheet(red);
    BW->setStyleSheet(blue);
    QFont heading = font();
    heading.setBold(true);
    heading.setUnderline(true);
    Label8->setFont(heading);
    Label8->setStyleSheet(blue);

    // What a screen reader says for each live value.
    MarkValueLabel(PortMon, QStringLiteral("Monitoring port"));
    MarkValueLabel(BW, QStringLiteral("Channel bit rate"));
    MarkValueLabel(ImageBar, QStringLiteral("Load class"));
    MarkValueLabel(AvgLoad, QStringLiteral("Load"));
    MarkValueLabel(Frames, QStringLiteral("Frames"));
    MarkValueLabel(Bytes, QStringLiteral("Bytes"));
    MarkValueLabel(Datas, QStringLiteral("Data bytes"));
    MarkValueLabel(Usage, QStringLiteral("Traffic"));
    ImageBar->setAccessibleDescription(QStringLiteral("1 of 4"));
    Gauge->setAccessibleName(QStringLiteral("Efficiency"));
    Traffic->setAccessibleName(QStringLiteral("Usage"));

    // The controls sit where they were designed; the window fits around them.
    centralWidget()->setMinimumSize(ui->ClientArea->size());
    setFixedSize(sizeHint());
}

// Drawn for the screen's pixel ratio, and drawn again when the window moves to
// a screen with another one, so the pictures stay sharp.
void TForm1::renderPictures()
{
    const qreal dpr = devicePixelRatioF();
    QLabel* const pictures[] = {Image1, Image2, Image3, Image4};
    for (int i = 0; i < 4; ++i)
        pictures[i]->setPixmap(ThermometerPicture(i + 1, dpr));
    ImageBar->setPixmap(pictures[LoadClass - 1]->pixmap());
}

bool TForm1::event(QEvent* e)
{
    if (e->type() == TrayMessageEvent::eventType()) {
        const auto* tray = static_cast<TrayMessageEvent*>(e);
        GuardEvent([&] { TrayIconMessage(tray->LParam); });
        return true;
    }
    // The status line belongs to the connection; menu hovering must not clear it.
    if (e->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(e);
}

void TForm1::FormCreate(QObject* /*Sender*/)
{
    setEnabled(true);
    show();
    connect(windowHandle(), &QWindow::screenChanged, this, &TForm1::renderPictures, Qt::UniqueConnection);
    renderPictures();
    LoadSettings(Settings);
    BW->setText(latin1(IntToStr(Settings.ChannelBps)));
    PortMon->setText(latin1(IntToStr(Settings.AgwPort)));
    StatusBar->showMessage(QStringLiteral("Initializing....."));
    EverConnected = false;
    RetriesLeft = MaxAttempts;
    ConnectPending = false;
    CheckTime->start();
    // A period of 0 or less means no tick at all (Qt would fire continuously).
    if (Settings.SampleMs > 0)
        CheckTime->setInterval(Settings.SampleMs);
    else
        CheckTime->stop();

    TrayIconRecord = {};
    TrayIconRecord.cbSize = 88;
    TrayIconRecord.Wnd = this;
    TrayIconRecord.uID = 1998;
    TrayIconRecord.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconRecord.uCallbackMessage = WM_USER + 1998;
    TrayIconRecord.Icon = "GAUGEX";
    const char tip[] = "ChanLoad Version 0.1b";
    std::memcpy(TrayIconRecord.szTip.data(), tip, sizeof tip);
    Shell_NotifyIcon(NIM_ADD, TrayIconRecord);

    for (QLabel* total : {Datas, Bytes, Frames, Usage})
        total->setText(QStringLiteral("0"));
    AvgLoad->setText(QStringLiteral("0%"));

    connectionStart();
}

void TForm1::connectionStart()
{
    AGWClient = std::make_unique<TAGWPE>(Settings.CallSign);
    AGWClient->ServerPort = Settings.TcpPort;
    AGWClient->ServerAddress = Settings.IpAddress;
    AGWPE->Address = latin1(AGWClient->ServerAddress);
    AGWPE->Port = AGWClient->ServerPort;
    AGWPE->Open();
}

void TForm1::changeIcon(const char* Name)
{
    TrayIconRecord.uFlags = NIF_ICON;
    TrayIconRecord.Icon = Name;
    Shell_NotifyIcon(NIM_MODIFY, TrayIconRecord);
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

void TForm1::AGWPERead(QObject* /*Sender*/, TClientSocket* Socket)
{
    AGWClient->ReceiveBytes(Socket->ReceiveText());
    // A full ring stops the cutting; whatever waits is cut once the rings are drained.
    while (drainRings() > 0)
        AGWClient->ReceiveBytes(std::string());
}

int TForm1::drainRings()
{
    int taken = 0;
    char Kind = '\0';
    std::string CallFrom, CallTo, Data;
    int32_t DataLen = 0;
    for (int index = 0; index < AGWClient->PortCount; ++index) {
        if (!AGWClient->Ports[index])
            continue;
        uint8_t Port = static_cast<uint8_t>(index);
        while (AGWClient->NextFrame(Port, Kind, CallFrom, CallTo, DataLen, Data)) {
            ++taken;
            handleFrame(Port, Kind, Data);
            Port = static_cast<uint8_t>(index);
        }
    }
    return taken;
}

void TForm1::handleFrame(uint8_t Port, char Kind, const std::string& Data)
{
    switch (Kind) {
    case 'I':
    case 'S':
    case 'U': {
        MonitorHeader header;
        // An unreadable header is the peer's fault: skip the frame, no box.
        if (!AGWClient->ParseMonitorHeader(Data, header))
            return;
        if (DigitsOnly(header.PortText) != bytesOf(PortMon->text()))
            return;
        const int64_t infoLen = static_cast<uint32_t>(header.InfoLen);
        addToTotal(Frames, 1);
        addToTotal(Bytes, infoLen + 19);
        addToTotal(Datas, infoLen);
        break;
    }
    case 'G':
        AGWClient->ParsePortInfo(Port, Data);
        break;
    case 'g':
        AGWClient->ParsePortCapabilities(Port, Data);
        break;
    default:
        break;
    }
}

void TForm1::addToTotal(QLabel* Total, int64_t Amount)
{
    // A total stays at the largest value that reads back, instead of becoming
    // a text that fails to convert at every following frame and tick.
    const int64_t sum = std::min<int64_t>(int64_t{valueOf(Total)} + Amount, std::numeric_limits<int32_t>::max());
    Total->setText(latin1(IntToStr(sum)));
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

void TForm1::evaluate()
{
    const int64_t period = std::max(CheckTime->interval(), 1000);
    const long double seconds = static_cast<long double>(period) / 1000.0L;

    const int64_t rate = valueOf(BW);
    const int64_t capacity = truncated(static_cast<long double>(rate) * seconds / 10.0L);
    if (capacity == 0)
        return;

    const int64_t bytes = valueOf(Bytes);
    int64_t usage = truncated(static_cast<long double>(bytes * 100) / static_cast<long double>(capacity));
    usage = std::min<int64_t>(usage, 100);

    std::copy_backward(SampleHistory.begin(), SampleHistory.end() - 1, SampleHistory.end());
    SampleHistory[0] = {valueOf(Bytes), valueOf(Datas)};
    int64_t byteSum = 0, dataSum = 0;
    for (const SampleEntry& e : SampleHistory) {
        byteSum += e.Bytes;
        dataSum += e.Datas;
    }
    const int64_t efficiency =
        byteSum == 0 ? 0 : truncated(static_cast<long double>(dataSum * 100) / static_cast<long double>(byteSum));

    const int64_t rateAgain = valueOf(BW);
    int64_t load = truncated(static_cast<long double>(byteSum * 1000) /
                             (static_cast<long double>(rateAgain * 10) * seconds));
    load = std::min<int64_t>(load, 100);

    AvgLoad->setText(latin1(IntToStr(load) + "%"));
    Usage->setText(latin1(IntToStr(usage) + "%"));
    Gauge->setValue(static_cast<int>(std::clamp<int64_t>(efficiency, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())));
    // The bar ignores values outside its range; a negative usage shows as empty.
    Traffic->setValue(static_cast<int>(std::max<int64_t>(usage, 0)));

    TrayIconRecord.uFlags = NIF_ICON;
    if (load >= 0) {
        LoadClass = load < 25 ? 1 : load < 50 ? 2 : load < 75 ? 3 : 4;
        QLabel* const pictures[] = {Image1, Image2, Image3, Image4};
        TrayIconRecord.Icon = "GAUGE" + std::to_string(LoadClass);
        ImageBar->setPixmap(pictures[LoadClass - 1]->pixmap());
        ImageBar->setAccessibleDescription(QStringLiteral("%1 of 4").arg(LoadClass));
    }
    Shell_NotifyIcon(NIM_MODIFY, TrayIconRecord);

    for (QLabel* total : {Frames, Bytes, Datas})
        total->setText(QStringLiteral("0"));
}

void TForm1::TrayIconMessage(int MouseMessage)
{
    if (MouseMessage != WM_RBUTTONDOWN)
        return;
    raise();
    activateWindow();
    PopUp->popup(QCursor::pos());
}

void TForm1::Properties1Click(QObject* /*Sender*/)
{
    setEnabled(false);
    try {
        LoadSettings(Settings);
    } catch (...) {
        // Nothing else would ever enable the window again.
        setEnabled(true);
        throw;
    }
    Form2->ShowSettings(Settings);
}

void TForm1::About1Click(QObject* /*Sender*/)
{
    AboutDlg1->ShowAboutBox();
}

void TForm1::Exit1Click(QObject* /*Sender*/)
{
    ExitRequested = true;
    exitSteps(0);
}

void TForm1::exitSteps(int Status)
{
    CheckTime->stop();
    AGWPE->Close();
    Shell_NotifyIcon(NIM_DELETE, TrayIconRecord);
    EndProcess(Status);
}

void TForm1::File1Click(QObject* /*Sender*/) {}

void TForm1::Properties2Click(QObject* Sender)
{
    Properties1Click(Sender);
}

void TForm1::About2Click(QObject* Sender)
{
    About1Click(Sender);
}

void TForm1::Exit2Click(QObject* Sender)
{
    Exit1Click(Sender);
}
