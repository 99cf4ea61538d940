// SPDX-License-Identifier: GPL-3.0-or-later
// ChanLoad against a real engine: Dire Wolf hears generated AFSK audio and
// reports what it decoded to ChanLoad over AGW, as it would from a radio.
#include "AgwWire.h"
#include "ClientSocket.h"
#include "DireWolf.h"
#include "MeterOnEngine.h"
#include "ErrorBox.h"
#include "Gauge.h"
#include "MessageBox.h"
#include "NotifyIcon.h"
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

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
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

// The information of a frame as Dire Wolf logs it, "[0H] SRC>DST,VIA:info"
// or "SRC>DST:info", with its "<0x0a>" escapes undone.
std::string infoOf(std::string logged)
{
    if (!logged.empty() && logged[0] == '[')
        logged.erase(0, logged.find("] ") + 2);
    const std::string escaped = logged.substr(logged.find(':') + 1);
    std::string info;
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped.compare(i, 3, "<0x") == 0 && i + 5 < escaped.size() && escaped[i + 5] == '>') {
            info += static_cast<char>(std::stoi(escaped.substr(i + 3, 2), nullptr, 16));
            i += 5;
        } else {
            info += escaped[i];
        }
    }
    return info;
}

Totals totalsOfLogged(const std::vector<std::string>& lines)
{
    Totals t;
    for (const auto& line : lines) {
        const auto info = static_cast<int64_t>(infoOf(line).size());
        t.frames += 1;
        t.bytes += info + 19;
        t.datas += info;
    }
    return t;
}

std::vector<std::string> withoutPriority(std::vector<std::string> sent)
{
    for (auto& line : sent)
        line.erase(0, line.find("] ") + 2);
    return sent;
}

// A bare AGW client on loopback, as a packet program would be: registers a
// call so that the engine takes connect requests to it.
class RawAgwClient {
public:
    ~RawAgwClient()
    {
        if (fd >= 0)
            close(fd);
    }

    // The engine's one-byte answer: 1 when the call is registered.
    bool registerCall(int port, const std::string& call)
    {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        timeval wait{15, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            return false;
        const std::string request = agw::frame(0, 'X', call, "", "");
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
            return false;
        std::string reply;
        char buf[64];
        while (reply.size() < agw::HeaderSize + 1) {
            const ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
            reply.append(buf, static_cast<size_t>(n));
        }
        return reply[agw::KindAt] == 'X' && agw::readLe32(reply, agw::LengthAt) == 1 && reply[agw::HeaderSize] == 1;
    }

private:
    int fd = -1;
};

std::vector<std::string> linesOf(const std::vector<TestFrame>& frames)
{
    std::vector<std::string> lines;
    for (const auto& f : frames)
        lines.push_back(f.monitorLine());
    return lines;
}

} // namespace

class DireWolfChannel : public MeterOnEngine {
protected:
    void TearDown() override
    {
        if (engine)
            engine->resume();
        // The meter was the engine's first client. Over the whole run, its
        // end included, it asks for the port list (at connect and at every
        // tick), the capabilities and monitoring, once: no registration,
        // nothing that could make the station transmit.
        if (closeMeter() && engine) {
            EXPECT_TRUE(WaitFor([this] { return engine->clientClosed(0); }, 15000))
                << "Dire Wolf did not see ChanLoad close:\n" << engine->log();
            const std::string kinds = engine->requestKinds(0);
            EXPECT_EQ(kinds.find_first_not_of("Ggmk"), std::string::npos) << "requests: " << kinds;
            EXPECT_EQ(kinds.substr(0, 4), "Ggmk");
            EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 'm'), 1) << "requests: " << kinds;
            EXPECT_EQ(std::count(kinds.begin(), kinds.end(), 'k'), 1) << "requests: " << kinds;
        }
        if (engine && !mayTransmit) {
            EXPECT_EQ(engine->transmitted(), std::vector<std::string>{}) << "Dire Wolf transmitted";
        }
        MeterOnEngine::TearDown();
    }

    // Dire Wolf listens before the window exists, so the first attempt connects.
    void startEngine(int channels, bool digipeater = false)
    {
        engine = std::make_unique<DireWolf>(work(), channels);
        if (digipeater)
            engine->digipeat();
        mayTransmit = digipeater;
        ASSERT_TRUE(engine->start()) << engine->error();
        agwPort = engine->port();
    }

    void writeIni(int radioPort, int sampleMs) { MeterOnEngine::writeIni(radioPort, sampleMs, "CALLSIGN=N0CALL-5\n"); }

    // Monitoring starts off on every new connection, and ChanLoad asks for it
    // once, as the engine's first client.
    void startMeter()
    {
        MeterOnEngine::startMeter();
        if (HasFatalFailure())
            return;
        EXPECT_EQ(engine->linesStartingWith("<<< Enable Reception of Monitoring Frames"), 1);
        ASSERT_EQ(engine->linesStartingWith("<<< Enable Reception of Monitoring Frames from AGWPE client application 0,"), 1)
            << "ChanLoad is not the engine's first client";
        QObject::connect(form->CheckTime, &QTimer::timeout, form, [this] { statusAtTick << form->StatusBar->currentMessage(); });
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

    int agwPort = 0;
    bool mayTransmit = false;
    // The status line right after each tick (the window's own handler runs first).
    QStringList statusAtTick;
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

TEST_F(DireWolfChannel, CountsTheDigipeatersOwnTransmissionsFrameForFrame)
{
    // Each frame's next unused path entry decides: WIDE1-1, WIDE2-N and TEST
    // are digipeated, RELAY, another station's call and no path are not.
    const std::vector<TestFrame> frames = {
        {"N0CALL-1", "APRS", {"WIDE1-1"}, ">Test one two three"},
        {"N0CALL-2", "APRS", {}, "!4237.14NS07120.83W#hello"},
        {"N0CALL-4", "ID", {"N0CALL-9*", "WIDE2-1"}, "N0CALL-4/R"},
        {"N0CALL-7", "APRS", {"WIDE2-2"}, "T#005,199,000,255,073,123,01101001"},
        {"N0CALL-11", "APRS", {"WIDE1-1", "WIDE2-1"}, "=4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900"},
        {"N0CALL-12", "BEACON", {"RELAY"}, "QST de N0CALL-12"},
        {"N0CALL-13", "APRS", {"TEST"}, ";LEAVE-ME *092345z4903.50N/07201.75W>088/036 object"},
        {"N0CALL-14", "TEST", {"WIDE1-1"}, std::string(200, '0')},
        {"N0CALL-15", "CQ", {"N0CALL-9", "WIDE2-1"}, "not ours to repeat"},
        {"N0CALL-3", "CQ", {}, ""},
    };
    std::vector<std::string> digipeats = {
        "N0CALL-1>APRS,N0DW-1*:>Test one two three",
        "N0CALL-4>ID,N0CALL-9,N0DW-1*:N0CALL-4/R",
        "N0CALL-7>APRS,N0DW-1*,WIDE2-1:T#005,199,000,255,073,123,01101001",
        "N0CALL-11>APRS,N0DW-1*,WIDE2-1:=4903.50N/07201.75W_220/004g005t077r000p000P000h50b09900",
        "N0CALL-13>APRS,N0DW-1*:;LEAVE-ME *092345z4903.50N/07201.75W>088/036 object",
        "N0CALL-14>TEST,N0DW-1*:" + std::string(200, '0'),
    };
    startEngine(1, true);
    writeIni(1, 600000);
    startMeter();
    ASSERT_FALSE(HasFatalFailure());

    Samples audio = silence(0.5);
    audio += afskAudio(frames, dir.path().toStdString());
    audio += silence(1.0);
    const int heard = static_cast<int>(frames.size());
    const int sent = static_cast<int>(digipeats.size());
    engine->feed(audio);
    // Dire Wolf keys up after the channel has gone quiet, each transmission
    // taking its real air time.
    WaitFor(
        [&] {
            return engine->fed() && engine->linesStartingWith(">>> Monitored") >= heard
                && engine->linesStartingWith(">>> Monitoring Own Information") >= sent
                && form->Frames->text() == QString::number(heard + sent);
        },
        60000);
    WaitFor([] { return false; }, 500);

    ASSERT_EQ(engine->heard(0), linesOf(frames)) << "Dire Wolf did not decode every frame; fix the generated audio";
    std::vector<std::string> transmitted = withoutPriority(engine->transmitted());
    std::sort(transmitted.begin(), transmitted.end());
    std::sort(digipeats.begin(), digipeats.end());
    ASSERT_EQ(transmitted, digipeats) << "Dire Wolf digipeated other than configured:\n" << engine->log();
    ASSERT_EQ(engine->linesStartingWith(">>> Monitoring Own Information to AGWPE client application 0,"), sent)
        << "Dire Wolf did not report every transmission to ChanLoad";

    // Ground truth: what was fed and heard, plus what Dire Wolf's log says it sent.
    Totals expected = totalsOfLogged(engine->heard(0));
    const Totals own = totalsOfLogged(engine->transmitted());
    expected.frames += own.frames;
    expected.bytes += own.bytes;
    expected.datas += own.datas;
    ASSERT_GT(own.datas, 0);
    EXPECT_EQ(form->Frames->text(), QString::number(expected.frames));
    EXPECT_EQ(form->Bytes->text(), QString::number(expected.bytes));
    EXPECT_EQ(form->Datas->text(), QString::number(expected.datas));
}

TEST_F(DireWolfChannel, ListensWithoutRegisteringAndLeavesConnectRequestsToItsCallUnanswered)
{
    startEngine(1);
    writeIni(1, 600000); // CALLSIGN=N0CALL-5
    startMeter();
    ASSERT_FALSE(HasFatalFailure());
    // The engine may answer the control below; everything before it must stay silent.
    mayTransmit = true;

    const std::vector<TestFrame> beacon = {{"N0CALL-1", "APRS", {"WIDE1-1"}, ">heard without registering"}};
    const std::string sabm = sabmFrame("N0CALL-5", "N0CALL-7");
    const std::string sabmHeard = "N0CALL-7>N0CALL-5:(SABM cmd, p=1)";
    Samples audio = silence(0.5);
    audio += afskAudio(beacon, dir.path().toStdString());
    audio += hdlcAudio(sabm);
    audio += silence(1.0);
    engine->feed(audio);
    WaitFor([&] { return engine->fed() && engine->linesStartingWith(">>> Monitored") >= 2 && form->Frames->text() == "2"; },
            60000);
    WaitFor([] { return false; }, 500);

    ASSERT_EQ(engine->heard(0), (std::vector<std::string>{beacon[0].monitorLine(), sabmHeard})) << engine->log();
    const auto info = static_cast<int64_t>(beacon[0].info.size());
    // The connect request counts as a frame without information.
    EXPECT_EQ(form->Frames->text(), "2");
    EXPECT_EQ(form->Bytes->text(), QString::number(info + 19 + 19));
    EXPECT_EQ(form->Datas->text(), QString::number(info));

    // The control: the same request once a program has registered the call.
    // Dire Wolf handles frames in order, so an answer to the first request
    // would be logged before this one's.
    RawAgwClient program;
    ASSERT_TRUE(program.registerCall(agwPort, "N0CALL-5")) << engine->log();
    Samples again = silence(0.5);
    again += hdlcAudio(sabm);
    again += silence(1.0);
    engine->feed(again);
    WaitFor([&] { return engine->fed() && engine->transmitted().size() >= 1 && form->Frames->text() == "4"; }, 60000);
    WaitFor([] { return false; }, 500);

    const auto lines = engine->logLines();
    std::vector<size_t> requestAt, answerAt;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].find(sabmHeard) != std::string::npos)
            requestAt.push_back(i);
        if (lines[i].rfind("[0L] N0CALL-5>N0CALL-7:(UA res", 0) == 0)
            answerAt.push_back(i);
    }
    ASSERT_EQ(requestAt.size(), 2u) << engine->log();
    ASSERT_EQ(answerAt.size(), 1u) << "the registered call did not draw exactly one answer:\n" << engine->log();
    EXPECT_GT(answerAt[0], requestAt[1]) << "the unregistered call was answered:\n" << engine->log();
    EXPECT_EQ(engine->transmitted().size(), 1u) << engine->log();
    EXPECT_EQ(engine->linesStartingWith("Stream 0: Connected to N0CALL-7"), 1) << engine->log();
    EXPECT_EQ(engine->linesStartingWith(">>> Monitoring Own Information to AGWPE client application 0,"), 1);
    // The answer reached the meter as the station's own frame and counts.
    EXPECT_EQ(form->Frames->text(), "4");
    EXPECT_EQ(form->Bytes->text(), QString::number(info + 4 * 19));
    EXPECT_EQ(form->Datas->text(), QString::number(info));
}

TEST_F(DireWolfChannel, ShowsAnEngineThatStopsAnsweringWithinTwoTicksAndItsReturn)
{
    startEngine(1);
    writeIni(1, 1000);
    startMeter();
    ASSERT_FALSE(HasFatalFailure());
    const QString answering = QStringLiteral("Connected.......");
    const QString silent = QStringLiteral("Connected, engine not answering");
    const auto icon = [] { return CurrentNotifyIcon() ? CurrentNotifyIcon()->Icon : std::string(); };

    ASSERT_TRUE(WaitFor([&] { return !statusAtTick.isEmpty() && statusAtTick.last() == answering && !form->AwaitingEngineAnswer(); },
                        20000))
        << "ticks: " << statusAtTick.join(" | ").toStdString();
    ASSERT_NE(icon(), "GAUGEX");
    std::vector<EngineState> states;
    QObject::connect(form, &TForm1::PeriodEvaluated, form, [&](const PeriodRecord& r) { states.push_back(r.Engine); });

    engine->suspend();
    const qsizetype stoppedAt = statusAtTick.size();
    ASSERT_TRUE(WaitFor([&] { return statusAtTick.size() >= stoppedAt + 3; }, 30000));
    // The request of the first tick goes unanswered; the second tick says so, and the next keeps saying it.
    EXPECT_EQ(statusAtTick[stoppedAt + 1], silent) << "ticks: " << statusAtTick.join(" | ").toStdString();
    EXPECT_EQ(statusAtTick[stoppedAt + 2], silent);
    EXPECT_EQ(form->StatusBar->currentMessage(), silent);
    EXPECT_EQ(icon(), "GAUGEX");
    EXPECT_TRUE(form->AGWPE->Active()) << "a stopped engine keeps the connection";
    ASSERT_GE(states.size(), 3u);
    EXPECT_EQ(states[1], EngineState::Silent);
    EXPECT_EQ(states[2], EngineState::Silent);

    engine->resume();
    ASSERT_TRUE(WaitFor([&] { return !form->AwaitingEngineAnswer(); }, 20000)) << "no answer after SIGCONT";
    EXPECT_NE(icon(), "GAUGEX") << "the icon waits for no tick";
    const qsizetype answeredAt = statusAtTick.size();
    ASSERT_TRUE(WaitFor([&] { return statusAtTick.size() > answeredAt; }, 20000));
    EXPECT_EQ(statusAtTick[answeredAt], answering) << "ticks: " << statusAtTick.join(" | ").toStdString();
    // The period in which it came back was partly blind; the next one is seen whole.
    ASSERT_TRUE(WaitFor([&] { return statusAtTick.size() > answeredAt + 1; }, 20000));
    EXPECT_EQ(states.back(), EngineState::Answering);
}

// Dire Wolf lists six port slots whatever it has, but counts only its channels.
TEST_F(DireWolfChannel, RadioPortTheEngineHasNotIsSaidAndGivesNoFigures)
{
    startEngine(1);
    writeIni(2, 1000);
    startMeter();
    ASSERT_FALSE(HasFatalFailure());
    std::vector<EngineState> states;
    QObject::connect(form, &TForm1::PeriodEvaluated, form, [&](const PeriodRecord& r) { states.push_back(r.Engine); });
    const QString noPort = QStringLiteral("Connected, no radio port 2 on this engine");
    ASSERT_TRUE(WaitFor([&] { return statusAtTick.size() >= 2; }, 20000));
    EXPECT_EQ(statusAtTick.last(), noPort);
    EXPECT_EQ(form->StatusBar->currentMessage(), noPort);
    EXPECT_EQ(CurrentNotifyIcon() ? CurrentNotifyIcon()->Icon : std::string(), "GAUGEX");
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(states.back(), EngineState::NoPort);
}
