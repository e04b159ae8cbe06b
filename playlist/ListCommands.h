#pragma once

#include <string>
#include <vector>

class CPlaylist;

// The rules behind the list commands of the window, kept apart from their dialogs: which format
// a save writes, how chosen files are added, and what each dropped item does.
class CListCommands {
public:
    enum class SaveFormat { MixFile, XmlList, M3u };
    enum class DropAction {
        AddFolder,        // scan into the current list on the user thread
        LoadM3u,          // replace the current list, without a mix
        LoadXmlList,      // load the XML list with the mix it names
        LoadMixFile,      // load the Mix-File with its track list
        ReplaceWithTrack, // the Time Line list becomes this one track, in Automix
        AppendTrack,      // AddTrack into the Time Line list
    };

    // By the extension without its dot, in any case: "qzx", "qzl", anything else M3U.
    static SaveFormat FormatForSave(const std::string& path);
    // The "Add File(s)" dispatch on a path's last three characters in any case: "QZL" appends that
    // XML list, "M3U" appends that M3U list, anything else is AddTrack with tags. The number of
    // entries added.
    static int AddFiles(CPlaylist& list, const std::vector<std::string>& paths);
    // What each dropped item does, in order; only the first item may replace the Time Line.
    static std::vector<DropAction> PlanDrop(const std::vector<std::string>& paths);
};
