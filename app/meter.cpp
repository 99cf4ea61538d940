// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's wiring: controls, look, start-up, menus and the way out.
#include "meter.h"

#include "ui_meter.h"

#include "AGWUnit.h"
#include "AboutDlg.h"
#include "AccessibleLabel.h"
#include "ClientSocket.h"
#include "ErrorBox.h"
#include "Gauge.h"
#include "Modules.h"
#include "LabelText.h"
#include "MeterProp.h"
#include "Pictures.h"
#include "Process.h"
#include "ScreenFit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QLayout>
#include <QMouseEvent>
#include <QMenu>
#include <QScreen>
#include <QPalette>
#include <QStatusBar>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <cstring>

TForm1* Form1 = nullptr;
MeterSettings Settings;
std::unique_ptr<TAGWPE> AGWClient;
bool EverConnected = false;
int32_t RetriesLeft = 12;
bool ConnectPending = false;
SampleRing SampleHistory{};

TForm1::TForm1(QWidget* parent, bool Headless)
    : QMainWindow(parent), Headless(Headless), ui(std::make_unique<Ui::TForm1>())
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
    delete HistoryForm;
    if (AGWClient)
        AGWClient->DetachSocket();
    if (Form1 == this)
        Form1 = nullptr;
}

void TForm1::setupLook()
{
    setWindowIcon(LoadIcon("MAINICON"));
    applyFonts();
    // Red and blue as designed, lighter where the theme is dark so they stay
    // readable. Set in the palette: a style sheet would cost a style of its own.
    const bool dark = palette().color(QPalette::Window).lightness() < 128;
    const auto colour = [](QLabel* Label, const QColor& Text) {
        QPalette p = Label->palette();
        p.setColor(QPalette::WindowText, Text);
        Label->setPalette(p);
    };
    const QColor red = dark ? QColor(0xff, 0x70, 0x70) : QColor(0xd0, 0x10, 0x10);
    const QColor blue = dark ? QColor(0x80, 0xb0, 0xff) : QColor(0x10, 0x40, 0xd0);
    colour(PortMon, red);
    colour(BW, blue);
    colour(Label8, blue);

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
    ImageBar->setToolTip(QStringLiteral("Double-click for the history"));
    ImageBar->installEventFilter(this);
    Gauge->setAccessibleName(QStringLiteral("Efficiency"));
    Traffic->setAccessibleName(QStringLiteral("Usage"));

    // The window takes the size its contents need, and follows them when the
    // desktop's font changes; the user cannot resize it.
    layout()->setSizeConstraint(QLayout::SetFixedSize);
}

// The designed faces at the desktop's size: "MS Sans Serif" (any sans serif
// where it is missing) at the desktop's point size, never below the designed
// 8, and the values in a bold fixed-pitch face 2 points larger.
void TForm1::applyFonts()
{
    const qreal size = std::max<qreal>(8, QApplication::font().pointSizeF());
    QFont face(QStringLiteral("MS Sans Serif"));
    face.setPointSizeF(size);
    face.setStyleHint(QFont::SansSerif);
    setFont(face);

    QFont fixed(QStringLiteral("Courier New"));
    fixed.setPointSizeF(size + 2);
    fixed.setBold(true);
    fixed.setStyleHint(QFont::TypeWriter);
    // These two show whole numbers only. In a fixed-pitch face every figure
    // has the same width and nothing kerns them, so shaping would place them
    // just the same; without it Qt does not load the face's shaping tables.
    fixed.setStyleStrategy(QFont::PreferNoShaping);
    for (QLabel* l : {PortMon, BW})
        l->setFont(fixed);
    QFont heading = face;
    heading.setBold(true);
    heading.setUnderline(true);
    Label8->setFont(heading);

    // Room for the widest value each can show, so that the window keeps its
    // size from period to period, and a new total within it does not lay the
    // window out again.
    const auto roomFor = [](QLabel* Label, const QString& Widest) {
        static_cast<TValueLabel*>(Label)->ReserveRoomFor(Widest);
    };
    roomFor(PortMon, QStringLiteral("128"));
    roomFor(BW, QStringLiteral("000000"));
    roomFor(AvgLoad, QStringLiteral("100%"));
    for (QLabel* total : {Frames, Bytes, Datas})
        roomFor(total, QStringLiteral("0000000"));
    roomFor(Usage, QStringLiteral("100%"));
}

// Drawn for the screen's pixel ratio, and drawn again when the window moves to
// a screen with another one, so the pictures stay sharp. Each class's picture
// is drawn when it is first shown: on a quiet channel the three others, their
// pixels and Qt's colour tables for their gradients, are never needed.
void TForm1::renderPictures()
{
    for (QLabel* picture : {Image1, Image2, Image3, Image4})
        picture->setPixmap(QPixmap());
    ImageBar->setPixmap(loadClassPicture(LoadClass));
}

QPixmap TForm1::loadClassPicture(int Class)
{
    QLabel* const pictures[] = {Image1, Image2, Image3, Image4};
    QLabel* const holder = pictures[Class - 1];
    if (holder->pixmap().isNull())
        holder->setPixmap(ThermometerPicture(Class, devicePixelRatioF()));
    return holder->pixmap();
}

bool TForm1::event(QEvent* e)
{
    if (e->type() == TrayMessageEvent::eventType()) {
        const auto* tray = static_cast<TrayMessageEvent*>(e);
        GuardEvent([&] { TrayIconMessage(tray->LParam); });
        return true;
    }
    // A new desktop font: the window takes its size again.
    if (e->type() == QEvent::ApplicationFontChange)
        applyFonts();
    // The status line belongs to the connection; menu hovering must not clear it.
    if (e->type() == QEvent::StatusTip)
        return true;
    return QMainWindow::event(e);
}

void TForm1::FormCreate(QObject* /*Sender*/)
{
    setEnabled(true);
    LoadSettings(Settings);
    ArrivalClock.start();
    SetLabelValue(BW, Settings.ChannelBps);
    SetLabelValue(PortMon, Settings.AgwPort);
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

    for (QLabel* total : {Datas, Bytes, Frames, Usage})
        total->setText(QStringLiteral("0"));
    AvgLoad->setText(QStringLiteral("0%"));

    // The attempt starts before the window and the icon are made; an engine
    // that has accepted already gets its requests before them.
    connectionStart();

    // Without a display the same window does the same work, unseen.
    if (!Headless) {
        // Where it was designed to open, as far as the screen allows.
        adjustSize();
        PlaceOnScreen(this, pos());
        show();
        connect(windowHandle(), &QWindow::screenChanged, this, &TForm1::renderPictures, Qt::UniqueConnection);
    }
    renderPictures();
    if (!Headless)
        Shell_NotifyIcon(NIM_ADD, TrayIconRecord);
}

void TForm1::closeEvent(QCloseEvent* e)
{
    // Qt would go on running for the history window, with the tray icon and
    // no way back to this one: end as the Exit command does.
    if (HistoryForm && HistoryForm->isVisible()) {
        e->accept();
        GuardEvent([&] { Exit1Click(Exit1); });
        return;
    }
    QMainWindow::closeEvent(e);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e)
{
    if (watched == ImageBar && e->type() == QEvent::MouseButtonDblClick
        && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton) {
        GuardEvent([&] { OpenHistory(); });
        return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

void TForm1::TrayIconMessage(int MouseMessage)
{
    if (MouseMessage == WM_LBUTTONDBLCLK) {
        OpenHistory();
        return;
    }
    if (MouseMessage != WM_RBUTTONDOWN)
        return;
    raise();
    activateWindow();
    PopUp->popup(QCursor::pos());
}

// No parent: the window stays usable while the Properties dialog has disabled
// this one, as the icon's menu does.
void TForm1::OpenHistory()
{
    if (!HistoryForm) {
        if (!HistoryMaker) {
            QString why;
            HistoryMaker = DefaultHistoryFactory(why);
            if (!HistoryMaker) {
                ShowErrorBox("The history window cannot be opened: " + why.toStdString());
                return;
            }
        }
        HistoryForm = HistoryMaker({Periods, HistoryStore, Tally, [this] { return LabelValue(PortMon); }});
        connect(this, &TForm1::PeriodEvaluated, HistoryForm, &THistoryPane::PeriodAdded);
        emit HistoryOpened(HistoryForm);
    }
    HistoryForm->show();
    HistoryForm->raise();
    HistoryForm->activateWindow();
}

void TForm1::RestoreHistory(const std::vector<PeriodRecord>& Records)
{
    for (const PeriodRecord& r : Records)
        Periods.Add(r);
}

void TForm1::Properties1Click(QObject* /*Sender*/)
{
    setEnabled(false);
    // The dialog shows the file as it is now. TXDELAY and TXTAIL are not in
    // it, and the running meter keeps what it read at start: a value edited
    // in the file meanwhile would otherwise change the airtime unannounced
    // (and a key added would end the learning) on opening a dialog that does
    // not show it. They apply at the next start, like the address.
    const MeterSettings running = Settings;
    try {
        LoadSettings(Settings);
    } catch (...) {
        Settings = running;
        // Nothing else would ever enable the window again.
        setEnabled(true);
        throw;
    }
    Settings.TxDelayMs = running.TxDelayMs;
    Settings.TxTailMs = running.TxTailMs;
    Settings.TxDelaySet = running.TxDelaySet;
    Settings.TxTailSet = running.TxTailSet;
    // Made when first wanted: most runs never open it.
    if (!Form2)
        OwnProperties = std::make_unique<TForm2>();
    // The dialog reports what the user accepted; the window updates itself.
    connect(Form2, &TForm2::SettingsApplied, this, &TForm1::applySettings, Qt::UniqueConnection);
    connect(Form2, &TForm2::Closed, this, &TForm1::takeBackInput, Qt::UniqueConnection);
    Form2->ShowSettings(Settings);
}

void TForm1::applySettings(int32_t ChannelBps, int32_t AgwPort)
{
    // The running meter reads both back from these labels, so they apply now.
    SetLabelValue(BW, ChannelBps);
    SetLabelValue(PortMon, AgwPort);
}

void TForm1::takeBackInput()
{
    setEnabled(true);
    activateWindow();
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
