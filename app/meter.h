#pragma once
// The meter unit: the main window, its unit-level state, and the settings file.
#include <QMainWindow>

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "NotifyIcon.h"

class QAction;
class QFrame;
class QLabel;
class QMenu;
class QMenuBar;
class QProgressBar;
class QStatusBar;
class QTimer;
class TAGWPE;
class TAboutDlg;
class TClientSocket;
class TGauge;
namespace Ui {
class TForm1;
}

struct MeterSettings {
    std::string IpAddress;
    int32_t TcpPort, AgwPort, SampleMs, ChannelBps;
    std::string CallSign;
};

// Reads the six keys of section METER (defaults for missing ones). A value that
// is not an integer throws EConvertError; the fields before it are already set.
void LoadSettings(MeterSettings& S);
// Writes the six keys; a refused write throws EIniFileException.
void SaveSettings(const MeterSettings& S);

struct SampleEntry {
    int32_t Bytes;
    int32_t Datas;
};

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Controls, named as on the form.
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6, *Label7, *Label8, *Label9;
    QLabel *PortMon, *BW, *AvgLoad, *Frames, *Bytes, *Datas, *Usage;
    QLabel *ImageBar, *Image1, *Image2, *Image3, *Image4;
    TGauge* Gauge;
    QProgressBar* Traffic;
    QFrame* Bevel1;
    QStatusBar* StatusBar;
    QTimer* CheckTime;
    TClientSocket* AGWPE;
    QMenu* PopUp;
    QAction *Properties1, *About1, *Exit1;
    QMenuBar* MainMenu1;
    QMenu *File1, *Help1;
    QAction *Properties2, *Exit2, *About2;
    TAboutDlg* AboutDlg1;

    // Handlers.
    void FormCreate(QObject* Sender);
    void AGWPEConnect(QObject* Sender, TClientSocket* Socket);
    void AGWPEDisconnect(QObject* Sender, TClientSocket* Socket);
    void AGWPEError(QObject* Sender, TClientSocket* Socket, int ErrorEvent, int& ErrorCode);
    void AGWPERead(QObject* Sender, TClientSocket* Socket);
    void CheckTimeTimer(QObject* Sender);
    void TrayIconMessage(int MouseMessage);
    void TrayIconMessage(QObject* Sender, int MouseMessage) { (void)Sender; TrayIconMessage(MouseMessage); }
    void Properties1Click(QObject* Sender);
    void About1Click(QObject* Sender);
    void Exit1Click(QObject* Sender);
    void File1Click(QObject* Sender);
    void Properties2Click(QObject* Sender);
    void About2Click(QObject* Sender);
    void Exit2Click(QObject* Sender);

protected:
    bool event(QEvent* e) override;

private:
    void setupLook();
    void renderPictures();
    void connectionStart();
    void changeIcon(const char* Name);
    bool giveUpDecision(); // true when the program has ended
    void exitSteps(int Status);
    int drainRings();
    void handleFrame(uint8_t Port, char Kind, const std::string& Data);
    void evaluate();
    void addToTotal(QLabel* Total, int64_t Amount);

    std::unique_ptr<Ui::TForm1> ui;
    ::TrayIconRecord TrayIconRecord;
    bool ExitRequested = false;
    int LoadClass = 1; // of the picture the image bar shows
};

// Unit-level state, one of each for the whole run.
extern TForm1* Form1;
extern MeterSettings Settings;
extern std::unique_ptr<TAGWPE> AGWClient;
extern bool EverConnected;
extern int32_t RetriesLeft;
extern bool ConnectPending;
extern std::array<SampleEntry, 10> SampleHistory;
