// SPDX-License-Identifier: GPL-3.0-or-later
// The history window made by the module the program loads, and what the user
// is told when it cannot be loaded.
#include "MeterFixture.h"

#include "HistoryModule.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
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
        {"a file that is no library", {notALibrary.path(), HISTORY_MODULE_DIR}, false, junk},
        {"a library without the factory", {MODULE_WITHOUT_FACTORY_DIR}, false, "chanload_make_history_window"},
        {"in the second folder", {empty.path(), HISTORY_MODULE_DIR}, true, ""},
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
    const HistoryFactory factory = LoadHistoryFactory({HISTORY_MODULE_DIR}, why);
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
    const HistoryFactory loaded = LoadHistoryFactory({HISTORY_MODULE_DIR}, why);
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
