// ChanLoad against a real engine: Dire Wolf hears generated AFSK audio and
// reports what it decoded to ChanLoad over AGW, as it would from a radio.
#include "DireWolf.h"
#include "ErrorBox.h"
#include "Gauge.h"
#include "MessageBox.h"
#include "Process.h"
#include "QtTestApp.h"
#include "meter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

namespace {

constexpr int kBitRate = 1200;

// UI frames with and without digipeater paths, info from empty to 200 bytes.
const std::vector<TestFrame> kChannelFrames = {
    {"N0CALL-1", "APRS", {"WIDE1-1"}, ">Test one two three"},
    {"N0CALL-2", "APRS", {}, "!4237.14NS07120.83W#hello"},
    {"N0CALL-3", "CQ", {}, ""},
    {"N0CALL-4", "ID", {"N0CALL-9*", "WIDE2-1"}, "N0CALL-4/R"},
    {"N0CALL-6", "BEACON", {"N0CALL-7", "N0CALL-8", "WIDE3-1"}, "The quick brown fox jumps over the lazy dog 0123456789"},
    {"N0CALL-7", "APRS", {"WIDE2-2"}, "T#005,199,000,255,073,123,01101001"},
    {"N0CALL-8", "APRS", {}, ":N0CALL-9  :Meeting on the repeater tonight at eight{12"},
    {"N0CALL-10", "TEST", {}, "x"},
    {"N0CALL-11", "APRS", {"WIDE1-1", "WIDE2-1"}, "=4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900"},
    {"N0CALL-12", "BEACON", {}, "QST de N0CALL-12"},
    {"N0CALL-13", "APRS", {"RELAY"}, ";LEAVE-ME *092345z4903.50N/07201.75W>088/036 object"},
    {"N0CALL-14", "TEST", {"WIDE1-1"}, std::string(200, '0')},
    {"N0CALL-15", "APRS", {}, ">" + std::string(120, 'Q')},
};

struct Totals {
    int64_t frames = 0, bytes = 0, datas = 0;
};

// What the list puts on the air as ChanLoad counts it: info + 19 bytes a frame.
Totals totalsOf(const std::vector<TestFrame>& frames)
{
    Totals t;
    for (const auto& f : frames) {
        t.frames += 1;
        t.bytes += static_cast<int64_t>(f.info.size()) + 19;
        t.datas += static_cast<int64_t>(f.info.size());
    }
    return t;
}

std::vector<std::string> linesOf(const std::vector<TestFrame>& frames)
{
    std::vector<std::string> lines;
    for (const auto& f : frames)
        lines.push_back(f.monitorLine());
    return lines;
}

} // namespace

class DireWolfChannel : public ::testing::Test {
protected:
    static void SetUpTestSuite() { EnsureApplication(); }

    void SetUp() override
    {
        // The engine is installed by scripts/test; its absence is a broken setup, not a reason to skip.
        ASSERT_TRUE(onPath("direwolf")) << "direwolf is not installed (Debian package direwolf)";
        ASSERT_TRUE(onPath("gen_packets")) << "gen_packets is not installed (Debian package direwolf)";
        ASSERT_TRUE(dir.isValid());
        qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
        SetEndProcessHandler([this](int status) { endStatuses.push_back(status); });
        SetErrorBoxHandler([this](const QString& text) { errorBoxes << text; });
        SetMessageBoxHandler([this](const QString& text, const QString&) { messageBoxes << text; });
    }

    void TearDown() override
    {
        if (form) {
            form->Exit1Click(nullptr);
            EXPECT_FALSE(endStatuses.empty()) << "Exit did not end the program";
            for (int status : endStatuses)
                EXPECT_EQ(status, 0);
            delete form;
            form = nullptr;
        }
        if (engine) {
            EXPECT_EQ(engine->transmitted(), std::vector<std::string>{}) << "Dire Wolf transmitted";
            engine.reset();
        }
        EXPECT_TRUE(errorBoxes.isEmpty()) << errorBoxes.join('\n').toStdString();
        EXPECT_TRUE(messageBoxes.isEmpty()) << messageBoxes.join('\n').toStdString();
        SetEndProcessHandler(nullptr);
        SetErrorBoxHandler(nullptr);
        SetMessageBoxHandler(nullptr);
    }

    // Dire Wolf listens before the window exists, so the first attempt connects.
    void startEngine(int channels)
    {
        engine = std::make_unique<DireWolf>(dir.path().toStdString(), channels);
        ASSERT_TRUE(engine->start()) << engine->error();
        agwPort = engine->port();
    }

    void writeIni(int radioPort, int sampleMs)
    {
        QFile f(QDir(dir.path()).filePath("CHANLOAD.INI"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("[METER]\nIP_ADDRESS=127.0.0.1\nTCP_PORT=%1\nAGW_PORT=%2\nSAMPLE=%3\nBW=%4\nCALLSIGN=N0CALL-5\n")
                    .arg(agwPort)
                    .arg(radioPort)
                    .arg(sampleMs)
                    .arg(kBitRate)
                    .toUtf8());
    }

    // Monitoring starts off on every new connection: audio fed before Dire Wolf
    // has taken ChanLoad's 'm' would be decoded for nobody.
    void startMeter()
    {
        form = new TForm1;
        ASSERT_TRUE(WaitFor([] { return EverConnected; }, 15000))
            << "ChanLoad did not connect; status: " << form->StatusBar->currentMessage().toStdString();
        ASSERT_TRUE(WaitFor([this] { return engine->linesStartingWith("<<< Enable Reception of Monitoring Frames") > 0; }, 15000))
            << "Dire Wolf never got the monitoring request:\n" << engine->log();
        EXPECT_EQ(engine->linesStartingWith("<<< Enable Reception of Monitoring Frames"), 1);
    }

    // Feeds the audio and serves ChanLoad's events until the engine has sent
    // `sent` monitored frames and ChanLoad shows `counted`, or a minute has
    // passed; the checks that follow tell which side fell short.
    void hear(const Samples& audio, int sent, int counted)
    {
        engine->feed(audio);
        WaitFor(
            [&] {
                return engine->fed() && engine->linesStartingWith(">>> Monitored") >= sent
                    && form->Frames->text() == QString::number(counted);
            },
            60000);
        // A frame counted twice, or one counted that should not be, shows now.
        WaitFor([] { return false; }, 500);
    }

    QTemporaryDir dir;
    std::unique_ptr<DireWolf> engine;
    int agwPort = 0;
    TForm1* form = nullptr;
    std::vector<int> endStatuses;
    QStringList errorBoxes;
    QStringList messageBoxes;
};

TEST_F(DireWolfChannel, CountsEveryHeardFrameAndEvaluatesTheTotals)
{
    startEngine(1);
    // A period far longer than the test keeps the timer from resetting the totals.
    writeIni(1, 600000);
    startMeter();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(form->CheckTime->interval(), 600000);

    Samples audio = silence(0.5);
    audio += afskAudio(kChannelFrames, dir.path().toStdString());
    audio += silence(1.0);
    const Totals expected = totalsOf(kChannelFrames);
    hear(audio, static_cast<int>(expected.frames), static_cast<int>(expected.frames));

    // When Dire Wolf misses a frame the audio is at fault, not the meter.
    ASSERT_EQ(engine->heard(0), linesOf(kChannelFrames)) << "Dire Wolf did not decode every frame; fix the generated audio";
    ASSERT_EQ(engine->linesStartingWith(">>> Monitored Unproto Information"), expected.frames)
        << "Dire Wolf did not pass every frame to the AGW client";

    EXPECT_EQ(form->Frames->text(), QString::number(expected.frames));
    EXPECT_EQ(form->Bytes->text(), QString::number(expected.bytes));
    EXPECT_EQ(form->Datas->text(), QString::number(expected.datas));

    // The evaluation with a 10 s period, which puts these totals mid-scale.
    const int periodMs = 10000;
    form->CheckTime->stop();
    form->CheckTime->setInterval(periodMs);
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(nullptr);

    const double capacity = std::trunc(kBitRate * (periodMs / 1000.0) / 10.0);
    const auto usage = std::min<int64_t>(static_cast<int64_t>(expected.bytes * 100 / capacity), 100);
    const auto efficiency = static_cast<int64_t>(expected.datas * 100.0 / expected.bytes);
    const auto load = std::min<int64_t>(static_cast<int64_t>(expected.bytes * 1000.0 / (kBitRate * 10.0 * (periodMs / 1000.0))), 100);
    ASSERT_GT(usage, 10);
    ASSERT_LT(usage, 100) << "the frames overfill the period; the check would not see a wrong sum";
    EXPECT_EQ(form->Usage->text(), QString::number(usage) + "%");
    EXPECT_EQ(form->Traffic->value(), usage);
    EXPECT_EQ(form->AvgLoad->text(), QString::number(load) + "%");
    EXPECT_EQ(form->Gauge->value(), efficiency);
    EXPECT_EQ(SampleHistory[0].Bytes, expected.bytes);
    EXPECT_EQ(SampleHistory[0].Datas, expected.datas);
    EXPECT_EQ(form->Frames->text(), "0");
    EXPECT_EQ(form->Bytes->text(), "0");
    EXPECT_EQ(form->Datas->text(), "0");
}

TEST_F(DireWolfChannel, CountsOnlyTheMonitoredRadioPort)
{
    // Two radio channels: Dire Wolf reports channel 1 as radio port 2, with port
    // byte 1 in the header and " 2:Fm" in the text.
    const std::vector<TestFrame> port1 = {
        {"N0CALL-1", "APRS", {"WIDE1-1"}, "on port one, not counted"},
        {"N0CALL-2", "CQ", {}, std::string(90, 'a')},
        {"N0CALL-3", "APRS", {}, "!4237.14NS07120.83W#one"},
    };
    const std::vector<TestFrame> port2 = {
        {"N2CALL-1", "APRS", {"WIDE2-1"}, ">on port two"},
        {"N2CALL-2", "BEACON", {}, ""},
        {"N2CALL-3", "TEST", {"N2CALL-4", "WIDE2-2"}, std::string(150, 'b')},
        {"N2CALL-5", "APRS", {}, "T#006,100,200,050,000,000,00000000"},
    };
    startEngine(2);
    writeIni(2, 600000);
    startMeter();
    ASSERT_FALSE(HasFatalFailure());

    Samples left = silence(0.5);
    left += afskAudio(port1, dir.path().toStdString());
    left += silence(1.0);
    Samples right = silence(0.5);
    right += afskAudio(port2, dir.path().toStdString());
    right += silence(1.0);
    const Totals expected = totalsOf(port2);
    hear(interleave(left, right), static_cast<int>(port1.size() + port2.size()), static_cast<int>(expected.frames));

    ASSERT_EQ(engine->heard(0), linesOf(port1)) << "Dire Wolf did not decode every frame of channel 0:\n" << engine->log();
    ASSERT_EQ(engine->heard(1), linesOf(port2)) << "Dire Wolf did not decode every frame of channel 1:\n" << engine->log();
    ASSERT_EQ(engine->linesStartingWith(">>> Monitored Unproto Information"), static_cast<int>(port1.size() + port2.size()));

    EXPECT_EQ(form->Frames->text(), QString::number(expected.frames));
    EXPECT_EQ(form->Bytes->text(), QString::number(expected.bytes));
    EXPECT_EQ(form->Datas->text(), QString::number(expected.datas));
}
