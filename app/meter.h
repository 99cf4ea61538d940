// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The meter unit: the main window and its unit-level state. The window's work
// is split by job: wiring and menus (meter.cpp), the connection to the engine
// (MeterConnection.cpp), counting, figures and the tray icon (MeterFigures.cpp).
#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "Airtime.h"
#include "CountedFrame.h"
#include "ChannelMetrics.h"
#include "FrameAmounts.h"
#include "HistoryPane.h"
#include "THistoryWindow.h"
#include "MeterSettings.h"
#include "NotifyIcon.h"
#include "PeriodFigures.h"
#include "PeriodRecord.h"
#include "StationTally.h"
#include "PreambleEstimator.h"

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
class TForm2;
class TGauge;
class TPeriodStore;
struct ReadBatch;
namespace Ui {
class TForm1;
}

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    // Headless: never shown and no tray icon; everything else as usual.
    explicit TForm1(QWidget* parent = nullptr, bool Headless = false);
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

    // A port-list request to the engine is out and not yet answered.
    bool AwaitingEngineAnswer() const { return RequestsUnanswered > 0; }

    // The evaluated periods of the last 24 hours.
    const PeriodHistory& History() const { return Periods; }

    // Who filled the channel: the stations of each period, closed with it.
    const StationTally& Stations() const { return Tally; }

    // The store the history window reads its long spans from (null: none).
    void SetStore(TPeriodStore* Store) { HistoryStore = Store; }
    // Periods of an earlier run, oldest first, into the ring before the first
    // new one, so that the window shows them.
    void RestoreHistory(const std::vector<PeriodRecord>& Records);

    // Each transmitter's preamble, once learned well enough, as a line on
    // standard error.
    void SetVerbose(bool On) { Verbose = On; }

    // Shows the history window, made on first use and again after each close.
    // When its module cannot be loaded, an error box says why and the meter
    // goes on without it.
    void OpenHistory();
    // The open history window, or null. Every factory makes a THistoryWindow.
    // Inline, so that only callers that link the window's code name its class
    // (the sanitizers check the cast against the class's type information).
    THistoryWindow* HistoryWindow() const { return static_cast<THistoryWindow*>(HistoryForm.data()); }
    // What makes the history window; unset, the program's own, found at the
    // first opening (a test that links the history library passes its factory).
    void SetHistoryFactory(HistoryFactory Factory) { HistoryMaker = Factory; }

signals:
    // Every evaluated period, for the history window, the log and the headless output.
    void PeriodEvaluated(const PeriodRecord& Record);
    // A new history window was made, for other views to add their tabs.
    void HistoryOpened(THistoryPane* Window);
    // Every frame of the monitored port as it is counted, for the metrics.
    void FrameCounted(const MetricsFrame& Frame);

protected:
    bool event(QEvent* e) override;
    // Closing this window ends the program even while the history is open.
    void closeEvent(QCloseEvent* e) override;
    // A double click on the thermometer picture opens the history.
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    // Attempts before the first connection, the start-up one included.
    static constexpr int32_t MaxAttempts = 12;

    // Wiring and menus.
    void setupLook();
    void applyFonts();
    void renderPictures();
    // The thermometer of a load class, drawn when first wanted.
    QPixmap loadClassPicture(int Class);
    void applySettings(int32_t ChannelBps, int32_t AgwPort);
    void takeBackInput();
    void exitSteps(int Status);

    // Connection lifecycle.
    void connectionStart();
    bool giveUpDecision(); // true when the program has ended
    void checkEngineAlive();
    void portListAnswered();
    void forgetEngine();
    // Connected, but the engine's port list does not reach the monitored port.
    bool noRadioPort() const;
    // The status line for a tick while connected.
    QString connectedText() const;
    // What the meter can see of the channel right now.
    EngineState engineState() const;
    // One line on standard error when a headless run's state changes.
    void reportEngineState(EngineState State);

    // Counting, figures and the tray icon.
    void changeIcon(const char* Name);
    int drainRings(ReadBatch& Batch);
    void handleFrame(ReadBatch& Batch, uint8_t Port, char Kind, std::string_view Data);
    void evaluate();
    void reportLearnedPreambles();
    void showLoadClass(int Class);

    const bool Headless;
    std::unique_ptr<Ui::TForm1> ui;
    ::TrayIconRecord TrayIconRecord;
    bool ExitRequested = false;
    int LoadClass = 1; // of the picture the image bar shows
    // Air the period's frames took, heard and the station's own apart; both
    // are also inside the label totals.
    AirtimeTotals HeardAir, OwnAir;
    // Who sent each frame, and the preambles learned from when frames come.
    FrameOrigins Origins;
    PreambleEstimator Preambles;
    QElapsedTimer ArrivalClock;
    uint64_t ReadCount = 0;
    int64_t ReadArrivalUs = 0;
    // Some of this period's airtime rests on learned preambles.
    bool MeasuredThisPeriod = false;
    bool Verbose = false;
    PeriodHistory Periods;
    StationTally Tally;
    // Deletes itself when closed.
    QPointer<THistoryPane> HistoryForm;
    HistoryFactory HistoryMaker = nullptr;
    // The Properties dialog, when this window made it (none was there at the first opening).
    std::unique_ptr<TForm2> OwnProperties;
    TPeriodStore* HistoryStore = nullptr;
    // Port-list requests out and not yet answered; still one at the next tick,
    // the engine is taken for stopped although the connection stays open. An
    // answer with none out answers nothing and proves nothing.
    int32_t RequestsUnanswered = 0;
    bool EngineSilent = false;
    // The period began with the engine silent: even if it answers before the
    // tick, the meter was blind for part of the period.
    bool PeriodStartedSilent = false;
    // The state of the last period, as headless mode last reported it.
    EngineState ReportedState = EngineState::Answering;
};

// Unit-level state, one of each for the whole run.
extern TForm1* Form1;
extern MeterSettings Settings;
extern std::unique_ptr<TAGWPE> AGWClient;
extern bool EverConnected;
extern int32_t RetriesLeft;
extern bool ConnectPending;
extern SampleRing SampleHistory;
