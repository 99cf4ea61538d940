// SPDX-License-Identifier: GPL-3.0-or-later
// The Properties window against the real main window and a settings file in a
// temporary XDG_CONFIG_HOME; message and error boxes are answered by the test.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "LoopbackPort.h"
#include "QtTestApp.h"
#include "ErrorBox.h"
#include "MessageBox.h"
#include "MeterProp.h"
#include "PrivateProfile.h"
#include "Process.h"
#include "TrackBar.h"
#include "meter.h"

namespace {

class PropertiesDialog : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        SetMessageBoxHandler([this](const QString& Text, const QString& Caption) { messages.push_back(Caption + "|" + Text); });
        SetErrorBoxHandler([this](const QString& Text) { errors.push_back(Text); });
        SetEndProcessHandler([](int) {});
        writeIni("SAMPLE=30000\nBW=1200\nAGW_PORT=1\nCALLSIGN=N0CALL-1\n");
        main = std::make_unique<TForm1>();
        dialog = std::make_unique<TForm2>();
    }

    void TearDown() override
    {
        dialog.reset();
        main.reset();
        SetMessageBoxHandler(nullptr);
        SetErrorBoxHandler(nullptr);
        SetEndProcessHandler(nullptr);
    }

    // The address and port always point at the closed port; Rest adds the other keys.
    void writeIni(const std::string& Rest)
    {
        ASSERT_TRUE(QDir(dir.path()).mkpath("chanload"));
        QFile f(QDir(dir.path()).filePath("chanload/CHANLOAD.INI"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=" + std::to_string(port) + "\n" + Rest).c_str());
    }
    QByteArray iniBytes()
    {
        QFile f(QDir(dir.path()).filePath("chanload/CHANLOAD.INI"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static std::string key(const char* Key) { return GetPrivateProfileString("METER", Key, "<none>"); }
    void open() { main->Properties1->trigger(); }
    void ok() { dialog->BitBtn1->click(); }
    bool dialogOpen() const { return dialog->isVisible() && dialog->isEnabled() && !main->isEnabled(); }
    bool dialogPutAway() const { return !dialog->isVisible() && !dialog->isEnabled() && main->isEnabled(); }

    QTemporaryDir dir;
    // Held with nobody listening, so the main window's attempt just fails.
    RefusingPort refusing;
    int port = refusing.number();
    std::vector<QString> messages, errors;
    std::unique_ptr<TForm1> main;
    std::unique_ptr<TForm2> dialog;
};

const QString restartNotice = "Properties Change|Program must be restarted to register changes";

TEST_F(PropertiesDialog, Open_FillsEveryControlAndDisablesMainWindow)
{
    EXPECT_EQ(Form2, dialog.get());
    EXPECT_FALSE(dialog->isVisible() || dialog->isEnabled());
    writeIni("AGW_PORT=200\nSAMPLE=45999\nBW=38400\nCALLSIGN=ab c\n");
    open();
    EXPECT_TRUE(dialogOpen());
    EXPECT_EQ(dialog->IPAddress->text(), "127.0.0.1");
    EXPECT_EQ(dialog->TCPPort->text(), QString::number(port));
    EXPECT_EQ(dialog->CallSign->text(), "ab c");
    EXPECT_EQ(dialog->AGWPort->value(), 128);
    EXPECT_EQ(dialog->ComboBox1->currentText(), "38400");
    EXPECT_EQ(dialog->TrackBar1->value(), 45);
    EXPECT_EQ(dialog->Sample->text(), "45 Secs");
    EXPECT_EQ(dialog->TrackBar1->SelStart(), 1);
    EXPECT_EQ(dialog->TrackBar1->SelEnd(), 45);
    EXPECT_EQ(Settings.SampleMs, 45999);
}

// A period the thumb cannot show survives an OK that did not move the thumb;
// moving it saves whole seconds again.
TEST_F(PropertiesDialog, Ok_UnmovedThumbKeepsStoredPeriodExactly)
{
    struct Case { const char* ms; int position; const char* label; int selEnd; const char* moved; };
    for (const Case c : {Case{"300000", 120, "300 Secs", 300, "119000"}, Case{"500", 1, "0 Secs", 0, "2000"},
                         Case{"600000", 120, "600 Secs", 600, "119000"}, Case{"45500", 45, "45 Secs", 45, "46000"}}) {
        writeIni(std::string("SAMPLE=") + c.ms + "\nBW=1200\nAGW_PORT=1\nCALLSIGN=N0CALL-1\n");
        open();
        EXPECT_EQ(dialog->TrackBar1->value(), c.position) << c.ms;
        EXPECT_EQ(dialog->Sample->text(), c.label) << c.ms;
        EXPECT_EQ(dialog->TrackBar1->SelEnd(), c.selEnd) << c.ms;
        dialog->ComboBox1->setEditText("9600");
        ok();
        EXPECT_EQ(key("SAMPLE"), c.ms);
        EXPECT_EQ(key("BW"), "9600") << c.ms;

        open();
        QTest::keyClick(dialog->TrackBar1, c.position == 120 ? Qt::Key_Left : Qt::Key_Right);
        ok();
        EXPECT_EQ(key("SAMPLE"), c.moved) << c.ms;
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(PropertiesDialog, Open_AgainWhileOpenRefillsFromFile)
{
    open();
    dialog->IPAddress->setText("10.0.0.9");
    dialog->ComboBox1->setEditText("9600");
    QTest::keyClick(dialog->TrackBar1, Qt::Key_Right);
    writeIni("SAMPLE=20000\nBW=300\n");
    open();
    EXPECT_TRUE(dialogOpen());
    EXPECT_EQ(dialog->IPAddress->text(), "127.0.0.1");
    EXPECT_EQ(dialog->ComboBox1->currentText(), "300");
    EXPECT_EQ(dialog->Sample->text(), "20 Secs");
}

TEST_F(PropertiesDialog, Open_BadNumberInFileReportsAndEnablesMainWindow)
{
    open();
    dialog->BitBtn2->click();
    writeIni("SAMPLE=30000ms\n");
    open();
    EXPECT_EQ(errors, std::vector<QString>{"'30000ms' is not a valid integer value."});
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_TRUE(main->isEnabled());
}

// TXDELAY and TXTAIL are in the file only; opening the dialog, which reads
// the file again, must not change what the running airtime rests on.
TEST_F(PropertiesDialog, Open_KeepsThePreambleSettingsTheMeterStartedWith)
{
    struct Case {
        const char* atStart;
        const char* atOpen;
        int32_t delay, tail;
        bool delaySet, tailSet;
    };
    const Case cases[] = {
        {"", "TXDELAY=500\nTXTAIL=50\n", 300, 100, false, false},
        {"TXDELAY=220\nTXTAIL=13\n", "TXDELAY=900\nTXTAIL=90\n", 220, 13, true, true},
        {"TXDELAY=220\nTXTAIL=13\n", "", 220, 13, true, true},
        {"TXTAIL=13\n", "TXDELAY=400\n", 300, 13, false, true},
    };
    for (const Case& c : cases) {
        main.reset();
        writeIni(std::string("SAMPLE=30000\nBW=1200\nAGW_PORT=1\n") + c.atStart);
        main = std::make_unique<TForm1>();
        writeIni(std::string("SAMPLE=45000\nBW=1200\nAGW_PORT=1\n") + c.atOpen);
        open();
        ASSERT_TRUE(dialogOpen()) << c.atOpen;
        dialog->BitBtn2->click();
        EXPECT_EQ(Settings.TxDelayMs, c.delay) << c.atStart << "|" << c.atOpen;
        EXPECT_EQ(Settings.TxTailMs, c.tail) << c.atStart << "|" << c.atOpen;
        EXPECT_EQ(Settings.TxDelaySet, c.delaySet) << c.atStart << "|" << c.atOpen;
        EXPECT_EQ(Settings.TxTailSet, c.tailSet) << c.atStart << "|" << c.atOpen;
        // The rest of the file is read again, as always.
        EXPECT_EQ(Settings.SampleMs, 45000);
    }
}

TEST_F(PropertiesDialog, TrackBar_UserMovesUpdateLabelAndSelectionProgramMovesDoNot)
{
    open();
    QTest::keyClick(dialog->TrackBar1, Qt::Key_Right);
    EXPECT_EQ(dialog->Sample->text(), "31 Secs");
    EXPECT_EQ(dialog->TrackBar1->SelEnd(), 31);
    dialog->TrackBar1->setValue(10);
    EXPECT_EQ(dialog->Sample->text(), "31 Secs");
    ok();
    EXPECT_EQ(key("SAMPLE"), "10000");
}

TEST_F(PropertiesDialog, Ok_BitRateAndPortApplyAtOnceWithoutNotice)
{
    open();
    dialog->AGWPort->setValue(5);
    dialog->ComboBox1->lineEdit()->selectAll();
    QTest::keyClicks(dialog->ComboBox1, "38400"); // not in the list
    QTest::keyClick(dialog->ComboBox1, Qt::Key_Return);
    EXPECT_EQ(dialog->ComboBox1->count(), 8);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(main->BW->text(), "38400");
    EXPECT_EQ(main->PortMon->text(), "5");
    EXPECT_EQ(key("BW"), "38400");
    EXPECT_EQ(key("AGW_PORT"), "5");
    EXPECT_EQ(key("CALLSIGN"), "N0CALL-1");
    EXPECT_TRUE(dialogPutAway());
}

TEST_F(PropertiesDialog, Ok_ChecksInOrderAndSavesNothingOnFailure)
{
    open();
    const QByteArray before = iniBytes();
    dialog->IPAddress->clear();
    dialog->TCPPort->clear();
    ok();
    dialog->IPAddress->setText("127.0.0.1");
    ok();
    dialog->TCPPort->setText("80a0");
    dialog->CallSign->clear();
    ok();
    EXPECT_EQ(dialog->TCPPort->text(), "800");
    dialog->CallSign->setText("ABCDEFGHIJ");
    ok();
    EXPECT_EQ(messages, (std::vector<QString>{"Properties Error|IP Address invalid", "Properties Error|TCP Port invalid",
                            "Properties Error|Callsign to register is invalid", "Properties Error|Callsign to register is invalid"}));
    EXPECT_EQ(iniBytes(), before);
    EXPECT_TRUE(dialogOpen());

    messages.clear();
    dialog->CallSign->setText("ABCDEFGHI");
    ok();
    EXPECT_EQ(messages, std::vector<QString>{restartNotice});
    EXPECT_EQ(key("TCP_PORT"), "800");
    EXPECT_EQ(key("CALLSIGN"), "ABCDEFGHI");
}

TEST_F(PropertiesDialog, Ok_TcpPortOutside1To65535RefusedAfterDigitsKept)
{
    open();
    const QByteArray before = iniBytes();
    for (const char* typed : {"abc", "0", "65536", "99999", "4294967296", "123456789012345678901234567890"}) {
        dialog->TCPPort->setText(typed);
        ok();
        EXPECT_EQ(messages.back(), "Properties Error|TCP Port invalid") << typed;
    }
    EXPECT_EQ(dialog->TCPPort->text(), "123456789012345678901234567890");
    EXPECT_EQ(messages.size(), 6u);
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(iniBytes(), before);

    dialog->TCPPort->setText("port 65535");
    ok();
    EXPECT_EQ(key("TCP_PORT"), "65535");
}

TEST_F(PropertiesDialog, Ok_OneRestartNoticeForSeveralChangesNoneForSamePortDigits)
{
    open();
    dialog->TCPPort->setText("000" + QString::number(port));
    QTest::keyClick(dialog->TrackBar1, Qt::Key_PageUp);
    ok();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(main->CheckTime->interval(), 30000);

    open();
    dialog->IPAddress->setText("10.0.0.1");
    dialog->TCPPort->setText("8001");
    dialog->CallSign->setText("n0call-1");
    ok();
    EXPECT_EQ(messages, std::vector<QString>{restartNotice});
    EXPECT_EQ(key("IP_ADDRESS"), "10.0.0.1");
    EXPECT_EQ(key("CALLSIGN"), "n0call-1");
}

TEST_F(PropertiesDialog, Ok_AddressPortOrCallsignChangedAloneBringsTheRestartNotice)
{
    const std::vector<std::pair<const char*, std::function<void()>>> changes = {
        {"TCP port", [&] { dialog->TCPPort->setText(QString::number(port + 1)); }},
        {"IP address", [&] { dialog->IPAddress->setText("127.0.0.2"); }},
        {"callsign", [&] { dialog->CallSign->setText("N0CALL-9"); }},
    };
    for (const auto& [what, change] : changes) {
        messages.clear();
        open();
        change();
        ok();
        EXPECT_EQ(messages, std::vector<QString>{restartNotice}) << what;
        EXPECT_TRUE(dialogPutAway()) << what;
    }
    EXPECT_EQ(key("TCP_PORT"), std::to_string(port + 1));
    EXPECT_EQ(key("IP_ADDRESS"), "127.0.0.2");
    EXPECT_EQ(key("CALLSIGN"), "N0CALL-9");
}

TEST_F(PropertiesDialog, Ok_RadioPortTypedTakesUpToThreeDigitsAndNeverZero)
{
    open();
    dialog->AGWPort->selectAll();
    QTest::keyClicks(dialog->AGWPort, "0");
    dialog->BitBtn1->click();
    EXPECT_EQ(key("AGW_PORT"), "1");
    EXPECT_EQ(main->PortMon->text(), "1");

    for (const auto& [typed, saved] : {std::pair{"0", "1"}, std::pair{"100", "100"}, std::pair{"129", "12"}}) {
        open();
        dialog->AGWPort->selectAll();
        QTest::keyClicks(dialog->AGWPort, typed);
        QTest::keyClick(dialog->AGWPort, Qt::Key_Return);
        EXPECT_TRUE(dialogPutAway()) << typed;
        EXPECT_EQ(key("AGW_PORT"), saved) << typed;
    }
}

TEST_F(PropertiesDialog, Ok_ConversionAndWriteErrorsReportedDialogStaysOpen)
{
    open();
    const QByteArray before = iniBytes();
    dialog->ComboBox1->setEditText("fast");
    ok();
    EXPECT_EQ(errors.back(), "'fast' is not a valid integer value.");
    EXPECT_EQ(iniBytes(), before);
    dialog->ComboBox1->setEditText("9600");
    writeIni("BW=slow\n");
    ok();
    EXPECT_EQ(errors.back(), "'slow' is not a valid integer value.");
    EXPECT_EQ(main->BW->text(), "1200");
    EXPECT_EQ(errors.size(), 2u);

    // The file's place taken by a directory: the write is refused after the labels changed.
    QFile::remove(QDir(dir.path()).filePath("chanload/CHANLOAD.INI"));
    QDir(dir.path()).mkpath("chanload/CHANLOAD.INI");
    ok();
    EXPECT_EQ(errors.back(), "Unable to write to CHANLOAD.INI.");
    EXPECT_EQ(main->BW->text(), "9600");
    EXPECT_TRUE(dialogOpen());
}

TEST_F(PropertiesDialog, Cancel_ButtonEscAndCloseControlKeepEditsSaveNothing)
{
    const QByteArray before = iniBytes();
    const std::vector<std::function<void()>> cancels = {
        [&] { dialog->BitBtn2->click(); },
        [&] { QTest::keyClick(dialog->IPAddress, Qt::Key_Escape); },
        [&] { dialog->close(); },
    };
    for (const auto& cancel : cancels) {
        open();
        dialog->IPAddress->setText("10.9.9.9");
        cancel();
        EXPECT_TRUE(dialogPutAway());
        EXPECT_EQ(dialog->IPAddress->text(), "10.9.9.9");
    }
    EXPECT_EQ(iniBytes(), before);
    EXPECT_TRUE(messages.empty());
}

TEST_F(PropertiesDialog, About_WhileOpenLeavesDialogUsableAndMainWindowDisabled)
{
    open();
    QString title;
    QTimer::singleShot(0, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            title = box->windowTitle();
            box->close();
        }
    });
    main->About1->trigger();
    EXPECT_EQ(title, "Channel Activity Meter");
    EXPECT_TRUE(dialogOpen());
}

} // namespace
