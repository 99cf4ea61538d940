// SPDX-License-Identifier: GPL-3.0-or-later
#include "Convert.h"
#include "PrivateProfile.h"
#include "meter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit()); }
    QString path() const { return QDir(dir.path()).filePath("chanload/CHANLOAD.INI"); }
    void write(const QByteArray& text)
    {
        ASSERT_TRUE(QDir(dir.path()).mkpath("chanload"));
        QFile f(path());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    QByteArray read() const
    {
        QFile f(path());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    std::string loadError()
    {
        try {
            LoadSettings(s);
        } catch (const EConvertError& e) {
            return e.what();
        }
        return "(no error)";
    }

    QTemporaryDir dir;
    MeterSettings s{"old", -1, -1, -1, -1, "old"};
};

} // namespace

TEST_F(SettingsTest, NoFileGivesDefaultsAndCreatesNone)
{
    LoadSettings(s);
    EXPECT_EQ(s.IpAddress, "127.0.0.1");
    EXPECT_EQ(s.TcpPort, 8000);
    EXPECT_EQ(s.AgwPort, 1);
    EXPECT_EQ(s.SampleMs, 30000);
    EXPECT_EQ(s.ChannelBps, 1200);
    EXPECT_EQ(s.CallSign, "NOBODY-2");
    EXPECT_EQ(s.TxDelayMs, 300);
    EXPECT_EQ(s.TxTailMs, 100);
    EXPECT_FALSE(QFile::exists(path()));
}

TEST_F(SettingsTest, SaveCreatesTheFileInKeyOrderAndReadsBackExactly)
{
    const MeterSettings saved{"192.0.2.7", 8001, 3, 45000, 9600, "n0call-15"};
    SaveSettings(saved);
    EXPECT_EQ(read(), "[METER]\nIP_ADDRESS=192.0.2.7\nTCP_PORT=8001\nAGW_Port=3\nSAMPLE=45000\nBW=9600\nCALLSIGN=n0call-15\n");
    LoadSettings(s);
    EXPECT_EQ(s.IpAddress, saved.IpAddress);
    EXPECT_EQ(s.TcpPort, saved.TcpPort);
    EXPECT_EQ(s.AgwPort, saved.AgwPort);
    EXPECT_EQ(s.SampleMs, saved.SampleMs);
    EXPECT_EQ(s.ChannelBps, saved.ChannelBps);
    EXPECT_EQ(s.CallSign, saved.CallSign);
}

TEST_F(SettingsTest, RadioPortKeyIsOneKeyWhateverItsCase)
{
    write("[meter]\nagw_port=3\n");
    LoadSettings(s);
    EXPECT_EQ(s.AgwPort, 3);
    write("[METER]\nAGW_PORT=2\n");
    SaveSettings({"127.0.0.1", 8000, 5, 30000, 1200, "N0CALL"});
    EXPECT_EQ(read().count("AGW_"), 1);
    LoadSettings(s);
    EXPECT_EQ(s.AgwPort, 5);
}

TEST_F(SettingsTest, NumberFormsAndLimits)
{
    write("[METER]\nBW=$2580\nSAMPLE= 30000\nTCP_PORT=2147483647\n");
    LoadSettings(s);
    EXPECT_EQ(s.ChannelBps, 9600);
    EXPECT_EQ(s.SampleMs, 30000);
    EXPECT_EQ(s.TcpPort, 2147483647);
}

TEST_F(SettingsTest, BadNumberStopsAtItsKeyAndKeepsTheFieldsAfterIt)
{
    write("[METER]\nIP_ADDRESS=192.0.2.1\nTCP_PORT=\nSAMPLE=5\n");
    EXPECT_EQ(loadError(), "'' is not a valid integer value");
    EXPECT_EQ(s.IpAddress, "192.0.2.1");
    EXPECT_EQ(s.TcpPort, -1);
    EXPECT_EQ(s.SampleMs, -1);
    EXPECT_EQ(s.CallSign, "old");

    write("[METER]\nSAMPLE=30000ms\n");
    EXPECT_EQ(loadError(), "'30000ms' is not a valid integer value");
    write("[METER]\nTCP_PORT=4294967296\n");
    EXPECT_EQ(loadError(), "'4294967296' is not a valid integer value");
}

TEST_F(SettingsTest, LongCallsignIsCutTo2047Characters)
{
    write("[METER]\nCALLSIGN=" + QByteArray(3000, 'C') + "\n");
    LoadSettings(s);
    EXPECT_EQ(s.CallSign, std::string(2047, 'C'));
}

TEST_F(SettingsTest, TextsKeepEveryByte)
{
    SaveSettings({"h\xf6st", 8000, 1, 30000, 1200, "D\xc4" "1ABC"});
    LoadSettings(s);
    EXPECT_EQ(s.IpAddress, "h\xf6st");
    EXPECT_EQ(s.CallSign, "D\xc4" "1ABC");
}

TEST_F(SettingsTest, RefusedSaveThrowsTheFileError)
{
    // Where the configuration directory should be, a file stands.
    const QString blocked = QDir(dir.path()).filePath("blocked");
    QFile f(blocked);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    qputenv("XDG_CONFIG_HOME", blocked.toLocal8Bit());
    try {
        SaveSettings({"127.0.0.1", 8000, 1, 30000, 1200, "N0CALL"});
        ADD_FAILURE() << "no error";
    } catch (const EIniFileException& e) {
        EXPECT_STREQ(e.what(), "Unable to write to CHANLOAD.INI");
    }
}
