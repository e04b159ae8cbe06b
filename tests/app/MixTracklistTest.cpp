#include "MixTracklist.h"

#include <gtest/gtest.h>

TEST(MixTracklist, TheWrittenPartStartsWithTheTrackPlayingThereAndCueTimesCountFrames)
{
    CMixTracklist list;
    list.Add(0, 0, "Artist One", "First", 120.0f);
    list.Add(44100 * 30, 1, "", "Second \"live\"", 0.0f);
    list.Add(44100 * 75 + 44100 / 3, 0, "Artist Three", "Third", 128.5f);
    list.Add(44100 * 120, 1, "Artist Four", "Fourth", 0.0f);

    list.Cut(0, 44100 * 500);
    EXPECT_EQ(list.TracklistText(), "    0:00  A  Artist One \xE2\x80\x93 First  120.0 BPM\n"
                                    "    0:30  B  Second \"live\"\n"
                                    "    1:15  A  Artist Three \xE2\x80\x93 Third  128.5 BPM\n"
                                    "    2:00  B  Artist Four \xE2\x80\x93 Fourth\n");
    const std::string cue = list.CueSheetText("Set", "set.wav");
    EXPECT_NE(cue.find("FILE \"set.wav\" WAVE\n"), std::string::npos);
    EXPECT_NE(cue.find("TITLE \"Second 'live'\""), std::string::npos);
    // 75 + 1/3 s: 75 CD frames a second, so a third of a second is frame 25.
    EXPECT_NE(cue.find("  TRACK 03 AUDIO\n    TITLE \"Third\"\n    PERFORMER \"Artist Three\"\n"
                       "    INDEX 01 01:15:25\n"),
              std::string::npos)
        << cue;

    // From 0:40 to 2:00: the second track starts the file, the fourth is not in it.
    list.Cut(44100 * 40, 44100 * 120);
    ASSERT_EQ(list.Tracks().size(), 2u);
    EXPECT_EQ(list.Tracks()[0].title, "Second \"live\"");
    EXPECT_DOUBLE_EQ(list.Tracks()[0].startSeconds, 0.0);
    EXPECT_NEAR(list.Tracks()[1].startSeconds, 35.0 + 1.0 / 3.0, 1e-9);
    EXPECT_NE(list.CueSheetText("Set", "x.wav").find("INDEX 01 00:00:00"), std::string::npos);
}
