#include "ListLoadReport.h"

#include <gtest/gtest.h>

#include <string>

TEST(ListLoadReport, AnEmptyReportHasNoMessage)
{
    EXPECT_EQ(ListLoadReport{}.Message(), "");
}

TEST(ListLoadReport, TheMessageNamesTheFirstLossesAndCountsTheRest)
{
    ListLoadReport report;
    for (int i = 0; i < 7; ++i)
        report.Drop("/music/t" + std::to_string(i) + ".mp3", ListLoadReport::kNotRegularFile);
    report.droppedUnlisted = 5;
    EXPECT_EQ(report.Message(3), "12 files could not be added:\n"
                                 "/music/t0.mp3 (not a regular file)\n"
                                 "/music/t1.mp3 (not a regular file)\n"
                                 "/music/t2.mp3 (not a regular file)\n"
                                 "... and 9 more");

    ListLoadReport one;
    one.Drop("/music/Album", ListLoadReport::kLinkLoop);
    EXPECT_EQ(one.Message(),
              "1 folder could not be added:\n/music/Album (a link back to a folder that holds it)");
    one.Drop("/music/x.wav", ListLoadReport::kGone);
    EXPECT_EQ(one.Message().substr(0, one.Message().find('\n')), "2 files and folders could not be added:");
}

TEST(ListLoadReport, TheMessageTellsHowManyTheFullListLeftOut)
{
    ListLoadReport report;
    report.beyondLimit = 4001;
    EXPECT_EQ(report.Message(), "The list is full: 4001 tracks were left out (999 at most).");
    report.beyondLimit = 1;
    EXPECT_EQ(report.Message(), "The list is full: 1 track was left out (999 at most).");
    report.beyondLimit = ListLoadReport::kMaxCounted;
    report.countingStopped = true;
    EXPECT_EQ(report.Message(), "The list is full: at least 1000000 tracks were left out (999 at most).");
    report.Drop("/music/pipe.wav", ListLoadReport::kNotRegularFile);
    EXPECT_EQ(report.Message(), "1 file could not be added:\n/music/pipe.wav (not a regular file)\n\n"
                                "The list is full: at least 1000000 tracks were left out (999 at most).");
}

TEST(ListLoadReport, ALongLocationShowsItsEndCutAtACharacter)
{
    ListLoadReport report;
    // Two-byte characters: a cut in the middle of one would leave a broken byte.
    std::string location = "/";
    for (int i = 0; i < 100; ++i)
        location += "\xC3\xA9";
    location += "/song.mp3";
    report.Drop(location, ListLoadReport::kGone);
    const std::string message = report.Message();
    const std::string line = message.substr(message.find('\n') + 1);
    EXPECT_EQ(line.substr(0, 3), "...");
    EXPECT_NE(static_cast<unsigned char>(line[3]) & 0xC0, 0x80) << "starts on a character";
    EXPECT_NE(line.find("/song.mp3 (no longer there)"), std::string::npos);
    EXPECT_LT(line.size(), location.size());
}
