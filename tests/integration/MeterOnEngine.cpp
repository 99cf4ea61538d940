// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterOnEngine.h"

#include "ErrorBox.h"
#include "MessageBox.h"
#include "Process.h"
#include "QtTestApp.h"

#include <QDir>
#include <QFile>
#include <QStatusBar>

void MeterOnEngine::SetUpTestSuite()
{
    EnsureApplication();
}

void MeterOnEngine::SetUp()
{
    // The engine is installed by scripts/test; its absence is a broken setup, not a reason to skip.
    ASSERT_TRUE(onPath("direwolf")) << "direwolf is not installed (Debian package direwolf)";
    ASSERT_TRUE(onPath("gen_packets")) << "gen_packets is not installed (Debian package direwolf)";
    ASSERT_TRUE(dir.isValid());
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
    SetEndProcessHandler([this](int status) { endStatuses.push_back(status); });
    SetErrorBoxHandler([this](const QString& text) { errorBoxes << text; });
    SetMessageBoxHandler([this](const QString& text, const QString&) { messageBoxes << text; });
}

bool MeterOnEngine::closeMeter()
{
    if (!form)
        return false;
    form->Exit1Click(nullptr);
    EXPECT_FALSE(endStatuses.empty()) << "Exit did not end the program";
    for (int status : endStatuses)
        EXPECT_EQ(status, 0);
    delete form;
    form = nullptr;
    return true;
}

void MeterOnEngine::TearDown()
{
    closeMeter();
    engine.reset();
    EXPECT_TRUE(errorBoxes.isEmpty()) << errorBoxes.join('\n').toStdString();
    EXPECT_TRUE(messageBoxes.isEmpty()) << messageBoxes.join('\n').toStdString();
    SetEndProcessHandler(nullptr);
    SetErrorBoxHandler(nullptr);
    SetMessageBoxHandler(nullptr);
}

void MeterOnEngine::writeIni(int radioPort, int sampleMs, const QString& more)
{
    QFile f(QDir(dir.path()).filePath("CHANLOAD.INI"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%1\nAGW_PORT=%2\nSAMPLE=%3\nBW=1200\n%4")
                .arg(engine->port())
                .arg(radioPort)
                .arg(sampleMs)
                .arg(more)
                .toUtf8());
}

void MeterOnEngine::startMeter()
{
    form = new TForm1;
    form->SetHistoryFactory(&MakeHistoryWindow);
    ASSERT_TRUE(WaitFor([] { return EverConnected; }, 15000))
        << "ChanLoad did not connect; status: " << form->StatusBar->currentMessage().toStdString();
    ASSERT_TRUE(
        WaitFor([this] { return engine->linesStartingWith("<<< Enable Reception of Monitoring Frames") > 0; }, 15000))
        << "Dire Wolf never got the monitoring request:\n" << engine->log();
}
