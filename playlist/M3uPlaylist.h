#pragma once

#include <string>

class CPlaylist;
struct ListLoadReport;

// M3U lists: one path a line, "#EXTINF:seconds,title" before a path gives its title and play
// time. Relative paths and bare names are looked for next to the list first.
class CM3uPlaylist {
public:
    // Reads path into list (replacing it unless append). False only when the file cannot be
    // opened or is no regular file; the list is then unchanged. report, when given, receives
    // the lines that name the list itself, a folder, a device, a FIFO, another list or no track
    // type, and the count of tracks beyond the 999. A missing track keeps its entry (not found)
    // and is not reported.
    static bool LoadM3u(CPlaylist& list, const std::string& path, bool append,
                        ListLoadReport* report = nullptr);
    // Writes the locations one a line ("\n"); a track in the list's own folder as its bare
    // name. False when the file cannot be written; the previous file then stays as it was.
    static bool WriteM3u(const CPlaylist& list, const std::string& path);
};
