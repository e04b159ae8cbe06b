#include "DocumentKind.h"

#include "FileStatus.h"
#include "TrackText.h"

DocumentKind DocumentKindOf(const std::string& path)
{
    if (FileStatus::IsFolder(path))
        return DocumentKind::Folder;
    const std::string_view extension = TrackText::Extension(path);
    if (TrackText::EqualNoCase(extension, ".qzl"))
        return DocumentKind::XmlList;
    if (TrackText::EqualNoCase(extension, ".m3u"))
        return DocumentKind::M3uList;
    if (TrackText::EqualNoCase(extension, ".qzx"))
        return DocumentKind::MixFile;
    return DocumentKind::Track;
}
