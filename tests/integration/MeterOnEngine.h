// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The meter's window against a Dire Wolf of the test's own, with settings,
// error boxes and message boxes kept in the test's own directory and lists.
#include "DireWolf.h"
#include "meter.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

class MeterOnEngine : public ::testing::Test {
protected:
    static void SetUpTestSuite();
    void SetUp() override;
    // Closes the window and stops the engine; no error or message box may
    // have come up.
    void TearDown() override;

    std::string work() const { return dir.path().toStdString(); }

    // CHANLOAD.INI for the engine's AGW port: radio port, period, 1200 bit/s,
    // and any further [METER] lines.
    void writeIni(int radioPort, int sampleMs, const QString& more = {});

    // Opens the window; returns once it is connected and the engine has taken
    // its request for monitored frames (audio fed before would reach nobody).
    void startMeter();

    // Exits and deletes the window; every end of the program it asked for
    // must have been a clean one. False when there was no window.
    bool closeMeter();

    QTemporaryDir dir;
    std::unique_ptr<DireWolf> engine;
    TForm1* form = nullptr;
    std::vector<int> endStatuses;
    QStringList errorBoxes;
    QStringList messageBoxes;
};
