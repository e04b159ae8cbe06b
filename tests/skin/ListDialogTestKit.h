#pragma once

#include "Playlist.h"
#include "PlaylistTestSupport.h"
#include "TrackEntry.h"

#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <string>
#include <unistd.h>
#include <vector>

// Lists and files for the tests of the list window's dialogs.
namespace listtest {

// Appends an entry with these texts; its index.
inline int AddEntry(CPlaylist& list, const std::string& title, const std::string& artist = {},
                    const std::string& album = {}, uint8_t genre = TrackEntry::kNoGenre)
{
    TrackEntry entry;
    entry.title = title;
    entry.artist = artist;
    entry.album = album;
    entry.genre = genre;
    return list.AddCopy(entry);
}

inline std::vector<int> Selected(const CPlaylist& list)
{
    std::vector<int> selected;
    for (int i = list.FirstSelected(); i >= 0; i = list.NextSelected(i))
        selected.push_back(i);
    return selected;
}

inline void Select(CPlaylist& list, const std::vector<int>& indexes)
{
    list.ClearSelection();
    for (const int i : indexes)
        list.SetSelected(i, true);
}

// What the id3v2 tool reads from the file's tags (Latin-1 as on disk); empty when it failed.
inline std::string Id3Listing(const std::string& path)
{
    bool ran = false;
    const std::string listing = CommandOutput("id3v2 -l '" + path + "' 2>&1", ran);
    EXPECT_TRUE(ran) << "id3v2 -l failed: " << listing;
    return listing;
}

inline bool HaveId3Tool()
{
    return access("/usr/bin/id3v2", X_OK) == 0;
}

// Types text as key events, characters outside ASCII included (as a keyboard with them sends).
inline void TypeText(QWidget* widget, const QString& text)
{
    for (const QChar c : text)
        QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace listtest
