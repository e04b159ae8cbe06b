#pragma once

#include <vector>

class CPlaylist;

// The orders of the list window: a stable sort of some entries by one key, which then stand one
// after another from a given index.
namespace ListSort {

enum class Key : int {
    Title = 0,
    Artist = 1,
    AlbumThenTrack = 2, // album, and the track number within an album
    Location = 3,
    Tempo = 4,
    PlayTime = 6,
    Genre = 7, // by the genre's name
    Comment = 8
};

// The key a click on a column header sorts by, for the nine columns of the list window.
Key KeyOfColumn(int column);
// The entries at indices, sorted by key (texts without regard to case); entries whose keys are
// equal keep the order they came in.
std::vector<int> Sorted(const CPlaylist& list, std::vector<int> indices, Key key, bool ascending);
// Where each of the sorted entries must go, in order, so that they stand from index start on:
// (from, to) pairs of single moves, each one taking effect before the next.
std::vector<std::pair<int, int>> MovesToGather(const CPlaylist& list, const std::vector<int>& sorted,
                                               int start);

} // namespace ListSort
