#include "ListSort.h"
#include "Playlist.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

struct Row {
    const char* title;
    const char* artist;
    const char* album;
    int track;
    float tempo;
    int playTime;
    uint8_t genre;
    const char* comment;
    const char* file;
};

// Ties on every key, mixed case, and empty fields, so that a sort that is not stable or that
// minds case shows.
const Row kRows[] = {
    {"beta", "Orla", "Night", 2, 128.0f, 300, 17, "b", "/m/c.mp3"},
    {"Alpha", "orla", "night", 1, 124.0f, 200, 0, "", "/m/a.mp3"},
    {"alpha", "Sable", "Day", 3, 124.0f, 300, 255, "A", "/m/B.mp3"},
    {"Gamma", "", "Night", 1, 0.0f, -1, 17, "c", "/m/d.mp3"},
    {"beta", "Sable", "", 0, 130.0f, 200, 8, "a", "/m/b2.mp3"},
    {"delta", "Orla", "day", 1, 128.0f, 100, 0, "B", "/m/e.mp3"},
};

void Fill(CPlaylist& list)
{
    for (const Row& row : kRows) {
        const int i = list.AddTrack(row.file, false);
        ASSERT_GE(i, 0);
        TrackEntry& e = list.Entry(i);
        e.title = row.title;
        e.artist = row.artist;
        e.album = row.album;
        e.trackNumber = row.track;
        e.tempo = row.tempo;
        e.playTime = row.playTime;
        e.genre = row.genre;
        e.comment = row.comment;
    }
}

std::string Folded(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// The order a plain insertion sort gives: each entry goes after every entry whose key is not
// greater (ascending) or not smaller (descending), so ties keep their order.
std::vector<int> PlainSort(const CPlaylist& list, ListSort::Key key, bool ascending)
{
    auto keyOf = [&](int i) {
        const TrackEntry& e = list.Entry(i);
        char number[32];
        switch (key) {
        case ListSort::Key::Title:
            return Folded(e.title);
        case ListSort::Key::Artist:
            return Folded(e.artist);
        case ListSort::Key::AlbumThenTrack:
            std::snprintf(number, sizeof number, "%06d", e.trackNumber);
            return Folded(e.album) + '\x01' + number;
        case ListSort::Key::Location:
            return Folded(e.location);
        case ListSort::Key::Tempo:
            std::snprintf(number, sizeof number, "%010.3f", static_cast<double>(e.tempo));
            return std::string(number);
        case ListSort::Key::PlayTime:
            std::snprintf(number, sizeof number, "%011d", e.playTime + 1000000);
            return std::string(number);
        case ListSort::Key::Genre:
            return Folded(e.genre == 0 ? "Blues" : e.genre == 8 ? "Jazz" : e.genre == 17 ? "Rock" : "");
        case ListSort::Key::Comment:
            return Folded(e.comment);
        }
        return std::string();
    };
    std::vector<int> order;
    for (int i = 0; i < list.Count(); ++i) {
        auto at = order.end();
        while (at != order.begin()) {
            const std::string before = keyOf(*(at - 1));
            const std::string mine = keyOf(i);
            if (ascending ? before <= mine : before >= mine)
                break;
            --at;
        }
        order.insert(at, i);
    }
    return order;
}

} // namespace

TEST(ListSort, EveryKeySortsBothWaysAsAPlainStableSortDoes)
{
    CPlaylist list;
    Fill(list);
    std::vector<int> all;
    for (int i = 0; i < list.Count(); ++i)
        all.push_back(i);
    for (const ListSort::Key key :
         {ListSort::Key::Title, ListSort::Key::Artist, ListSort::Key::AlbumThenTrack, ListSort::Key::Location,
          ListSort::Key::Tempo, ListSort::Key::PlayTime, ListSort::Key::Genre, ListSort::Key::Comment})
        for (const bool ascending : {true, false})
            EXPECT_EQ(ListSort::Sorted(list, all, key, ascending), PlainSort(list, key, ascending))
                << "key " << static_cast<int>(key) << (ascending ? " up" : " down");
}

TEST(ListSort, ColumnsSortByTheirOwnKeyAndTheTrackNumberWithinItsAlbum)
{
    EXPECT_EQ(ListSort::KeyOfColumn(0), ListSort::Key::Title);
    EXPECT_EQ(ListSort::KeyOfColumn(1), ListSort::Key::Artist);
    EXPECT_EQ(ListSort::KeyOfColumn(2), ListSort::Key::PlayTime);
    EXPECT_EQ(ListSort::KeyOfColumn(3), ListSort::Key::AlbumThenTrack);
    EXPECT_EQ(ListSort::KeyOfColumn(4), ListSort::Key::AlbumThenTrack);
    EXPECT_EQ(ListSort::KeyOfColumn(5), ListSort::Key::Genre);
    EXPECT_EQ(ListSort::KeyOfColumn(6), ListSort::Key::Comment);
    EXPECT_EQ(ListSort::KeyOfColumn(7), ListSort::Key::Location);
    EXPECT_EQ(ListSort::KeyOfColumn(8), ListSort::Key::Tempo);
    EXPECT_EQ(ListSort::KeyOfColumn(9), ListSort::Key::Title);
}

TEST(ListSort, SortedEntriesAreGatheredFromTheFirstOneAndTheOthersKeepTheirOrder)
{
    CPlaylist list;
    Fill(list);
    // Entries 1, 3 and 5 (Alpha, Gamma, delta) sorted down by title, gathered at index 1.
    const std::vector<int> sorted = ListSort::Sorted(list, {1, 3, 5}, ListSort::Key::Title, false);
    ASSERT_EQ(sorted, (std::vector<int>{3, 5, 1}));
    for (const auto& [from, to] : ListSort::MovesToGather(list, sorted, 1))
        list.Move(from, to);
    std::vector<std::string> titles;
    for (int i = 0; i < list.Count(); ++i)
        titles.push_back(list.Entry(i).title);
    EXPECT_EQ(titles, (std::vector<std::string>{"beta", "Gamma", "delta", "Alpha", "alpha", "beta"}));
    // Indices out of the list are left out, and a sort that changes nothing moves nothing.
    EXPECT_EQ(ListSort::Sorted(list, {-1, 0, 99}, ListSort::Key::Title, true), (std::vector<int>{0}));
    EXPECT_TRUE(ListSort::MovesToGather(list, {0, 1, 2}, 0).empty());
}
