// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterProp.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QEvent>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStyle>

#include <algorithm>
#include <cmath>
#include <string>

#include "Convert.h"
#include "ErrorBox.h"
#include "MessageBox.h"
#include "MeterSettings.h"
#include "ScreenFit.h"
#include "TextRoutines.h"
#include "TrackBar.h"
#include "ui_MeterProp.h"

TForm2* Form2 = nullptr;

namespace {

const QString PropertiesError = QStringLiteral("Properties Error");

// Settings texts are 8-bit strings; widgets hold QString.
QString fromBytes(const std::string& S)
{
    return QString::fromLatin1(S.data(), static_cast<qsizetype>(S.size()));
}

std::string toBytes(const QString& S)
{
    return S.toLatin1().toStdString();
}

// Digits (as DigitsOnly leaves them) to a port number; false when the number
// is 0 or above 65535, however many digits it has.
bool tcpPortFromDigits(const std::string& Digits, int32_t& Port)
{
    int32_t value = 0;
    for (const char c : Digits) {
        value = value * 10 + (c - '0');
        if (value > 65535)
            return false;
    }
    if (value < 1)
        return false;
    Port = value;
    return true;
}

// Wide enough for Sample in the edit's font, with the frame and margins Qt
// adds to its own width of 17 'x', and a blank's room for the cursor after it.
int editWidthFor(const QLineEdit* Edit, const QString& Sample)
{
    const QFontMetrics metrics = Edit->fontMetrics();
    const int overhead = Edit->sizeHint().width() - metrics.horizontalAdvance(QLatin1Char('x')) * 17;
    return metrics.horizontalAdvance(Sample + QLatin1Char(' ')) + std::max(overhead, 0);
}

} // namespace

TForm2::TForm2(QWidget* parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TForm2>())
{
    ui->setupUi(this);
    Label1 = ui->Label1;
    Label2 = ui->Label2;
    Label3 = ui->Label3;
    Label4 = ui->Label4;
    Label5 = ui->Label5;
    LabelP = ui->LabelP;
    IPAddress = ui->IPAddress;
    TCPPort = ui->TCPPort;
    CallSign = ui->CallSign;
    TrackBar1 = ui->TrackBar1;
    Sample = ui->Sample;
    AGWPort = ui->AGWPort;
    ComboBox1 = ui->ComboBox1;
    BitBtn1 = ui->BitBtn1;
    BitBtn2 = ui->BitBtn2;

    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    TrackBar1->SetSelStart(1);
    TrackBar1->SetSelEnd(TrackBar1->value());
    fitFields();
    move(278, 199);

    connect(TrackBar1, &TTrackBar::changedByUser, this, [this] { GuardEvent([this] { TrackBar1Change(TrackBar1); }); });
    connect(BitBtn1, &QPushButton::clicked, this, [this] { GuardEvent([this] { BitBtn1Click(BitBtn1); }); });
    connect(BitBtn2, &QPushButton::clicked, this, [this] { GuardEvent([this] { BitBtn2Click(BitBtn2); }); });

    Form2 = this;
    FormCreate(this);
}

TForm2::~TForm2()
{
    if (Form2 == this)
        Form2 = nullptr;
}

// The fields hold what they are made for whole, in whatever font the desktop gives.
void TForm2::fitFields()
{
    IPAddress->setMinimumWidth(editWidthFor(IPAddress, QStringLiteral("255.255.255.255")));
    TCPPort->setFixedWidth(editWidthFor(TCPPort, QStringLiteral("65535")));
    CallSign->setFixedWidth(editWidthFor(CallSign, QStringLiteral("WWWWWW-15")));
}

void TForm2::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        fitFields();
    QDialog::changeEvent(event);
}

void TForm2::FormCreate(QObject* /*Sender*/)
{
    hide();
    setEnabled(false);
}

void TForm2::ShowSettings(const MeterSettings& S)
{
    // Truncated, not rounded; the label and the selection keep this figure even
    // where the track bar has to limit its position to 1..120.
    const int seconds = static_cast<int>(std::trunc(static_cast<double>(S.SampleMs) / 1000.0));
    TrackBar1->setValue(seconds);
    Sample->setText(QString::number(seconds) + QStringLiteral(" Secs"));
    TrackBar1->SetSelEnd(seconds);
    thumbMoved = false;
    CallSign->setText(fromBytes(S.CallSign));
    TCPPort->setText(fromBytes(IntToStr(S.TcpPort)));
    IPAddress->setText(fromBytes(S.IpAddress));
    AGWPort->setValue(S.AgwPort);
    ComboBox1->setEditText(fromBytes(IntToStr(S.ChannelBps)));

    setEnabled(true);
    if (!isVisible()) {
        // The size its contents need now, on the screen where it last was.
        adjustSize();
        PlaceOnScreen(this, pos());
    }
    show();
    raise();
    activateWindow();
}

void TForm2::TrackBar1Change(QObject* /*Sender*/)
{
    thumbMoved = true;
    Sample->setText(QString::number(TrackBar1->value()) + QStringLiteral(" Secs"));
    TrackBar1->SetSelEnd(TrackBar1->value());
}

void TForm2::BitBtn1Click(QObject* /*Sender*/)
{
    MeterSettings Stored;
    LoadSettings(Stored);

    if (IPAddress->text().isEmpty()) {
        ShowMessageBox(QStringLiteral("IP Address invalid"), PropertiesError);
        return;
    }
    if (TCPPort->text().isEmpty()) {
        ShowMessageBox(QStringLiteral("TCP Port invalid"), PropertiesError);
        return;
    }
    const std::string portDigits = DigitsOnly(toBytes(TCPPort->text()));
    TCPPort->setText(fromBytes(portDigits));
    // A port the socket cannot use would make every later start fail, so it is
    // refused here instead of saved.
    int32_t tcpPort = 0;
    if (!tcpPortFromDigits(portDigits, tcpPort)) {
        ShowMessageBox(QStringLiteral("TCP Port invalid"), PropertiesError);
        return;
    }
    const std::string callSign = toBytes(CallSign->text());
    if (callSign.empty() || callSign.size() >= 10) {
        ShowMessageBox(QStringLiteral("Callsign to register is invalid"), PropertiesError);
        return;
    }
    const std::string ipAddress = toBytes(IPAddress->text());

    if (ipAddress != Stored.IpAddress || tcpPort != Stored.TcpPort || callSign != Stored.CallSign)
        ShowMessageBox(QStringLiteral("Program must be restarted to register changes"), QStringLiteral("Properties Change"));

    MeterSettings New;
    New.IpAddress = ipAddress;
    New.TcpPort = tcpPort;
    New.CallSign = callSign;
    // The thumb holds whole seconds from 1 to 120: a period it cannot show
    // (600000, or 45500 ms) is kept exactly unless the user moved it.
    New.SampleMs = thumbMoved ? TrackBar1->value() * 1000 : Stored.SampleMs;
    New.AgwPort = radioPortFromBox();
    New.ChannelBps = StrToInt(toBytes(ComboBox1->currentText()));

    // The running meter takes both at once, before the save that may fail.
    emit SettingsApplied(New.ChannelBps, New.AgwPort);

    SaveSettings(New);
    putAway();
}

void TForm2::BitBtn2Click(QObject* /*Sender*/)
{
    putAway();
}

void TForm2::putAway()
{
    setEnabled(false);
    hide();
    emit Closed();
}

int32_t TForm2::radioPortFromBox()
{
    // The box corrects its text only when it loses the focus; OK pressed with
    // Enter would otherwise take a typed 0, a port that never carries traffic.
    bool ok = false;
    int port = AGWPort->cleanText().toInt(&ok);
    if (!ok)
        port = 1;
    port = std::clamp(port, AGWPort->minimum(), AGWPort->maximum());
    AGWPort->setValue(port);
    return port;
}

void TForm2::closeEvent(QCloseEvent* event)
{
    // The frame's close control acts as Cancel, so the main window is never
    // left disabled with no dialog to enable it.
    if (isVisible())
        GuardEvent([this] { BitBtn2Click(this); });
    event->accept();
}

void TForm2::reject()
{
    GuardEvent([this] { BitBtn2Click(BitBtn2); });
}
