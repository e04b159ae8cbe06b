#include "ListSort.h"

#include "Id3v1.h"
#include "Playlist.h"
#include "TrackText.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string_view>

namespace {

int CompareText(std::string_view a, std::string_view b)
{
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

template <typename T> int CompareNumber(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

std::string_view GenreText(const TrackEntry& entry)
{
    const char* name = CId3v1::GenreName(entry.genre);
    return name != nullptr ? std::string_view(name) : std::string_view();
}

int Compare(const TrackEntry& a, const TrackEntry& b, ListSort::Key key)
{
    using ListSort::Key;
    switch (key) {
    case Key::Title:
        return CompareText(a.title, b.title);
    case Key::Artist:
        return CompareText(a.artist, b.artist);
    case Key::AlbumThenTrack:
        if (const int album = CompareText(a.album, b.album); album != 0)
            return album;
        return CompareNumber(a.trackNumber, b.trackNumber);
    case Key::Location:
        return CompareText(a.location, b.location);
    case Key::Tempo:
        return CompareNumber(a.tempo, b.tempo);
    case Key::PlayTime:
        return CompareNumber(a.playTime, b.playTime);
    case Key::Genre:
        return CompareText(GenreText(a), GenreText(b));
    case Key::Comment:
        return CompareText(a.comment, b.comment);
    }
    return 0;
}

} // namespace

namespace ListSort {

Key KeyOfColumn(int column)
{
    // Title, Artist, Time, A#, Album, Genre, Comment, File, BPM: the track number sorts within
    // its album, which is what a click on "A#" is for.
    static constexpr Key kKeys[] = {Key::Title,          Key::Artist,         Key::PlayTime,
                                    Key::AlbumThenTrack, Key::AlbumThenTrack, Key::Genre,
                                    Key::Comment,        Key::Location,       Key::Tempo};
    return column >= 0 && column < static_cast<int>(std::size(kKeys)) ? kKeys[column] : Key::Title;
}

std::vector<int> Sorted(const CPlaylist& list, std::vector<int> indices, Key key, bool ascending)
{
    indices.erase(
        std::remove_if(indices.begin(), indices.end(), [&](int i) { return i < 0 || i >= list.Count(); }),
        indices.end());
    // Stable, as adjacent swaps of pairs strictly out of order are: equal keys never pass each
    // other, so a sort by another column keeps the earlier order within its ties.
    std::stable_sort(indices.begin(), indices.end(), [&](int a, int b) {
        const int order = Compare(list.Entry(a), list.Entry(b), key);
        return ascending ? order < 0 : order > 0;
    });
    return indices;
}

std::vector<std::pair<int, int>> MovesToGather(const CPlaylist& list, const std::vector<int>& sorted,
                                               int start)
{
    // Work on a copy of the ids in list order and replay each move on it, so that every pair
    // names the index the entry has at that moment.
    std::vector<int> order(static_cast<size_t>(list.Count()));
    for (int i = 0; i < list.Count(); ++i)
        order[static_cast<size_t>(i)] = i;
    std::vector<std::pair<int, int>> moves;
    int to = std::clamp(start, 0, std::max(0, list.Count() - static_cast<int>(sorted.size())));
    for (const int original : sorted) {
        const auto at = std::find(order.begin(), order.end(), original);
        if (at == order.end())
            continue;
        const int from = static_cast<int>(at - order.begin());
        if (from != to) {
            moves.emplace_back(from, to);
            order.erase(at);
            order.insert(order.begin() + to, original);
        }
        ++to;
    }
    return moves;
}

} // namespace ListSort
