// SPDX-License-Identifier: GPL-3.0-or-later
// Who filled the channel, against the truth: three stations with their own
// preambles and the monitored Dire Wolf digipeating some of their frames.
// What the store keeps per station must match the carrier each one put on
// the air, and the copies the digipeater made.
#include "DireWolf.h"
#include "ErrorBox.h"
#include "MessageBox.h"
#include "PeriodStore.h"
#include "Process.h"
#include "QtTestApp.h"
#include "SimulatedChannel.h"
#include "StationTable.h"
#include "THistoryWindow.h"
#include "TStationsView.h"
#include "meter.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPalette>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kBitRate = 1200;
constexpr int kPeriodMs = 2500;
constexpr int kDigipeaterDelayMs = 350, kDigipeaterTailMs = 50;
// Periods before the meter has learned every station's preamble, then the
// periods whose shares are compared.
constexpr int kWarmUp = 7;
constexpr int kMeasured = 4;

std::string sourceOf(const std::string& MonitorLine)
{
    return MonitorLine.substr(0, MonitorLine.find('>'));
}

// What a desktop with a dark theme hands the program.
QPalette darkPalette()
{
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 32));
    dark.setColor(QPalette::AlternateBase, QColor(40, 40, 43));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(55, 55, 58));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return dark;
}

} // namespace

class StationsOnAir : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override
    {
        ASSERT_TRUE(onPath("direwolf")) << "direwolf is not installed (Debian package direwolf)";
        ASSERT_TRUE(onPath("gen_packets")) << "gen_packets is not installed (Debian package direwolf)";
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        qputenv("XDG_DATA_HOME", dir.path().toLocal8Bit());
        SetEndProcessHandler([this](int status) { endStatuses.push_back(status); });
        SetErrorBoxHandler([this](const QString& text) { errorBoxes << text; });
        SetMessageBoxHandler([this](const QString& text, const QString&) { messageBoxes << text; });
    }

    void TearDown() override
    {
        store.reset();
        table.reset();
        if (form) {
            form->Exit1Click(nullptr);
            for (int status : endStatuses)
                EXPECT_EQ(status, 0);
            delete form;
        }
        engine.reset();
        EXPECT_TRUE(errorBoxes.isEmpty()) << errorBoxes.join('\n').toStdString();
        EXPECT_TRUE(messageBoxes.isEmpty()) << messageBoxes.join('\n').toStdString();
        SetEndProcessHandler(nullptr);
        SetErrorBoxHandler(nullptr);
        SetMessageBoxHandler(nullptr);
    }

    std::map<std::string, StationRow> stored(int64_t From)
    {
        std::vector<StationRow> rows;
        QString error;
        EXPECT_TRUE(TStationTable::Stations(store->Database(), 1, From, store->LastTime(), rows, error))
            << error.toStdString();
        std::map<std::string, StationRow> out;
        for (const StationRow& r : rows)
            out[r.Call] = r;
        return out;
    }

    QTemporaryDir dir;
    std::unique_ptr<DireWolf> engine;
    TForm1* form = nullptr;
    std::unique_ptr<TStationTable> table;
    std::unique_ptr<TPeriodStore> store;
    std::vector<int> endStatuses;
    QStringList errorBoxes;
    QStringList messageBoxes;
};

TEST_F(StationsOnAir, EachStationsShareOfTheAirtimeIsItsShareOfTheCarrierAndEveryCopyIsCounted)
{
    engine = std::make_unique<DireWolf>(dir.path().toStdString());
    engine->digipeat();
    engine->keying(kDigipeaterDelayMs / 10, kDigipeaterTailMs / 10);
    ASSERT_TRUE(engine->start()) << engine->error();
    {
        QFile f(QDir(dir.path()).filePath("CHANLOAD.INI"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%1\nAGW_PORT=1\nSAMPLE=%2\nBW=%3\n")
                    .arg(engine->port())
                    .arg(kPeriodMs)
                    .arg(kBitRate)
                    .toUtf8());
    }
    form = new TForm1;
    // The store as the program keeps it: the stations table written with each period.
    table = std::make_unique<TStationTable>(form->Stations());
    store = std::make_unique<TPeriodStore>();
    store->AddTable(table.get());
    ASSERT_TRUE(store->Open(dir.filePath("history.sqlite"))) << store->Error().toStdString();
    QObject::connect(form, &TForm1::PeriodEvaluated, form, [this](const PeriodRecord& r) {
        EXPECT_TRUE(store->Write(r)) << store->Error().toStdString();
    });
    ASSERT_TRUE(WaitFor([] { return EverConnected; }, 15000));
    ASSERT_TRUE(WaitFor([this] { return engine->requestKinds(0).find('k') != std::string::npos; }, 15000))
        << engine->log();
    // Each period ends once its audio has been played and decoded; the audio
    // comes in real time, so that the meter learns the preambles from the gaps.
    form->CheckTime->stop();

    SimulatedChannel channel(kPeriodMs, "N0DW-1", kDigipeaterDelayMs, kDigipeaterTailMs);
    std::map<std::string, int64_t> carrier; // per transmitter, measured periods
    std::map<std::string, int64_t> copies, originals; // per originator, all periods
    int64_t measuredFrom = 0;
    int digipeatsSoFar = 0;
    for (int period = 0; period < kWarmUp + kMeasured; ++period) {
        const ChannelPeriod p = channel.next(0.6);
        for (const PlannedTransmission& t : p.transmissions) {
            if (period >= kWarmUp)
                carrier[t.transmitter] += t.carrierSamples;
            ++(t.own ? copies : originals)[sourceOf(t.monitorLine)];
        }
        digipeatsSoFar += p.digipeats;
        const int count = p.heard + p.digipeats;
        engine->feedInRealTime(p.audio);
        ASSERT_TRUE(WaitFor(
            [&] {
                return engine->fed() && form->Frames->text() == QString::number(count)
                    && static_cast<int>(engine->transmitted().size()) == digipeatsSoFar;
            },
            60000))
            << "period " << period << ": ChanLoad counted " << form->Frames->text().toStdString() << " of " << count
            << " frames\n"
            << engine->log();
        ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
        if (period == kWarmUp)
            measuredFrom = store->LastTime();
        form->CheckTimeTimer(nullptr);
    }

    // Shares of the measured periods.
    const auto measured = stored(measuredFrom);
    int64_t carrierAll = 0, airAll = 0;
    for (const auto& [call, samples] : carrier)
        carrierAll += samples;
    for (const auto& [call, row] : measured)
        airAll += row.AirMicros;
    ASSERT_GT(carrierAll, 0);
    ASSERT_GT(airAll, 0);
    std::printf("station    carrier share  stored share\n");
    for (const auto& [call, samples] : carrier) {
        ASSERT_TRUE(measured.count(call)) << call << " has no row";
        const double truth = 100.0 * static_cast<double>(samples) / static_cast<double>(carrierAll);
        const double share = 100.0 * static_cast<double>(measured.at(call).AirMicros) / static_cast<double>(airAll);
        std::printf("%-9s  %12.1f%%  %11.1f%%\n", call.c_str(), truth, share);
        EXPECT_NEAR(share, truth, 2.0) << call;
    }
    EXPECT_EQ(measured.size(), carrier.size()) << "a station that did not transmit has a row";
    EXPECT_TRUE(measured.at("N0DW-1").Own);

    // Copies and originals over every period, exactly.
    const auto all = stored(0);
    for (const auto& [call, n] : originals) {
        ASSERT_TRUE(all.count(call)) << call;
        EXPECT_EQ(all.at(call).Originated, n) << call;
        EXPECT_EQ(all.at(call).Copies, copies[call]) << call;
    }
    int64_t copiesAll = 0;
    for (const auto& [call, n] : copies)
        copiesAll += n;
    EXPECT_EQ(copiesAll, digipeatsSoFar);
    EXPECT_GT(copiesAll, 0);

    // The history window's Stations tab shows them, as the program opens it.
    form->SetStore(store.get());
    form->OpenHistory();
    THistoryWindow* window = form->HistoryWindow();
    ASSERT_NE(window, nullptr);
    auto* view = window->findChild<TStationsView*>();
    ASSERT_NE(view, nullptr);
    window->findChild<QTabWidget*>()->setCurrentWidget(view);
    ASSERT_TRUE(WaitFor([&] { return view->Table()->model()->rowCount() == static_cast<int>(all.size()); }))
        << view->TableText().toStdString();
    // The pictures of the documentation, when asked for (scripts/screenshots).
    if (const QString shots = qEnvironmentVariable("CHANLOAD_SHOTS"); !shots.isEmpty()) {
        window->resize(780, 540);
        for (const bool dark : {false, true}) {
            QApplication::setPalette(dark ? darkPalette() : QApplication::style()->standardPalette());
            WaitFor([] { return false; }, 300);
            const QString path = QDir(shots).filePath(dark ? "dark-stations.png" : "stations.png");
            EXPECT_TRUE(window->grab().save(path)) << path.toStdString();
        }
        QApplication::setPalette(QApplication::style()->standardPalette());
    }
}
