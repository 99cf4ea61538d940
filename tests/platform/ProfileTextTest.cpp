// SPDX-License-Identifier: GPL-3.0-or-later
#include "ProfileText.h"

#include <gtest/gtest.h>

namespace {

std::string lookup(const std::string& contents, const std::string& section, const std::string& key, bool* found = nullptr)
{
    bool f = false;
    std::string v = ProfileLookup(contents, section, key, f);
    if (found)
        *found = f;
    return v;
}

} // namespace

TEST(ProfileLookup, NamesMatchWithoutRegardToCaseAndValuesLoseSurroundingBlanks)
{
    const std::string ini = "[meter]\r\nagw_port =  3 \r\nCallSign=N0CALL-1\r\n";
    EXPECT_EQ(lookup(ini, "METER", "AGW_PORT"), "3");
    EXPECT_EQ(lookup(ini, "METER", "CALLSIGN"), "N0CALL-1");
}

TEST(ProfileLookup, MissingSectionKeyOrFileIsNotFound)
{
    bool found = true;
    EXPECT_EQ(lookup("", "METER", "BW", &found), "");
    EXPECT_FALSE(found);
    lookup("[OTHER]\nBW=9600\n", "METER", "BW", &found);
    EXPECT_FALSE(found);
    lookup("[METER]\nSAMPLE=1\n", "METER", "BW", &found);
    EXPECT_FALSE(found);
}

TEST(ProfileLookup, PresentKeyWithEmptyValueIsFoundEmpty)
{
    bool found = false;
    EXPECT_EQ(lookup("[METER]\nTCP_PORT=\n", "METER", "TCP_PORT", &found), "");
    EXPECT_TRUE(found);
}

TEST(ProfileLookup, KeysOfOtherSectionsAndCommentsAreNotTaken)
{
    const std::string ini = "[A]\nBW=1\n[METER]\n;BW=2\n# BW=3\nBW=4\n[B]\nBW=5\n";
    EXPECT_EQ(lookup(ini, "METER", "BW"), "4");
}

TEST(ProfileLookup, LongValueIsCutTo2047Characters)
{
    const std::string ini = "[METER]\nCALLSIGN=" + std::string(3000, 'K') + "\n";
    EXPECT_EQ(lookup(ini, "METER", "CALLSIGN"), std::string(2047, 'K'));
}

TEST(ProfileLookup, LastLineWithoutLineBreakIsRead)
{
    EXPECT_EQ(lookup("[METER]\nBW=9600", "METER", "BW"), "9600");
}

TEST(ProfileUpdate, MissingFileGetsSectionAndKeysInOrderOfWriting)
{
    std::string ini;
    for (const char* key : {"IP_ADDRESS", "TCP_PORT", "AGW_Port"})
        ini = ProfileUpdate(ini, "METER", key, "v");
    EXPECT_EQ(ini, "[METER]\nIP_ADDRESS=v\nTCP_PORT=v\nAGW_Port=v\n");
}

TEST(ProfileUpdate, ExistingKeyIsReplacedInPlaceWhateverItsCase)
{
    const std::string ini = "; my station\r\n[METER]\r\nAGW_PORT=2\r\nBW=1200\r\n";
    const std::string out = ProfileUpdate(ini, "METER", "AGW_Port", "5");
    EXPECT_EQ(out, "; my station\r\n[METER]\r\nAGW_PORT=5\r\nBW=1200\r\n");
    EXPECT_EQ(lookup(out, "METER", "AGW_PORT"), "5");
}

TEST(ProfileUpdate, NewKeyGoesToTheEndOfItsSectionAndOtherSectionsStay)
{
    const std::string ini = "[METER]\nBW=1200\n\n[OTHER]\nX=1\n";
    EXPECT_EQ(ProfileUpdate(ini, "meter", "SAMPLE", "30000"), "[METER]\nBW=1200\nSAMPLE=30000\n\n[OTHER]\nX=1\n");
}

TEST(ProfileUpdate, SectionAppendedAfterContentsWithoutFinalLineBreak)
{
    EXPECT_EQ(ProfileUpdate("[OTHER]\nX=1", "METER", "BW", "9600"), "[OTHER]\nX=1\n[METER]\nBW=9600\n");
    EXPECT_EQ(ProfileUpdate("[METER]\nX=1", "METER", "BW", "9600"), "[METER]\nX=1\nBW=9600\n");
}

// Found by fuzzing: the reader ends a last line at a lone carriage return, so
// an entry appended after it must not be glued to that line.
TEST(ProfileUpdate, FileEndingInALoneCarriageReturnStillReadsBackWhatWasWritten)
{
    for (const std::string contents : {"[METER]\r", "x\r\n[METER]\r", "[METER]\r\nBW=1200\r", "[OTHER]\r"}) {
        const std::string updated = ProfileUpdate(contents, "METER", "SAMPLE", "30000");
        bool found = false;
        EXPECT_EQ(ProfileLookup(updated, "METER", "SAMPLE", found), "30000") << contents;
        EXPECT_TRUE(found) << contents;
        EXPECT_EQ(updated.find("\r\r"), std::string::npos) << contents;
    }
}

TEST(ProfileUpdate, ValueCannotBreakTheFileIntoExtraLines)
{
    const std::string out = ProfileUpdate("", "METER", "CALLSIGN", "N0CALL\n[EVIL]\nBW=1");
    bool found = false;
    EXPECT_EQ(lookup(out, "METER", "CALLSIGN", &found), "N0CALL [EVIL] BW=1");
    lookup(out, "EVIL", "BW", &found);
    EXPECT_FALSE(found);
}
