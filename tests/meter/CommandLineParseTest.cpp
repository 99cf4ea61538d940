// SPDX-License-Identifier: GPL-3.0-or-later
// The command line as bytes: file names pass through whatever their
// encoding, and Qt's standard options are left for Qt.
#include "CommandLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

struct ParseCase {
    std::vector<QByteArray> Arguments; // after the program's name
    std::optional<int> Status;
    QByteArray Config, Log;
    bool Headless;
};

} // namespace

TEST(CommandLineParse, FileNamesAsBytesAndQtOptionsLeftAlone)
{
    const std::vector<ParseCase> cases = {
        {{"--config", "port\xff.ini"}, std::nullopt, "port\xff.ini", "", false},
        {{"--log=load\xfe\xff.csv", "--headless"}, std::nullopt, "", "load\xfe\xff.csv", true},
        {{"-config", "a.ini", "--config=b.ini"}, std::nullopt, "b.ini", "", false},
        {{"-style", "fusion", "--config", "c.ini"}, std::nullopt, "c.ini", "", false},
        {{"--style", "fusion", "-stylesheet=x.qss", "-reverse", "-platform", "offscreen"}, std::nullopt, "", "", false},
        // A Qt option's value is never taken for a file name of ours.
        {{"-qwindowtitle", "--log", "--config", "d.ini"}, std::nullopt, "d.ini", "", false},
        {{"-style"}, 2, "", "", false},
        {{"-reverse", "stray.ini"}, 2, "", "", false},
    };
    for (const ParseCase& c : cases) {
        QList<QByteArray> arguments{"chanload"};
        for (const QByteArray& a : c.Arguments)
            arguments << a;
        SCOPED_TRACE(arguments.join(' ').toStdString());
        TCommandLine line;
        EXPECT_EQ(ParseCommandLine(arguments, line), c.Status);
        if (c.Status)
            continue;
        EXPECT_EQ(line.ConfigFileName, c.Config);
        EXPECT_EQ(line.LogFileName, c.Log);
        EXPECT_EQ(line.Headless, c.Headless);
    }
}
