// "Edit Group" through real clicks and key presses: what the selected entries share, what OK
// writes to each of them, and the tags written to their files, read back with the id3v2 tool,
// with one message for any number of files that cannot be written.
#include "EditGroupDialog.h"

#include "DialogTestKit.h"
#include "Id3v1.h"
#include "ListDialogTestKit.h"
#include "TempDir.h"

#include <QLineEdit>

#include <sys/stat.h>

using namespace dialogtest;
using namespace listtest;

namespace {

QString Field(QWidget* dialog, const char* name)
{
    return Control<QLineEdit>(dialog, name)->text();
}

TEST(EditGroupDialog, ShowsOnlyWhatEverySelectedEntryShares)
{
    struct Case {
        const char* what;
        std::vector<int> selection;
        QString artist;
        QString album;
        QString genre;
    } const cases[] = {
        {"same artist and genre", {0, 1, 2}, "Mobius Reed", "", "Techno"},
        {"one entry differs in genre", {0, 1, 3}, "Mobius Reed", "", ""},
        {"same album and artist", {1, 2}, "Mobius Reed", "Playa Nights", "Techno"},
        {"nothing shared", {2, 4}, "", "", ""},
    };
    CPlaylist list;
    AddEntry(list, "Go", "Mobius Reed", "Mobius Reed", 18);
    AddEntry(list, "Porcelain Sky", "Mobius Reed", "Playa Nights", 18);
    AddEntry(list, "Natural Tides", "Mobius Reed", "Playa Nights", 18);
    AddEntry(list, "Why Does My Heart", "Mobius Reed", "Playa Nights", 255);
    AddEntry(list, "Other", "", "", 255);
    for (const Case& c : cases) {
        Select(list, c.selection);
        CEditGroupDialog dialog(list);
        Show(&dialog);
        EXPECT_EQ(Field(&dialog, "artist"), c.artist) << c.what;
        EXPECT_EQ(Field(&dialog, "album"), c.album) << c.what;
        EXPECT_EQ(Field(&dialog, "comment"), "") << c.what;
        EXPECT_EQ(Control<QComboBox>(&dialog, "genre")->currentText(), c.genre) << c.what;
    }
    CEditGroupDialog dialog(list);
    Show(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Edit Group");
    EXPECT_EQ(Control<QCheckBox>(&dialog, "numberTracks")->text(), "# Tracks");
    EXPECT_EQ(Control<QCheckBox>(&dialog, "writeId3")->text(), "Write ID3 Tags");
    ExpectNoClippedText(&dialog);
}

TEST(EditGroupDialog, OkWritesTheFilledFieldsToEverySelectedEntry)
{
    CPlaylist list;
    AddEntry(list, "One", "Artist A", "Old", 3);
    AddEntry(list, "Two", "Artist B", "Old", 4);
    AddEntry(list, "Left out", "Artist C", "Kept", 5);
    AddEntry(list, "Three", "\xC3\x89lan", "Old", 3);
    Select(list, {0, 1, 3});
    list.SetChanged(false);
    WhenModal([](QWidget* dialog) {
        // Album is shared ("Old") and typed over; artist differs and stays empty.
        auto* album = Control<QLineEdit>(dialog, "album");
        QTest::keyClick(album, Qt::Key_A, Qt::ControlModifier);
        TypeText(album, QString::fromUtf8("N\xC3\xA4\x63hte"));
        QTest::keyClicks(Control<QComboBox>(dialog, "genre"), "Trance");
        Click(dialog, "numberTracks");
        Click(dialog, "1");
    });
    ASSERT_EQ(EditGroup(nullptr, list), 1);
    const int selected[] = {0, 1, 3};
    const char* artists[] = {"Artist A", "Artist B", "\xC3\x89lan"};
    for (int n = 0; n < 3; ++n) {
        const TrackEntry& entry = list.Entry(selected[n]);
        EXPECT_EQ(entry.artist, artists[n]) << "an empty field leaves the entries' own";
        EXPECT_EQ(entry.album, "N\xC3\xA4\x63hte");
        EXPECT_STREQ(CId3v1::GenreName(entry.genre), "Trance");
        EXPECT_EQ(entry.trackNumber, n + 1) << "numbered in list order";
        EXPECT_TRUE(entry.changed);
    }
    EXPECT_EQ(list.Entry(2).album, "Kept");
    EXPECT_EQ(list.Entry(2).genre, 5);
    EXPECT_EQ(list.Entry(2).trackNumber, 0);
    EXPECT_TRUE(list.Changed());
}

TEST(EditGroupDialog, CancelOrNoSelectionChangesNothing)
{
    CPlaylist list;
    AddEntry(list, "One", "A", "Old");
    AddEntry(list, "Two", "B", "Old");
    list.SetChanged(false);
    EXPECT_EQ(EditGroup(nullptr, list), 0) << "no selection, no dialog";
    Select(list, {0, 1});
    WhenModal([](QWidget* dialog) {
        QTest::keyClicks(Control<QLineEdit>(dialog, "artist"), "Changed");
        Click(dialog, "numberTracks");
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    EXPECT_EQ(EditGroup(nullptr, list), 0);
    EXPECT_EQ(list.Entry(0).artist, "A");
    EXPECT_EQ(list.Entry(1).trackNumber, 0);
    EXPECT_FALSE(list.Changed());
}

TEST(EditGroupDialog, WriteId3TagsWritesEveryFile)
{
    CTempDir dir;
    CPlaylist list;
    std::vector<std::string> audio;
    const Id3Fields oldTag{"Old title", "Old artist", "Old album", "", 9, 0};
    for (int n = 0; n < 3; ++n) {
        const std::string path = dir.Path("track" + std::to_string(n) + ".mp3");
        // The middle file has a tag to be replaced, the others get one appended.
        WriteTrackFile(path, 3000 + 500 * static_cast<size_t>(n), n == 1 ? &oldTag : nullptr);
        audio.push_back(ReadFile(path).substr(0, 3000 + 500 * static_cast<size_t>(n)));
        ASSERT_EQ(list.AddTrack(path, false), n);
        list.Entry(n).title = "Song " + std::to_string(n + 1);
    }
    Select(list, {0, 1, 2});
    CMessageBoxCatcher messages;
    WhenModal([](QWidget* dialog) {
        TypeText(Control<QLineEdit>(dialog, "artist"), QString::fromUtf8("Bj\xC3\xB6rk"));
        QTest::keyClicks(Control<QLineEdit>(dialog, "album"), "Debut");
        QTest::keyClicks(Control<QComboBox>(dialog, "genre"), "Pop");
        Click(dialog, "numberTracks");
        Click(dialog, "writeId3");
        Click(dialog, "1");
    });
    ASSERT_EQ(EditGroup(nullptr, list), 1);
    EXPECT_TRUE(messages.Texts().isEmpty()) << messages.Texts().join(QLatin1Char('|')).toStdString();
    for (int n = 0; n < 3; ++n) {
        const std::string& path = list.Entry(n).location;
        const std::string bytes = ReadFile(path);
        ASSERT_EQ(bytes.size(), audio[n].size() + 128) << path;
        EXPECT_EQ(bytes.compare(0, audio[n].size(), audio[n]), 0) << "the audio bytes of " << path;
        if (!HaveId3Tool())
            GTEST_SKIP() << "id3v2 is not installed";
        const std::string listing = Id3Listing(path);
        const std::string title = "Title  : Song " + std::to_string(n + 1);
        EXPECT_NE(listing.find(title), std::string::npos) << listing;
        EXPECT_NE(listing.find("Artist: Bj\xF6rk"), std::string::npos) << listing;
        EXPECT_NE(listing.find("Album  : Debut"), std::string::npos) << listing;
        EXPECT_NE(listing.find("Genre: Pop (13)"), std::string::npos) << listing;
        EXPECT_NE(listing.find("Track: " + std::to_string(n + 1)), std::string::npos) << listing;
    }
}

TEST(EditGroupDialog, FilesThatCannotBeWrittenShowOneMessage)
{
    CTempDir dir;
    // A good file with a tag, rewritten in place below the size cap; a folder where a track
    // should be; a track under a "folder" that is a file; an untagged file on a disk that is
    // full after its audio.
    const Id3Fields tag{"Good", "Artist", "Album", "", 1, 0};
    WriteTrackFile(dir.Path("good.mp3"), 2000, &tag);
    ASSERT_TRUE(MakeFolder(dir.Path("folder.mp3")));
    WriteTrackFile(dir.Path("notafolder"), 100);
    WriteTrackFile(dir.Path("full.mp3"), 6000);
    const std::string fullBefore = ReadFile(dir.Path("full.mp3"));
    const std::vector<std::string> paths = {dir.Path("good.mp3"), dir.Path("folder.mp3"),
                                            dir.Path("notafolder/song.mp3"), dir.Path("full.mp3")};
    CPlaylist list;
    for (const std::string& path : paths) {
        TrackEntry entry;
        entry.location = path;
        entry.title = "Song";
        list.AddCopy(entry);
    }
    Select(list, {0, 1, 2, 3});
    CMessageBoxCatcher messages;
    WhenModal([](QWidget* dialog) {
        QTest::keyClicks(Control<QLineEdit>(dialog, "album"), "Written");
        Click(dialog, "writeId3");
        Click(dialog, "1");
    });
    {
        CFileSizeCap cap(6000);
        ASSERT_EQ(EditGroup(nullptr, list), 1);
    }
    ASSERT_EQ(messages.Texts().size(), 1) << "one message for three failed files";
    EXPECT_EQ(messages.Texts().front(), "Could not write ID3 tag !\n\nFile only readable or not accesible.");
    for (int i = 0; i < list.Count(); ++i)
        EXPECT_EQ(list.Entry(i).album, "Written") << "the entries take the edit whatever the files do";
    TrackEntry good;
    ASSERT_TRUE(CId3v1::Read(dir.Path("good.mp3"), good));
    EXPECT_EQ(good.album, "Written");
    EXPECT_EQ(ReadFile(dir.Path("full.mp3")), fullBefore);
    struct stat info {};
    EXPECT_TRUE(stat(dir.Path("folder.mp3").c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

TEST(EditGroupDialog, EditSelectionOpensTheDialogForTheSelection)
{
    CPlaylist list;
    AddEntry(list, "One", "A");
    AddEntry(list, "Two", "A");
    EXPECT_EQ(EditSelection(nullptr, list), 0) << "nothing selected";
    for (const std::vector<int>& selection : {std::vector<int>{1}, std::vector<int>{0, 1}}) {
        Select(list, selection);
        QString opened;
        WhenModal([&opened](QWidget* dialog) {
            opened = dialog->objectName();
            Click(dialog, "2");
        });
        EXPECT_EQ(EditSelection(nullptr, list), 0);
        EXPECT_EQ(opened, selection.size() == 1 ? "173" : "176");
    }
}

} // namespace
