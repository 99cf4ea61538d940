// SPDX-License-Identifier: GPL-3.0-or-later
// The modules the program loads, and what the user is told when one cannot be.
#include "MeterFixture.h"

#include "MeterMetrics.h"
#include "Modules.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <memory>

TEST(Modules, LoadFromTheFirstFolderThatHoldsThemOrSayWhy)
{
    QTemporaryDir empty, junk, wrong;
    ASSERT_TRUE(empty.isValid() && junk.isValid() && wrong.isValid());
    QFile text(junk.filePath("chanload-history.so"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("not a library\n") > 0);
    text.close();
    // A library, but the other module's.
    ASSERT_TRUE(QFile::copy(MODULE_DIR "/chanload-metrics.so", wrong.filePath("chanload-history.so")));

    struct Case {
        const char* name;
        QStringList folders;
        bool loads;
        QString why; // contained in the reason given
    } const cases[] = {
        {"in no folder", {empty.path(), empty.path() + "/lib"}, false,
         "chanload-history.so is in none of " + empty.path() + ", " + empty.path() + "/lib"},
        {"the first found is no library", {junk.path(), MODULE_DIR}, false, junk.filePath("chanload-history.so")},
        {"a library without the factory", {wrong.path()}, false, "has no chanload_make_history_window"},
        {"in the second folder", {empty.path(), MODULE_DIR}, true, ""},
    };
    for (const Case& c : cases) {
        QString why;
        EXPECT_EQ(LoadHistoryFactory(c.folders, why) != nullptr, c.loads) << c.name << ": " << why.toStdString();
        EXPECT_TRUE(why.contains(c.why)) << c.name << ": " << why.toStdString();
    }
    QString why;
    EXPECT_NE(LoadMetricsFactory({empty.path(), MODULE_DIR}, why), nullptr) << why.toStdString();
}

// Same periods, same size: the module's window is the linked one, pixel for pixel.
TEST(Modules, TheHistoryWindowDrawsAsTheLinkedOneDoes)
{
    EnsureApplication();
    QString why;
    const HistoryFactory loaded = LoadHistoryFactory({MODULE_DIR}, why);
    ASSERT_NE(loaded, nullptr) << why.toStdString();
    PeriodHistory periods;
    for (int i = 0; i < 100; ++i) {
        const auto percent = [i](int step) { return static_cast<int16_t>((i * step) % 100); };
        periods.Add({.Time = 1796000000 + 30 * i, .Port = 1, .Frames = i % 7, .Usage = percent(13), .Load = percent(1),
                     .Airtime = percent(7), .Engine = i % 25 == 3 ? EngineState::Silent : EngineState::Answering});
    }
    StationTally tally;
    QImage drawn[2];
    const HistoryFactory factories[] = {loaded, &MakeHistoryWindow};
    for (int i = 0; i < 2; ++i) {
        std::unique_ptr<THistoryPane> window(factories[i]({periods, nullptr, tally, [] { return 1; }}));
        window->resize(800, 520);
        window->show();
        QCoreApplication::processEvents();
        drawn[i] = window->grab().toImage();
    }
    EXPECT_EQ(drawn[0].size(), QSize(800, 520));
    EXPECT_TRUE(drawn[0] == drawn[1]);
}

// The test program's folder holds no module, as a program copied without them.
TEST_F(MeterTest, AModuleThatCannotBeLoadedIsToldEachTimeAndTheMeterGoesOn)
{
    Start();
    form->SetHistoryFactory(nullptr);
    const QString folders = QCoreApplication::applicationDirPath() + ", ";
    for (int opening = 1; opening <= 2; ++opening) {
        form->OpenHistory();
        EXPECT_EQ(form->HistoryWindow(), nullptr);
        ASSERT_EQ(errorBoxes.size(), opening);
        EXPECT_TRUE(errorBoxes.last().startsWith(
            "The history window cannot be opened: chanload-history.so is in none of " + folders))
            << errorBoxes.last().toStdString();
    }
    TMeterMetrics metrics(form);
    EXPECT_FALSE(metrics.Listen("127.0.0.1:9"));
    EXPECT_TRUE(metrics.Error().startsWith("cannot serve metrics: chanload-metrics.so is in none of " + folders))
        << metrics.Error().toStdString();
    EXPECT_TRUE(form->CheckTime->isActive());
}
