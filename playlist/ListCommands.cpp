#include "ListCommands.h"

#include "FileStatus.h"
#include "M3uPlaylist.h"
#include "Playlist.h"
#include "TrackText.h"
#include "XmlPlaylist.h"

namespace {

bool EndsWithNoCase(const std::string& path, const char* ending)
{
    const std::string_view tail(ending);
    return path.size() >= tail.size() &&
           TrackText::EqualNoCase(std::string_view(path).substr(path.size() - tail.size()), tail);
}

bool IsFolder(const std::string& path)
{
    return FileStatus::IsFolder(path);
}

} // namespace

CListCommands::SaveFormat CListCommands::FormatForSave(const std::string& path)
{
    const std::string_view extension = TrackText::Extension(path);
    if (TrackText::EqualNoCase(extension, ".qzx"))
        return SaveFormat::MixFile;
    if (TrackText::EqualNoCase(extension, ".qzl"))
        return SaveFormat::XmlList;
    return SaveFormat::M3u;
}

int CListCommands::AddFiles(CPlaylist& list, const std::vector<std::string>& paths)
{
    const int before = list.Count();
    for (const std::string& path : paths) {
        if (EndsWithNoCase(path, "qzl"))
            CXmlPlaylist::Load(list, path, true);
        else if (EndsWithNoCase(path, "m3u"))
            CM3uPlaylist::LoadM3u(list, path, true);
        else
            list.AddTrack(path, true);
    }
    return list.Count() - before;
}

std::vector<CListCommands::DropAction> CListCommands::PlanDrop(const std::vector<std::string>& paths)
{
    std::vector<DropAction> actions;
    actions.reserve(paths.size());
    for (const std::string& path : paths) {
        const std::string_view extension = TrackText::Extension(path);
        if (IsFolder(path))
            actions.push_back(DropAction::AddFolder);
        else if (TrackText::EqualNoCase(extension, ".m3u"))
            actions.push_back(DropAction::LoadM3u);
        else if (TrackText::EqualNoCase(extension, ".qzl"))
            actions.push_back(DropAction::LoadXmlList);
        else if (TrackText::EqualNoCase(extension, ".qzx"))
            actions.push_back(DropAction::LoadMixFile);
        else
            actions.push_back(actions.empty() ? DropAction::ReplaceWithTrack : DropAction::AppendTrack);
    }
    return actions;
}
