#include "CdCueSheet.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SheetCase {
    const char* name;
    const char* text;
    int tracks; // 0: refused
};

const SheetCase kSheets[] = {
    {"mixed mode",
     "FILE \"disc.bin\" BINARY\nTRACK 01 MODE1/2352\nINDEX 01 00:00:00\n"
     "TRACK 02 AUDIO\nPREGAP 00:02:00\nINDEX 00 10:00:00\nINDEX 01 10:02:00\n",
     2},
    {"windows line ends, byte-order mark, comments",
     "\xEF\xBB\xBFREM made by hand\r\nTITLE \"x y\"\r\nfile \"a b.bin\" binary\r\n  track 1 audio\r\n"
     "    index 1 00:00:00\r\n",
     1},
    {"no FILE", "TRACK 01 AUDIO\nINDEX 01 00:00:00\n", 0},
    {"two FILEs", "FILE \"a.bin\" BINARY\nFILE \"b.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 0},
    {"not BINARY", "FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 0},
    {"cooked sectors", "FILE \"a.iso\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\n", 0},
    {"track numbers skip",
     "FILE \"a\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nTRACK 03 AUDIO\n"
     "INDEX 01 01:00:00\n",
     0},
    {"track without INDEX 01", "FILE \"a\" BINARY\nTRACK 01 AUDIO\nINDEX 00 00:00:00\n", 0},
    {"seconds 60", "FILE \"a\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:60:00\n", 0},
    {"frames 75", "FILE \"a\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:75\n", 0},
    {"starts go back",
     "FILE \"a\" BINARY\nTRACK 01 AUDIO\nINDEX 01 05:00:00\nTRACK 02 AUDIO\n"
     "INDEX 01 04:00:00\n",
     0},
    {"negative position", "FILE \"a\" BINARY\nTRACK 01 AUDIO\nINDEX 01 -1:00:00\n", 0},
    {"huge minutes", "FILE \"a\" BINARY\nTRACK 01 AUDIO\nINDEX 01 99999999:00:00\n", 0},
    {"unterminated quote", "FILE \"a BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", 0},
    {"empty", "", 0},
};

} // namespace

TEST(CdCueSheet, AcceptsWellFormedSheetsAndRefusesLyingOnes)
{
    for (const SheetCase& sheet : kSheets) {
        CCdCueSheet parser;
        const std::string text = sheet.text;
        EXPECT_EQ(parser.Parse(text.data(), text.size()) != 0, sheet.tracks > 0) << sheet.name;
        EXPECT_EQ(static_cast<int>(parser.Tracks().size()), sheet.tracks) << sheet.name;
    }
}

TEST(CdCueSheet, KeepsTrackKindsAndStartsInSectors)
{
    const std::string text = kSheets[0].text;
    CCdCueSheet parser;
    ASSERT_EQ(parser.Parse(text.data(), text.size()), 1);
    EXPECT_EQ(parser.FileName(), "disc.bin");
    ASSERT_EQ(parser.Tracks().size(), 2u);
    EXPECT_FALSE(parser.Tracks()[0].audio);
    EXPECT_EQ(parser.Tracks()[0].firstSector, 0u);
    EXPECT_TRUE(parser.Tracks()[1].audio);
    // INDEX 00 and PREGAP leave the start at INDEX 01: 10:02:00 = 10 x 4500 + 2 x 75.
    EXPECT_EQ(parser.Tracks()[1].firstSector, 45150u);
}

TEST(CdCueSheet, EveryTruncationIsRefusedOrAValidPrefix)
{
    const std::string text = kSheets[0].text;
    for (size_t cut = 0; cut <= text.size(); ++cut) {
        CCdCueSheet parser;
        if (parser.Parse(text.data(), cut) == 0) {
            EXPECT_TRUE(parser.Tracks().empty() && parser.FileName().empty()) << "cut at " << cut;
            continue;
        }
        // A sheet cut after a complete INDEX line is a sheet with fewer tracks.
        EXPECT_LE(parser.Tracks().size(), 2u) << "cut at " << cut;
        EXPECT_EQ(parser.Tracks()[0].firstSector, 0u);
    }
}

TEST(CdCueSheet, RefusesOversizedInput)
{
    const std::string longLine = "FILE \"" + std::string(CCdCueSheet::kMaxLineBytes, 'a') +
                                 "\" BINARY\n"
                                 "TRACK 01 AUDIO\nINDEX 01 00:00:00\n";
    const std::string tooLarge =
        std::string(kSheets[0].text) + std::string(CCdCueSheet::kMaxSheetBytes, '\n');
    std::string hundredTracks = "FILE \"a\" BINARY\n"; // track 100 cannot be written in two digits
    for (int t = 1; t <= 100; ++t) {
        char lines[64];
        std::snprintf(lines, sizeof lines, "TRACK %02d AUDIO\nINDEX 01 %02d:00:00\n", t, t);
        hundredTracks += lines;
    }
    for (const std::string* text : {&longLine, &tooLarge, static_cast<const std::string*>(&hundredTracks)}) {
        CCdCueSheet parser;
        EXPECT_EQ(parser.Parse(text->data(), text->size()), 0);
    }
    CCdCueSheet parser;
    EXPECT_EQ(parser.Parse(nullptr, 10), 0);
    EXPECT_EQ(parser.Load("/nonexistent/folder/disc.cue"), 0);
}
