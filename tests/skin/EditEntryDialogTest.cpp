// "Edit Entry" through real clicks and key presses on entries and track files made here: the
// fields as shown and as written back, texts at the 63-byte limit, Locate, Read ID3 and
// Write ID3, and what a failed write shows and leaves on disk.
#include "EditEntryDialog.h"

#include "DialogTestKit.h"
#include "GenreBox.h"
#include "Id3v1.h"
#include "ListDialogTestKit.h"
#include "TempDir.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLineEdit>

#include <sys/stat.h>

using namespace dialogtest;
using namespace listtest;

namespace {

TrackEntry SampleEntry(const std::string& location)
{
    TrackEntry entry;
    entry.location = location;
    entry.title = "D\xC3\xA9j\xC3\xA0 vu";
    entry.artist = "Ren\xC3\xA9 & the \xE6\x97\xA5s"; // "René & the 日s"
    entry.album = "Album";
    entry.trackNumber = 7;
    entry.genre = 17;
    entry.comment = "Comment";
    entry.tempo = 128.0f;
    entry.playTime = 245;
    return entry;
}

QString Field(QWidget* dialog, const char* name)
{
    return Control<QLineEdit>(dialog, name)->text();
}

// Selects all of the field's text and types text over it.
void Retype(QWidget* dialog, const char* name, const QString& text)
{
    auto* field = Control<QLineEdit>(dialog, name);
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Delete);
    else
        TypeText(field, text);
}

TEST(EditEntryDialog, ShowsTheEntry)
{
    CEditEntryDialog dialog(SampleEntry("/music/Deja vu.mp3"));
    Show(&dialog);
    EXPECT_EQ(dialog.windowTitle(), "Edit Entry");
    EXPECT_EQ(Field(&dialog, "title"), QString::fromUtf8("D\xC3\xA9j\xC3\xA0 vu"));
    EXPECT_EQ(Field(&dialog, "artist"), QString::fromUtf8("Ren\xC3\xA9 & the \xE6\x97\xA5s"));
    EXPECT_EQ(Field(&dialog, "album"), "Album");
    EXPECT_EQ(Field(&dialog, "track"), "7");
    EXPECT_EQ(Control<QComboBox>(&dialog, "genre")->currentText(), "Rock");
    EXPECT_EQ(Field(&dialog, "comment"), "Comment");
    EXPECT_EQ(Field(&dialog, "location"), "/music/Deja vu.mp3");
    const char* buttons[][2] = {{"locate", "Locate"},
                                {"readId3", "Read ID3"},
                                {"writeId3", "Write ID3"},
                                {"1", "OK"},
                                {"2", "Cancel"}};
    for (const auto& [name, text] : buttons)
        EXPECT_EQ(Control<QAbstractButton>(&dialog, name)->text(), text);
    ExpectNoClippedText(&dialog);
}

TEST(EditEntryDialog, TextsLeftAloneComeBackByteForByte)
{
    struct Case {
        const char* what;
        std::string text;
    } const cases[] = {
        {"63 ASCII characters", std::string(63, 'T')},
        {"21 three-byte characters",
         [] {
             std::string text;
             for (int i = 0; i < 21; ++i)
                 text += "\xE6\x97\xA5";
             return text;
         }()},
        {"Latin-1 letters from a tag", "Caf\xC3\xA9 \xC3\xA0 la carte \xC3\xBF"},
        {"control characters", "Tab\there\x01 bell\x07"},
        {"empty", ""},
        {"bytes that are no UTF-8", "Caf\xE9 Latin-1"},
    };
    for (const Case& c : cases) {
        CPlaylist list;
        TrackEntry entry = SampleEntry("/music/a.mp3");
        entry.title = entry.artist = entry.album = entry.comment = c.text;
        entry.genre = 100; // written by another tagger: no name, kept
        const int index = list.AddCopy(entry);
        list.SetChanged(false);
        WhenModal([](QWidget* dialog) { Click(dialog, "1"); });
        ASSERT_EQ(EditEntry(nullptr, list, index), 1) << c.what;
        const TrackEntry& edited = list.Entry(index);
        EXPECT_EQ(edited.title, c.text) << c.what;
        EXPECT_EQ(edited.artist, c.text) << c.what;
        EXPECT_EQ(edited.album, c.text) << c.what;
        EXPECT_EQ(edited.comment, c.text) << c.what;
        EXPECT_EQ(edited.genre, 100) << c.what;
        EXPECT_EQ(edited.trackNumber, 7) << c.what;
        EXPECT_EQ(edited.location, "/music/a.mp3") << c.what;
        EXPECT_TRUE(edited.changed);
        EXPECT_TRUE(list.Changed());
    }
}

TEST(EditEntryDialog, FieldsTakeNoMoreThanTheEntryHolds)
{
    CEditEntryDialog dialog(SampleEntry("/music/a.mp3"));
    Show(&dialog);
    struct Case {
        QString before;
        QString typed;
        QString after;
    } const cases[] = {
        {QString(62, QLatin1Char('a')), QStringLiteral("b"),
         QString(62, QLatin1Char('a')) + QLatin1Char('b')},
        {QString(63, QLatin1Char('a')), QStringLiteral("b"), QString(63, QLatin1Char('a'))},
        // "é" is two bytes: it does not fit after 62.
        {QString(62, QLatin1Char('a')), QString::fromUtf8("\xC3\xA9"), QString(62, QLatin1Char('a'))},
        {QString(61, QLatin1Char('a')), QString::fromUtf8("\xC3\xA9\xC3\xA9"),
         QString(61, QLatin1Char('a')) + QString::fromUtf8("\xC3\xA9")},
        // A character outside the basic plane (four bytes, two UTF-16 units) goes whole.
        {QString(60, QLatin1Char('a')), QString::fromUtf8("\xF0\x9F\x8E\xB5"), QString(60, QLatin1Char('a'))},
    };
    for (const Case& c : cases) {
        Retype(&dialog, "title", c.before);
        auto* title = Control<QLineEdit>(&dialog, "title");
        title->end(false);
        TypeText(title, c.typed);
        EXPECT_EQ(title->text(), c.after) << c.before.size() << " + " << c.typed.toStdString();
        EXPECT_LE(dialog.Edited().title.size(), 63u);
    }
    // A paste too long for the field is cut to fit.
    auto* album = Control<QLineEdit>(&dialog, "album");
    album->clear();
    album->insert(QString(70, QLatin1Char('p')));
    EXPECT_EQ(album->text(), QString(63, QLatin1Char('p')));
    // The location has no such limit: a path is never cut.
    auto* location = Control<QLineEdit>(&dialog, "location");
    const QString longPath =
        QStringLiteral("/music/") + QString(300, QLatin1Char('l')) + QStringLiteral(".mp3");
    location->clear();
    location->insert(longPath);
    EXPECT_EQ(location->text(), longPath);
}

TEST(EditEntryDialog, TypedEditsComeBackOnOkAndCancelKeepsTheEntry)
{
    for (const bool ok : {true, false}) {
        CPlaylist list;
        const TrackEntry original = SampleEntry("/music/a.mp3");
        const int index = list.AddCopy(original);
        list.SetChanged(false);
        WhenModal([ok](QWidget* dialog) {
            Retype(dialog, "title", QString::fromUtf8("S\xC3\xBC\x64wind"));
            Retype(dialog, "artist", QStringLiteral("Mobius Reed"));
            Retype(dialog, "comment", QString());
            Retype(dialog, "track", QStringLiteral("12"));
            // A closed drop-down takes typed letters as a search for its rows.
            QTest::keyClicks(Control<QComboBox>(dialog, "genre"), "Tran");
            Click(dialog, ok ? "1" : "2");
        });
        EXPECT_EQ(EditEntry(nullptr, list, index), ok ? 1 : 0);
        const TrackEntry& entry = list.Entry(index);
        if (ok) {
            EXPECT_EQ(entry.title, "S\xC3\xBC\x64wind");
            EXPECT_EQ(entry.artist, "Mobius Reed");
            EXPECT_EQ(entry.comment, "");
            EXPECT_EQ(entry.trackNumber, 12);
            EXPECT_STREQ(CId3v1::GenreName(entry.genre), "Trance");
            EXPECT_TRUE(list.Changed());
        } else {
            EXPECT_EQ(entry.title, original.title);
            EXPECT_EQ(entry.artist, original.artist);
            EXPECT_EQ(entry.trackNumber, 7);
            EXPECT_FALSE(list.Changed());
        }
        // What the dialog does not show is never touched.
        EXPECT_EQ(entry.album, "Album");
        EXPECT_EQ(entry.tempo, 128.0f);
        EXPECT_EQ(entry.playTime, 245);
    }
    CPlaylist empty;
    EXPECT_EQ(EditEntry(nullptr, empty, 0), 0) << "no entry, no dialog";
}

TEST(EditEntryDialog, TheEditFollowsItsEntryWhenTheListChangesMeanwhile)
{
    for (const bool removed : {false, true}) {
        CPlaylist list;
        AddEntry(list, "First");
        const int index = AddEntry(list, "Edited");
        AddEntry(list, "Last");
        WhenModal([&list, removed](QWidget* dialog) {
            Retype(dialog, "title", QStringLiteral("New title"));
            if (removed)
                list.Remove(1, true);
            else
                list.Move(1, 0);
            Click(dialog, "1");
        });
        EXPECT_EQ(EditEntry(nullptr, list, index), removed ? 0 : 1);
        std::vector<std::string> titles;
        for (int i = 0; i < list.Count(); ++i)
            titles.push_back(list.Entry(i).title);
        const std::vector<std::string> expected =
            removed ? std::vector<std::string>{"First", "Last"}
                    : std::vector<std::string>{"New title", "First", "Last"};
        EXPECT_EQ(titles, expected);
    }
}

TEST(EditEntryDialog, ReadId3FillsTheFieldsFromTheFile)
{
    CTempDir dir;
    const std::string path = dir.Path("tagged.mp3");
    const Id3Fields tag{"Caf\xE9 del Mar", "Jos\xE9", "Chill", "Sunset", 4, 26};
    WriteTrackFile(path, 3000, &tag);
    CPlaylist list;
    TrackEntry entry = SampleEntry("/music/elsewhere.mp3");
    const int index = list.AddCopy(entry);
    WhenModal([&](QWidget* dialog) {
        // The tag of the file the location field names, not of the entry's old location.
        Retype(dialog, "location", QString::fromStdString(path));
        Click(dialog, "readId3");
        EXPECT_EQ(Field(dialog, "title"), QString::fromUtf8("Caf\xC3\xA9 del Mar"));
        EXPECT_EQ(Field(dialog, "artist"), QString::fromUtf8("Jos\xC3\xA9"));
        EXPECT_EQ(Field(dialog, "track"), "4");
        EXPECT_EQ(Control<QComboBox>(dialog, "genre")->currentText(), "Ambient");
        Click(dialog, "1");
    });
    ASSERT_EQ(EditEntry(nullptr, list, index), 1);
    EXPECT_EQ(list.Entry(index).title, "Caf\xC3\xA9 del Mar");
    EXPECT_EQ(list.Entry(index).artist, "Jos\xC3\xA9");
    EXPECT_EQ(list.Entry(index).album, "Chill");
    EXPECT_EQ(list.Entry(index).comment, "Sunset");
    EXPECT_EQ(list.Entry(index).trackNumber, 4);
    EXPECT_EQ(list.Entry(index).genre, 26);
    EXPECT_EQ(list.Entry(index).location, path);
    EXPECT_TRUE(list.Entry(index).exists) << "the located file is there";

    // A file without a tag changes nothing.
    const std::string plain = dir.Path("plain.mp3");
    WriteTrackFile(plain, 3000);
    CEditEntryDialog dialog(SampleEntry(plain));
    Show(&dialog);
    Click(&dialog, "readId3");
    EXPECT_EQ(Field(&dialog, "title"), QString::fromUtf8("D\xC3\xA9j\xC3\xA0 vu"));
    EXPECT_EQ(Field(&dialog, "track"), "7");
}

TEST(EditEntryDialog, WriteId3WritesTheShownFieldsAtOnce)
{
    CTempDir dir;
    const std::string path = dir.Path("song.mp3");
    WriteTrackFile(path, 4000);
    const std::string audio = ReadFile(path);
    CPlaylist list;
    const int index = list.AddCopy(SampleEntry(path));
    CMessageBoxCatcher messages;
    WhenModal([](QWidget* dialog) {
        Retype(dialog, "album", QString::fromUtf8("Gr\xC3\xBCn"));
        Click(dialog, "writeId3");
        // Cancel keeps the entry; the tag is already written.
        Click(dialog, "2");
    });
    EXPECT_EQ(EditEntry(nullptr, list, index), 0);
    EXPECT_EQ(list.Entry(index).album, "Album");
    EXPECT_TRUE(messages.Texts().isEmpty());

    const std::string bytes = ReadFile(path);
    ASSERT_EQ(bytes.size(), audio.size() + 128);
    EXPECT_EQ(bytes.compare(0, audio.size(), audio), 0) << "the audio bytes changed";
    TrackEntry read;
    ASSERT_TRUE(CId3v1::Read(path, read));
    EXPECT_EQ(read.title, "D\xC3\xA9j\xC3\xA0 vu");
    EXPECT_EQ(read.artist, "Ren\xC3\xA9 & the ?s") << "Latin-1 has no \xE6\x97\xA5";
    EXPECT_EQ(read.album, "Gr\xC3\xBCn");
    EXPECT_EQ(read.trackNumber, 7);
    EXPECT_EQ(read.genre, 17);
    if (!HaveId3Tool())
        GTEST_SKIP() << "id3v2 is not installed";
    const std::string listing = Id3Listing(path);
    EXPECT_NE(listing.find("Title  : D\xE9j\xE0 vu"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Album  : Gr\xFCn"), std::string::npos) << listing;
    EXPECT_NE(listing.find("Genre: Rock (17)"), std::string::npos) << listing;
}

TEST(EditEntryDialog, AFailedWriteShowsTheMessageAndLeavesTheFileAlone)
{
    CTempDir dir;
    // A folder where the track should be; a track under a "folder" that is a file; a disk
    // that is full after the audio.
    ASSERT_TRUE(MakeFolder(dir.Path("folder.mp3")));
    WriteTrackFile(dir.Path("notafolder"), 100);
    const std::string full = dir.Path("full.mp3");
    WriteTrackFile(full, 5000);
    const std::string before = ReadFile(full);
    for (const std::string& path : {dir.Path("folder.mp3"), dir.Path("notafolder/song.mp3"), full}) {
        CEditEntryDialog dialog(SampleEntry(path));
        Show(&dialog);
        CMessageBoxCatcher messages;
        {
            CFileSizeCap cap(5000);
            Click(&dialog, "writeId3");
        }
        ASSERT_EQ(messages.Texts().size(), 1) << path;
        EXPECT_EQ(messages.Texts().front(),
                  "Could not write ID3 tag !\n\nFile only readable or not accesible.");
    }
    EXPECT_EQ(ReadFile(full), before);
    struct stat info {};
    EXPECT_TRUE(stat(dir.Path("folder.mp3").c_str(), &info) == 0 && S_ISDIR(info.st_mode));
}

TEST(EditEntryDialog, LocateStartsAtTheLocationAndShowsTheChosenFile)
{
    CTempDir dir;
    const std::string old = dir.Path("old.mp3");
    const std::string chosen = dir.Path("chosen.mp3");
    WriteTrackFile(old);
    WriteTrackFile(chosen);
    CPlaylist list;
    TrackEntry entry = SampleEntry(old);
    const int index = list.AddCopy(entry);
    WhenModal([&](QWidget* dialog) {
        WhenModalIs<QFileDialog>([&](QFileDialog* files) {
            EXPECT_EQ(files->directory().absolutePath(), QString::fromStdString(dir.Root()));
            EXPECT_EQ(files->defaultSuffix(), "mp3");
            ASSERT_FALSE(files->nameFilters().isEmpty());
            EXPECT_EQ(files->nameFilters().front(), "Tracks (.mp3; .wav; .cda) (*.mp3 *.wav *.cda)");
            EXPECT_EQ(files->nameFilters().back(), "All Files (*.*) (*.*)");
            auto* name = Control<QLineEdit>(files, "fileNameEdit");
            ASSERT_NE(name, nullptr);
            // The dialog opens with the old file's name in the field.
            EXPECT_EQ(name->text(), "old.mp3");
            // Typing picks the file in the dialog's list only while the name field has focus.
            files->activateWindow();
            name->setFocus();
            ASSERT_TRUE(QTest::qWaitFor([name] { return name->hasFocus(); }, 2000));
            QTest::keyClick(name, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(name, "chosen.mp3");
            auto* buttons = Control<QDialogButtonBox>(files, "buttonBox");
            ASSERT_NE(buttons, nullptr);
            QTest::mouseClick(buttons->button(QDialogButtonBox::Open), Qt::LeftButton);
        });
        Click(dialog, "locate");
        EXPECT_EQ(Field(dialog, "location"), QString::fromStdString(chosen));
        Click(dialog, "1");
    });
    ASSERT_EQ(EditEntry(nullptr, list, index), 1);
    EXPECT_EQ(list.Entry(index).location, chosen);
    EXPECT_TRUE(list.Entry(index).exists);
}

} // namespace
