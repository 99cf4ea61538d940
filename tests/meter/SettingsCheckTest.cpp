// SPDX-License-Identifier: GPL-3.0-or-later
// What the settings check says about each kind of file, and what the reader
// makes of the same file: ranges, numbers that do not convert, and files that
// are not what they seem.
#include "Convert.h"
#include "MeterSettings.h"
#include "PrivateProfile.h"
#include "SettingsCheck.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SettingsCase {
    std::string Text;     // the file
    std::string Problem;  // expected line with FILE for the file's name; empty: no problem
    bool Fatal;
    int AgwPort;          // as LoadSettings reads it; -1: it refuses the file
};

} // namespace

TEST(SettingsCheck, EachFileGetsTheRightLineAndReadsAsExpected)
{
    const std::string M = "[METER]\n";
    const std::vector<SettingsCase> cases = {
        {M + "SAMPLE=30000\nBW=1200\nAGW_PORT=2\nTCP_PORT=8000\nTXDELAY=300\nTXTAIL=100\nRECONNECT=1\n", "", false, 2},
        {M + "SAMPLE=100\nBW=1200\nAGW_PORT=255\nTXDELAY=0\nTXTAIL=10000\nRECONNECT=0\n", "", false, 255},
        {M + "SAMPLE=0\n", "SAMPLE=0 in FILE is out of range: the sample period is 100 to 86400000 ms", true, 1},
        {M + "SAMPLE=99\n", "SAMPLE=99 in FILE is out of range: the sample period is 100 to 86400000 ms", true, 1},
        {M + "BW=-1200\n", "BW=-1200 in FILE is out of range: the bit rate is at least 1 bit/s", true, 1},
        // 9 bit/s for a second is 0.9 bytes: never a figure. 10 bit/s is one byte.
        {M + "SAMPLE=1000\nBW=9\n",
         "BW=9 in FILE is too low for SAMPLE=1000: less than one byte a period, so never a figure", true, 1},
        {M + "SAMPLE=1000\nBW=10\n", "", false, 1},
        {M + "AGW_PORT=0\n", "AGW_PORT=0 in FILE is out of range: the radio port is 1 to 255", true, 0},
        {M + "AGW_Port=256\n", "AGW_PORT=256 in FILE is out of range: the radio port is 1 to 255", true, 256},
        {M + "TCP_PORT=70000\n", "TCP_PORT=70000 in FILE is out of range: the engine's TCP port is 1 to 65535", true, 1},
        {M + "TXDELAY=-1\n", "TXDELAY=-1 in FILE is out of range: the preamble is 0 to 10000 ms", true, 1},
        {M + "TXTAIL=10001\n", "TXTAIL=10001 in FILE is out of range: the tail is 0 to 10000 ms", true, 1},
        {M + "RECONNECT=2\n", "RECONNECT=2 in FILE is out of range: it is 0 (off) or 1 (on)", true, 1},
        {M + "BW=fast\n", "BW=fast in FILE is not a valid integer value", true, -1},
        // Files that are not what they seem.
        {"\xEF\xBB\xBF[METER]\r\nAGW_PORT=3\r\n", "warning: FILE starts with a UTF-8 byte order mark, which is skipped",
         false, 3},
        {"[METER]\rAGW_PORT=4\rSAMPLE=0\r", "SAMPLE=0 in FILE is out of range: the sample period is 100 to 86400000 ms",
         true, 4},
        {"[RIG]\nAGW_PORT=5\n", "warning: FILE holds no [METER] section; the defaults apply", false, 1},
        {std::string("\xFF\xFE[\0M\0", 6), "warning: FILE is UTF-16 text, which is not read; save it as UTF-8 or plain "
                                            "ASCII; the defaults apply", false, 1},
        {std::string("[METER]\nAGW_PORT=6\n\0\0\0", 22), "warning: FILE holds NUL bytes and is not a text file; the "
                                                         "defaults apply", false, 6},
    };

    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("port1.ini"));
    const std::string file = QFile::encodeName(path).toStdString();
    SetProfileFilePath(path);
    for (const SettingsCase& c : cases) {
        SCOPED_TRACE(c.Text);
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(c.Text.data(), static_cast<qint64>(c.Text.size()));
        }
        const std::vector<SettingsProblem> problems = CheckSettingsFile();
        if (c.Problem.empty()) {
            EXPECT_TRUE(problems.empty()) << problems.front().Text;
        } else {
            std::string expected = c.Problem;
            expected.replace(expected.find("FILE"), 4, file);
            ASSERT_EQ(problems.size(), 1u);
            EXPECT_EQ(problems[0].Text, expected);
            EXPECT_EQ(problems[0].Fatal, c.Fatal);
        }
        MeterSettings s;
        try {
            LoadSettings(s);
            EXPECT_EQ(s.AgwPort, c.AgwPort);
        } catch (const EConvertError&) {
            EXPECT_EQ(c.AgwPort, -1) << "the reader refused the file";
        }
    }
    SetProfileFilePath(QString());
}
