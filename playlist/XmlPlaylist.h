#pragma once

#include <string>

class CPlaylist;
struct ListLoadReport;
struct MixReference;

// The XML list (".qzl"): a QZL root with VERSION, a HEAD, an optional MIX naming the mix saved
// with the list, and a PLAYLIST of ENTRY elements. Files are written in ISO-8859-1; characters
// outside it travel as character references.
class CXmlPlaylist {
public:
    static constexpr int kVersion = 3;
    static constexpr const char* kProgram = "Quandel";
    static constexpr const char* kCompany = "https://kelmaric.example/";

    enum PeekResult : int { kNotAList = 0, kList = 1, kListWithMix = 2 };

    // Reads path into list. append keeps the entries there and gives the new ones new ids;
    // otherwise the list is replaced (only once the file proved to be a list) and its Time
    // Line rebuilt. mix, when given and not appending, is cleared and then receives the MIX
    // element. folder (ending in a separator) is where entries are looked for first; empty
    // means the list file's own folder. False when the file is not a list (or no regular file).
    // report, when given, receives the entries that name no track file type and the count of
    // entries beyond the 999; a missing track keeps its entry and is not reported.
    static bool Load(CPlaylist& list, const std::string& path, bool append, MixReference* mix = nullptr,
                     const std::string& folder = {}, ListLoadReport* report = nullptr);
    // Whether path is a list, and one with a mix; mixTitle receives the mix's title.
    static int Peek(const std::string& path, std::string* mixTitle = nullptr);
    // Writes list to path, with a MIX element when mix names a file. The previous file is
    // replaced only once the new one is complete.
    static bool Save(const CPlaylist& list, const std::string& path, const MixReference* mix = nullptr);
    // The document Save writes.
    static bool SaveToString(const CPlaylist& list, std::string& out, const MixReference* mix = nullptr);
};
