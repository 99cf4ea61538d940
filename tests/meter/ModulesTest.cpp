// SPDX-License-Identifier: GPL-3.0-or-later
// The history window and the metrics endpoint made by the modules the program
// loads, and what the user is told when one cannot be loaded.
#include "MeterFixture.h"

#include "MeterMetrics.h"
#include "Modules.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>

#include <memory>

namespace {

QLabel* labelNamed(QWidget* window, const QString& name)
{
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->accessibleName() == name)
            return l;
    return nullptr;
}

int freePort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost, 0) ? probe.serverPort() : 0;
}

} // namespace

TEST(HistoryModule, LoadsFromTheFirstFolderThatHoldsItOrSaysWhy)
{
    QTemporaryDir empty, notALibrary;
    ASSERT_TRUE(empty.isValid() && notALibrary.isValid());
    const QString junk = notALibrary.filePath("chanload-history.so");
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("not a library\n");
    f.close();

    struct Case {
        const char* name;
        QStringList folders;
        bool loads;
        QString why; // contained in the reason given
    } const cases[] = {
        {"in no folder", {empty.path()}, false, "chanload-history.so is in none of " + empty.path()},
        {"in none of two", {empty.path(), empty.path() + "/lib"}, false,
         empty.path() + ", " + empty.path() + "/lib"},
        {"a file that is no library", {notALibrary.path(), MODULE_DIR}, false, junk},
        {"a library without the factory", {MODULE_WITHOUT_FACTORY_DIR}, false, "chanload_make_history_window"},
        {"in the second folder", {empty.path(), MODULE_DIR}, true, ""},
    };
    for (const Case& c : cases) {
        QString why;
        const HistoryFactory factory = LoadHistoryFactory(c.folders, why);
        EXPECT_EQ(factory != nullptr, c.loads) << c.name << ": " << why.toStdString();
        if (!c.loads) {
            EXPECT_TRUE(why.contains(c.why)) << c.name << ": " << why.toStdString();
        }
    }
}

TEST_F(MeterTest, TheModulesWindowShowsEachNewPeriod)
{
    StartConnected();
    QString why;
    const HistoryFactory factory = LoadHistoryFactory({MODULE_DIR}, why);
    ASSERT_NE(factory, nullptr) << why.toStdString();
    form->SetHistoryFactory(factory);
    form->OpenHistory();
    QWidget* const window = form->HistoryWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_STREQ(window->metaObject()->className(), "THistoryWindow");
    EXPECT_TRUE(window->isVisible());
    QLabel* const frames = labelNamed(window, "Frames");
    ASSERT_NE(frames, nullptr);

    SetTotals(3, 900, 600);
    ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(frames->text(), "3");
    EXPECT_EQ(labelNamed(window, "Usage")->text(), form->Usage->text());
    EXPECT_TRUE(errorBoxes.isEmpty()) << errorBoxes.join('\n').toStdString();
}

// Same periods, same size: the module's window is the linked one, pixel for pixel.
TEST(HistoryModule, DrawsAsTheLinkedWindowDoes)
{
    EnsureApplication();
    QString why;
    const HistoryFactory loaded = LoadHistoryFactory({MODULE_DIR}, why);
    ASSERT_NE(loaded, nullptr) << why.toStdString();
    PeriodHistory periods;
    for (int i = 0; i < 100; ++i) {
        PeriodRecord r;
        r.Time = 1796000000 + 30 * i;
        r.Port = 1;
        r.Frames = i % 7;
        r.Load = static_cast<int16_t>(i % 90);
        r.Usage = static_cast<int16_t>((i * 13) % 100);
        r.Airtime = static_cast<int16_t>((i * 7) % 100);
        r.Engine = i % 25 == 3 ? EngineState::Silent : EngineState::Answering;
        periods.Add(r);
    }
    StationTally tally;
    const HistorySources sources{periods, nullptr, tally, [] { return 1; }};
    QImage drawn[2];
    const HistoryFactory factories[] = {loaded, &MakeHistoryWindow};
    for (int i = 0; i < 2; ++i) {
        std::unique_ptr<THistoryPane> window(factories[i](sources));
        window->resize(800, 520);
        window->show();
        QCoreApplication::processEvents();
        drawn[i] = window->grab().toImage();
    }
    EXPECT_EQ(drawn[0].size(), QSize(800, 520));
    EXPECT_TRUE(drawn[0] == drawn[1]);
}

// The test program's folder holds no module, as a program installed without
// it would not: each opening tells why, and the meter goes on.
TEST_F(MeterTest, AHistoryModuleThatCannotBeLoadedIsToldInAnErrorBoxAtEachOpening)
{
    Start();
    form->SetHistoryFactory(nullptr);
    const QString said = "The history window cannot be opened: chanload-history.so is in none of "
                         + QCoreApplication::applicationDirPath() + ", ";
    for (int opening = 1; opening <= 2; ++opening) {
        form->OpenHistory();
        EXPECT_EQ(form->HistoryWindow(), nullptr);
        ASSERT_EQ(errorBoxes.size(), opening);
        EXPECT_TRUE(errorBoxes.last().startsWith(said)) << errorBoxes.last().toStdString();
        EXPECT_TRUE(errorBoxes.last().endsWith("/chanload.")) << errorBoxes.last().toStdString();
    }
    EXPECT_TRUE(form->CheckTime->isActive());
}

TEST_F(MeterTest, TheMetricsModulesEndpointServesThePage)
{
    Start();
    QString why;
    const MetricsFactory factory = LoadMetricsFactory({MODULE_DIR}, why);
    ASSERT_NE(factory, nullptr) << why.toStdString();
    TMeterMetrics metrics(form, factory);
    const int port = freePort();
    ASSERT_TRUE(metrics.Listen(QString::number(port))) << metrics.Error().toStdString();

    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    client.write("GET /metrics HTTP/1.0\r\n\r\n");
    QByteArray answer;
    EXPECT_TRUE(WaitFor([&] {
        answer += client.readAll();
        return answer.contains("chanload_engine_up{port=\"1\"} 0\n");
    })) << answer.toStdString();
    EXPECT_TRUE(answer.startsWith("HTTP/1.0 200") || answer.startsWith("HTTP/1.1 200")) << answer.left(40).toStdString();
}

TEST_F(MeterTest, AMetricsModuleThatCannotBeLoadedIsTheReasonNoMetricsAreServed)
{
    Start();
    TMeterMetrics metrics(form);
    const int port = freePort();
    EXPECT_FALSE(metrics.Listen(QString::number(port)));
    EXPECT_TRUE(metrics.Error().startsWith("cannot serve metrics: chanload-metrics.so is in none of "
                                           + QCoreApplication::applicationDirPath() + ", "))
        << metrics.Error().toStdString();
    // Nothing listens there.
    QTcpSocket client;
    client.connectToHost(QHostAddress::LocalHost, static_cast<quint16>(port));
    EXPECT_TRUE(WaitFor([&] { return client.state() == QAbstractSocket::UnconnectedState; }));
}
