#include "ListCommands.h"

#include "DocumentKind.h"
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

} // namespace

CListCommands::SaveFormat CListCommands::FormatForSave(const std::string& path)
{
    switch (DocumentKindOf(path)) {
    case DocumentKind::MixFile:
        return SaveFormat::MixFile;
    case DocumentKind::XmlList:
        return SaveFormat::XmlList;
    default:
        return SaveFormat::M3u;
    }
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
        switch (DocumentKindOf(path)) {
        case DocumentKind::Folder:
            actions.push_back(DropAction::AddFolder);
            break;
        case DocumentKind::M3uList:
            actions.push_back(DropAction::LoadM3u);
            break;
        case DocumentKind::XmlList:
            actions.push_back(DropAction::LoadXmlList);
            break;
        case DocumentKind::MixFile:
            actions.push_back(DropAction::LoadMixFile);
            break;
        case DocumentKind::Track:
            actions.push_back(actions.empty() ? DropAction::ReplaceWithTrack : DropAction::AppendTrack);
            break;
        }
    }
    return actions;
}
