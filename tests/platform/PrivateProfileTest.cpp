// SPDX-License-Identifier: GPL-3.0-or-later
#include "PrivateProfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>


namespace {

class PrivateProfileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        configHome = dir.filePath("config");
        qputenv("XDG_CONFIG_HOME", configHome.toLocal8Bit());
    }
    QString iniPath() const { return QDir(configHome).filePath("chanload/CHANLOAD.INI"); }
    QByteArray fileBytes() const
    {
        QFile f(iniPath());
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    QTemporaryDir dir;
    QString configHome;
};

} // namespace

TEST_F(PrivateProfileTest, FileLivesInTheUsersConfigurationDirectory)
{
    EXPECT_EQ(ProfileFilePath(), iniPath());
}

TEST_F(PrivateProfileTest, ReadingAMissingFileGivesTheDefaultAndCreatesNothing)
{
    EXPECT_EQ(GetPrivateProfileString("METER", "BW", "1200"), "1200");
    EXPECT_FALSE(QFile::exists(iniPath()));
    EXPECT_FALSE(QDir(configHome).exists());
}

TEST_F(PrivateProfileTest, FirstWriteCreatesDirectoryAndFileAndKeepsOtherLines)
{
    WritePrivateProfileString("METER", "BW", "9600");
    EXPECT_EQ(fileBytes(), "[METER]\nBW=9600\n");
    QFile f(iniPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("; hand-written note\n[METER]\nBW=9600\n[RIG]\nPTT=none\n");
    f.close();
    WritePrivateProfileStrings("METER", {{"BW", "300"}, {"SAMPLE", "1000"}});
    EXPECT_EQ(fileBytes(), "; hand-written note\n[METER]\nBW=300\nSAMPLE=1000\n[RIG]\nPTT=none\n");
    EXPECT_EQ(GetPrivateProfileString("meter", "sample", ""), "1000");
}

TEST_F(PrivateProfileTest, ConfigurationPathThatIsAFileRefusesTheWrite)
{
    // A directory cannot be made where a file stands, whoever runs the test.
    QFile blocker(configHome);
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    EXPECT_THROW(WritePrivateProfileString("METER", "BW", "300"), EIniFileException);
}

TEST_F(PrivateProfileTest, FileAtTheOldPlaceIsReadUntilTheFirstSaveWritesTheNewOne)
{
    const QString old = QDir(configHome).filePath("CHANLOAD.INI");
    ASSERT_TRUE(QDir().mkpath(configHome));
    {
        QFile f(old);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("; mine\n[METER]\nBW=300\n");
    }
    EXPECT_EQ(ProfileFilePath(), old);
    EXPECT_EQ(ProfileSavePath(), iniPath());
    EXPECT_EQ(GetPrivateProfileString("METER", "BW", "1200"), "300");

    WritePrivateProfileString("METER", "SAMPLE", "1000");
    EXPECT_EQ(fileBytes(), "; mine\n[METER]\nBW=300\nSAMPLE=1000\n");
    EXPECT_EQ(ProfileFilePath(), iniPath());
    QFile f(old);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "; mine\n[METER]\nBW=300\n") << "the old file is left as it was";
}
