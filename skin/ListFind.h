#pragma once

#include <string>

class CPlaylist;

// The texts of the last search in a list window. The window keeps one for the whole run, so
// that the find dialog opens with them and "find next" repeats them without a dialog.
struct ListFindState {
    // UTF-8, each at most 63 characters; empty matches every entry.
    std::string any; // title, artist or album holds it
    std::string title;
    std::string artist;
    std::string album;
};

// Searches of the list window, on the list's selection marks and the window's current index.
// No Qt: the find dialog and the window's commands share them.
namespace ListFind {

// The first match from start on (wrapping once, an index outside the list meaning 0) becomes
// the only selected entry and current. Its index, or -1 with list and current untouched.
int SelectFirstMatch(CPlaylist& list, int start, int& current, const ListFindState& state);
// As SelectFirstMatch, then every further match up to the first again joins the selection;
// current stays on the first. The number of entries selected, 0 when none matched.
int SelectAllMatches(CPlaylist& list, int start, int& current, const ListFindState& state);
// "Find next": the next match after current.
int FindNextEntry(CPlaylist& list, int& current, const ListFindState& state);

} // namespace ListFind
