#include "TrackText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace TrackText;

TEST(TrackText, Latin1AndUtf8ConvertBothWays)
{
    EXPECT_EQ(Utf8FromLatin1("Caf\xe9 \xff"), "Caf\xc3\xa9 \xc3\xbf");
    struct Case {
        const char* utf8;
        const char* latin1;
    } const cases[] = {
        {"plain", "plain"},
        {"Caf\xc3\xa9", "Caf\xe9"},
        {"\xe2\x82\xac 5", "? 5"},     // the euro sign has no Latin-1 form
        {"\xf0\x9f\x8e\xb5!", "?!"},   // four bytes, one character
        {"bad \xc3 end", "bad ? end"}, // a broken sequence
        {"\xc0\xaf", "??"},            // an overlong form is no character
    };
    for (const Case& c : cases)
        EXPECT_EQ(Latin1FromUtf8(c.utf8), c.latin1) << c.utf8;
    EXPECT_TRUE(IsValidUtf8("Caf\xc3\xa9"));
    EXPECT_FALSE(IsValidUtf8("Caf\xe9"));
    EXPECT_EQ(Utf8FromUnknown("Caf\xe9"), "Caf\xc3\xa9");
    EXPECT_EQ(Utf8FromUnknown("Caf\xc3\xa9"), "Caf\xc3\xa9");
}

TEST(TrackText, CutNeverSplitsACharacter)
{
    EXPECT_EQ(Cut("abcdef", 4), "abcd");
    EXPECT_EQ(Cut("ab\xc3\xa9", 3), "ab");
    EXPECT_EQ(Cut("ab\xe2\x82\xac", 4), "ab");
    EXPECT_EQ(Cut("ab\xe2\x82\xac", 5), "ab\xe2\x82\xac");
    EXPECT_EQ(Cut(std::string(100, 'x')).size(), 63u);
}

TEST(TrackText, PathPartsTakeEitherSeparator)
{
    struct Case {
        const char* path;
        const char* folder;
        const char* name;
        const char* stem;
        const char* extension;
    } const cases[] = {
        {"/music/a b/song.mp3", "/music/a b/", "song.mp3", "song", ".mp3"},
        {"C:\\Music\\Song.Live.MP3", "C:\\Music\\", "Song.Live.MP3", "Song.Live", ".MP3"},
        {"D:\\Track01.cda", "D:\\", "Track01.cda", "Track01", ".cda"},
        {"bare", "", "bare", "bare", ""},
        {"/x/.hidden", "/x/", ".hidden", ".hidden", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Folder(c.path), c.folder) << c.path;
        EXPECT_EQ(FileName(c.path), c.name) << c.path;
        EXPECT_EQ(Stem(c.path), c.stem) << c.path;
        EXPECT_EQ(Extension(c.path), c.extension) << c.path;
    }
    EXPECT_TRUE(ContainsNoCase("Blue Morning", "MORN"));
    EXPECT_FALSE(ContainsNoCase("Blue", "Blues"));
    EXPECT_TRUE(EqualNoCase(".Mp3", ".mP3"));
}

TEST(TrackText, NamesCompareWithoutCaseAndNumbersByValue)
{
    struct Case {
        const char* a;
        const char* b;
        int order; // sign of CompareNames(a, b)
    } const cases[] = {
        {"Track 2.mp3", "Track 10.mp3", -1},
        {"track 2.mp3", "Track 10.mp3", -1},
        {"Track 9", "Track 10", -1},
        {"a.mp3", "B.mp3", -1},
        {"B.mp3", "a.mp3", 1},
        {"Track 1", "track 1", -1},  // equal but for case: by bytes, capitals first
        {"Track 02", "Track 2", -1}, // equal values: by bytes
        {"Track 2", "Track 02", 1},
        {"a1b2", "a1b10", -1},
        {"a", "a1", -1},
        {"a0", "a", 1},
        {"a00", "a0", 1},
        {"x99999999999999999999999", "x100000000000000000000000", -1}, // no overflow
        {"x00000000000000000000007", "x8", -1},
        {"10 Ten", "9 Nine", 1},
        {"Disc 1", "Disc 1", 0},
        {"", "", 0},
        {"", "a", -1},
        {"_intro", "a", -1},
        {"1", "a", -1}, // digits before letters
        {"!", "1", -1}, // punctuation below '0' before digits
        {"~", "9", 1},
        {"\xc3\xa9t\xc3\xa9", "ete", 1}, // bytes above ASCII after it
    };
    for (const Case& c : cases) {
        const int forward = CompareNames(c.a, c.b);
        const int backward = CompareNames(c.b, c.a);
        EXPECT_EQ((forward > 0) - (forward < 0), c.order) << c.a << " / " << c.b;
        EXPECT_EQ((backward > 0) - (backward < 0), -c.order) << c.b << " / " << c.a;
    }
}

TEST(TrackText, SortingByNameGivesTheBrowsingOrder)
{
    const std::vector<std::string> expected = {
        "01 Intro.mp3", "2 Two.mp3",   "10 Ten.mp3",  "a.mp3",        "B.mp3",         "Track 1.mp3",
        "Track 02.mp3", "track 2.mp3", "Track 3.mp3", "Track 10.mp3", "Track 100.mp3", "Track 100b.mp3",
    };
    std::vector<std::string> names = expected;
    std::reverse(names.begin(), names.end());
    std::rotate(names.begin(), names.begin() + 5, names.end());
    std::sort(names.begin(), names.end(),
              [](const std::string& a, const std::string& b) { return CompareNames(a, b) < 0; });
    EXPECT_EQ(names, expected);
}
