// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Properties window: edits the six settings of CHANLOAD.INI. It lives for
// the whole run, shown without a modal loop while the main window is disabled.
#include <QDialog>

#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class TTrackBar;
struct MeterSettings;
namespace Ui {
class TForm2;
}

class TForm2 : public QDialog {
    Q_OBJECT
public:
    // Top-level on purpose: a child of the main window would be disabled with it.
    explicit TForm2(QWidget* parent = nullptr);
    ~TForm2() override;

    // Controls, named as on the form.
    QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *LabelP;
    QLineEdit *IPAddress, *TCPPort, *CallSign;
    TTrackBar* TrackBar1;
    QLabel* Sample;
    QSpinBox* AGWPort;
    QComboBox* ComboBox1;
    QPushButton *BitBtn1, *BitBtn2;

    // Fills every control from S, then enables the window and brings it to the
    // front. Called by the main window's Properties command once it has
    // disabled itself and reloaded the settings.
    void ShowSettings(const MeterSettings& S);

    // Handlers.
    void FormCreate(QObject* Sender);
    void TrackBar1Change(QObject* Sender);
    void BitBtn1Click(QObject* Sender);
    void BitBtn2Click(QObject* Sender);

signals:
    // OK accepted a bit rate and a radio port; the main window shows and uses them.
    void SettingsApplied(int32_t ChannelBps, int32_t AgwPort);
    // The dialog is hidden again: the main window takes back its input and focus.
    void Closed();

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    // Esc: the dialog's own cancel path.
    void reject() override;

private:
    void putAway();
    void fitFields();
    int32_t radioPortFromBox();

    std::unique_ptr<Ui::TForm2> ui;
    bool thumbMoved = false;
};

extern TForm2* Form2;
