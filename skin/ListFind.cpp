#include "ListFind.h"

#include "Playlist.h"

namespace ListFind {

namespace {

int Find(const CPlaylist& list, int start, const ListFindState& state)
{
    return list.Find(start, state.any, state.title, state.artist, state.album);
}

} // namespace

int SelectFirstMatch(CPlaylist& list, int start, int& current, const ListFindState& state)
{
    const int hit = Find(list, start, state);
    if (hit < 0)
        return -1;
    list.ClearSelection();
    list.SetSelected(hit, true);
    current = hit;
    return hit;
}

int SelectAllMatches(CPlaylist& list, int start, int& current, const ListFindState& state)
{
    const int first = SelectFirstMatch(list, start, current, state);
    if (first < 0)
        return 0;
    int selected = 1;
    // The search wraps, so the walk ends when it comes back to the first hit; the count bounds
    // it as well, whatever the search returns.
    for (int hit = Find(list, first + 1, state); hit >= 0 && hit != first && selected < list.Count();
         hit = Find(list, hit + 1, state)) {
        list.SetSelected(hit, true);
        ++selected;
    }
    return selected;
}

int FindNextEntry(CPlaylist& list, int& current, const ListFindState& state)
{
    return SelectFirstMatch(list, current + 1, current, state);
}

} // namespace ListFind
