#include "TrackText.h"

#include <gtest/gtest.h>

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
