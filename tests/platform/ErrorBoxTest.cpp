// SPDX-License-Identifier: GPL-3.0-or-later
#include "ErrorBox.h"
#include "Process.h"

#include <QStringList>

#include <gtest/gtest.h>

#include <stdexcept>

TEST(ErrorBox, FullStopIsAppendedOnlyAfterCharactersThatSortAfterIt)
{
    EXPECT_EQ(ErrorBoxText("'x' is not a valid integer value"), "'x' is not a valid integer value.");
    EXPECT_EQ(ErrorBoxText("Unable to write to CHANLOAD.INI"), "Unable to write to CHANLOAD.INI.");
    EXPECT_EQ(ErrorBoxText("Done."), "Done.");
    EXPECT_EQ(ErrorBoxText("'' is not a valid integer value"), "'' is not a valid integer value.");
    EXPECT_EQ(ErrorBoxText("ends with a blank "), "ends with a blank ");
    EXPECT_EQ(ErrorBoxText("(1,2)"), "(1,2)");
    EXPECT_EQ(ErrorBoxText(""), "");
}

TEST(ErrorBox, BytesOfTheTextSurviveAsLatin1)
{
    EXPECT_EQ(ErrorBoxText("'\xe9t\xe9' x"), QString::fromLatin1("'\xe9t\xe9' x."));
}

TEST(GuardEvent, ExceptionEndsTheHandlerAndIsShownOnce)
{
    QStringList shown;
    SetErrorBoxHandler([&](const QString& t) { shown << t; });
    int stepsRun = 0;
    GuardEvent([&] {
        ++stepsRun;
        throw std::runtime_error("'abc' is not a valid integer value");
        ++stepsRun; // never reached
    });
    GuardEvent([&] { ++stepsRun; });
    SetErrorBoxHandler(nullptr);
    EXPECT_EQ(stepsRun, 2);
    EXPECT_EQ(shown, QStringList{"'abc' is not a valid integer value."});
}

TEST(EndProcess, HandlerReceivesTheStatusInsteadOfEndingTheProcess)
{
    std::vector<int> statuses;
    SetEndProcessHandler([&](int s) { statuses.push_back(s); });
    EndProcess(1);
    EndProcess(0);
    SetEndProcessHandler(nullptr);
    EXPECT_EQ(statuses, (std::vector<int>{1, 0}));
}

TEST(EndProcessDeathTest, EndsAtOnceWithTheStatus)
{
    EXPECT_EXIT(EndProcess(3), ::testing::ExitedWithCode(3), "");
}
