// SPDX-License-Identifier: GPL-3.0-or-later
// The real main window for the history benches, with settings of its own in
// a temporary folder and no engine, so that only the benches' own ticks run.
#pragma once

#include "ErrorBox.h"
#include "Process.h"
#include "meter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

// Returns the window with its tick stopped, or nullptr when the settings
// file cannot be written. `config` must outlive the window.
inline TForm1* MakeOfflineMeter(const QTemporaryDir& config)
{
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    {
        // Nobody listens on port 9 of loopback; the ticks below never try again.
        QFile ini(QDir(config.path()).filePath(QStringLiteral("CHANLOAD.INI")));
        if (!ini.open(QIODevice::WriteOnly))
            return nullptr;
        ini.write("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=9\nSAMPLE=30000\nBW=1200\n");
    }
    SetEndProcessHandler([](int) {});
    SetErrorBoxHandler([](const QString&) {});
    auto* form = new TForm1;
    form->SetHistoryFactory(&MakeHistoryWindow);
    form->CheckTime->stop();
    return form;
}
