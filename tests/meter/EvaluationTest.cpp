// SPDX-License-Identifier: GPL-3.0-or-later
#include "MeterFixture.h"

#include "Gauge.h"
#include "Pictures.h"

#include <QImage>
#include <QProgressBar>
#include <QTimer>
#include <QWindow>

namespace {

class EvaluationTest : public MeterTest {
protected:
    void SetUp() override
    {
        MeterTest::SetUp();
        StartConnected();
    }
    // One period's totals, then the tick.
    void Tick(int bytes, int datas, int intervalMs = 30000)
    {
        form->CheckTime->setInterval(intervalMs);
        SetTotals(1, bytes, datas);
        // Ticks come a period apart; the engine has answered by then.
        ASSERT_TRUE(WaitFor([this] { return !form->AwaitingEngineAnswer(); }));
        form->CheckTimeTimer(form->CheckTime);
    }
    QString Picture() const
    {
        const qint64 key = form->ImageBar->pixmap().cacheKey();
        QLabel* const images[] = {form->Image1, form->Image2, form->Image3, form->Image4};
        for (int i = 0; i < 4; ++i)
            if (images[i]->pixmap().cacheKey() == key)
                return QString("Image%1").arg(i + 1);
        return "other";
    }
};

} // namespace

TEST_F(EvaluationTest, WorkedExampleOverTenPeriods)
{
    Tick(1800, 1200);
    EXPECT_EQ(form->Usage->text(), "50%");
    EXPECT_EQ(form->Traffic->value(), 50);
    EXPECT_EQ(form->Gauge->value(), 66);
    EXPECT_EQ(form->AvgLoad->text(), "5%");
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_EQ(Picture(), "Image1");
    EXPECT_EQ(Totals(), (std::vector<std::string>{"0", "0", "0"}));
    EXPECT_EQ(Status(), "Connected.......");
    for (int i = 0; i < 9; ++i)
        Tick(1800, 1200);
    EXPECT_EQ(form->AvgLoad->text(), "50%");
    EXPECT_EQ(TrayIcon(), "GAUGE3");
    EXPECT_EQ(Picture(), "Image3");
    EXPECT_EQ(form->Usage->text(), "50%");
    EXPECT_EQ(form->Gauge->value(), 66);
}

TEST_F(EvaluationTest, LoadClassBoundaries)
{
    // At 1000 bit/s and a 1 s period, a load of L needs 10 L bytes in one period.
    form->BW->setText("1000");
    const std::pair<int, const char*> cases[] = {
        {0, "GAUGE1"}, {24, "GAUGE1"}, {25, "GAUGE2"}, {49, "GAUGE2"}, {50, "GAUGE3"},
        {74, "GAUGE3"}, {75, "GAUGE4"}, {100, "GAUGE4"}};
    for (const auto& [load, icon] : cases) {
        SampleHistory.fill({0, 0});
        Tick(10 * load, 0, 1000);
        EXPECT_EQ(form->AvgLoad->text(), QString("%1%").arg(load));
        EXPECT_EQ(TrayIcon(), icon) << load;
        EXPECT_EQ(Picture(), QString("Image%1").arg(icon[5])) << load;
    }
}

TEST_F(EvaluationTest, FiguresAreTruncatedAndBounded)
{
    Tick(1000, 0); // 1000 * 100 / 3600 = 27.78
    EXPECT_EQ(form->Usage->text(), "27%");
    SampleHistory.fill({0, 0});
    Tick(100000, 50000);
    EXPECT_EQ(form->Usage->text(), "100%");
    EXPECT_EQ(form->Traffic->value(), 100);
    EXPECT_EQ(form->AvgLoad->text(), "100%");
    EXPECT_EQ(form->Gauge->value(), 50);
}

TEST_F(EvaluationTest, FiguresHalfwayBetweenTwoPercentsAreTruncatedNotRounded)
{
    // At 1000 bit/s and a 40 s period: 980 bytes fill 24.5 % of the period.
    form->BW->setText("1000");
    Tick(980, 0, 40000);
    EXPECT_EQ(form->Usage->text(), "24%");
    EXPECT_EQ(form->Traffic->value(), 24);

    // 9800 bytes, 2401 of them data, in the ten periods: a load and an efficiency of 24.5 %.
    SampleHistory.fill({0, 0});
    Tick(9800, 2401, 40000);
    EXPECT_EQ(form->AvgLoad->text(), "24%");
    EXPECT_EQ(form->Gauge->value(), 24);
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_EQ(Picture(), "Image1");
}

TEST_F(EvaluationTest, LoadBackToZeroAfterABusyPeriodShowsTheLowestClass)
{
    form->BW->setText("1000");
    Tick(600, 0, 1000); // load 60: class 3
    ASSERT_EQ(TrayIcon(), "GAUGE3");
    ASSERT_EQ(Picture(), "Image3");
    // Ten empty periods push the busy one out of the history.
    for (int i = 0; i < 10; ++i)
        Tick(0, 0, 1000);
    EXPECT_EQ(form->AvgLoad->text(), "0%");
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_EQ(Picture(), "Image1");
}

TEST_F(EvaluationTest, ShortIntervalIsEvaluatedOverItsOwnLength)
{
    Tick(30, 0, 500); // capacity 60 bytes in half a second
    EXPECT_EQ(form->Usage->text(), "50%");
}

TEST_F(EvaluationTest, ZeroRateShowsNothingAndKeepsCountingIntoTheNextPeriod)
{
    form->BW->setText("0");
    Tick(1800, 1200);
    EXPECT_EQ(form->Usage->text(), "0");
    EXPECT_EQ(Totals(), (std::vector<std::string>{"1", "1800", "1200"}));
    form->BW->setText("1200");
    form->CheckTimeTimer(form->CheckTime);
    EXPECT_EQ(form->Usage->text(), "50%");
    EXPECT_EQ(Totals(), (std::vector<std::string>{"0", "0", "0"}));
}

TEST_F(EvaluationTest, NegativeRateLeavesIconAndPictureAsTheyWere)
{
    form->BW->setText("1000");
    Tick(600, 0, 1000); // load 60
    ASSERT_EQ(TrayIcon(), "GAUGE3");
    form->BW->setText("-1200");
    Tick(1800, 0);
    EXPECT_EQ(TrayIcon(), "GAUGE3");
    EXPECT_EQ(Picture(), "Image3");
    EXPECT_TRUE(form->Usage->text().startsWith('-') || form->Usage->text() == "0%");
    EXPECT_EQ(form->Traffic->value(), 0);
}

TEST_F(EvaluationTest, QuietChannelShowsZeroAndTheLowestClass)
{
    for (int i = 0; i < 3; ++i)
        Tick(0, 0);
    EXPECT_EQ(form->AvgLoad->text(), "0%");
    EXPECT_EQ(form->Gauge->value(), 0);
    EXPECT_EQ(TrayIcon(), "GAUGE1");
    EXPECT_EQ(Picture(), "Image1");
}

TEST_F(EvaluationTest, BadRateTextIsReportedAndTheTickStops)
{
    form->BW->setText("fast");
    SetTotals(1, 10, 5);
    form->CheckTime->setInterval(20);
    ASSERT_TRUE(WaitFor([this] { return !errorBoxes.isEmpty(); }));
    form->CheckTime->stop();
    EXPECT_EQ(errorBoxes.front(), "'fast' is not a valid integer value.");
    EXPECT_EQ(form->Bytes->text(), "10");
}

TEST_F(EvaluationTest, PicturesAreDrawnAgainForAnotherScreenKeepingTheLoadClass)
{
    form->BW->setText("1000");
    Tick(600, 0, 1000); // load 60: class 3
    const qint64 before = form->Image3->pixmap().cacheKey();
    QWindow* window = form->windowHandle();
    ASSERT_NE(window, nullptr);
    emit window->screenChanged(window->screen());
    EXPECT_NE(form->Image3->pixmap().cacheKey(), before);
    EXPECT_EQ(Picture(), "Image3");
}

// Each class's thermometer is drawn when the class is first shown, and the
// image bar shows the very picture the class has.
TEST_F(EvaluationTest, EachLoadClassPictureIsDrawnWhenFirstShown)
{
    const auto drawn = [this] {
        std::vector<bool> out;
        for (QLabel* image : {form->Image1, form->Image2, form->Image3, form->Image4})
            out.push_back(!image->pixmap().isNull());
        return out;
    };
    const auto shows = [this](int Class) {
        return form->ImageBar->pixmap().toImage() == ThermometerPicture(Class, form->devicePixelRatioF()).toImage();
    };
    EXPECT_EQ(drawn(), (std::vector<bool>{true, false, false, false}));
    EXPECT_TRUE(shows(1));

    // 1000 bit/s, periods of a second: 100 bytes a period, a load of a tenth
    // of the bytes of the last ten periods.
    form->BW->setText("1000");
    struct Step {
        int bytes;
        std::vector<bool> drawn;
    };
    const Step steps[] = {{300, {true, true, false, false}},  // 30 %: class 2
                          {150, {true, true, false, false}},  // 45 %: class 2 again
                          {200, {true, true, true, false}},   // 65 %: class 3
                          {300, {true, true, true, true}}};   // 95 %: class 4
    int sum = 0;
    for (const Step& step : steps) {
        Tick(step.bytes, 0, 1000);
        sum += step.bytes;
        const int load = sum / 10;
        const int expected = load <= 24 ? 1 : load <= 49 ? 2 : load <= 74 ? 3 : 4;
        SCOPED_TRACE(load);
        EXPECT_EQ(Picture(), QString("Image%1").arg(expected));
        EXPECT_TRUE(shows(expected));
        EXPECT_EQ(drawn(), step.drawn);
    }
}
