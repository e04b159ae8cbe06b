#pragma once

#include <string>

// What a path names for the program: the one decision by extension (in any case) that opening a
// document, adding files, dropping files and the renderer all take.
enum class DocumentKind {
    XmlList, // ".qzl"
    M3uList, // ".m3u"
    MixFile, // ".qzx"
    Folder,  // an existing folder, whatever its name
    Track,   // anything else: AddTrack decides whether it plays
};

// The kind of path; a folder is found by its status (a status that cannot be read is no folder).
DocumentKind DocumentKindOf(const std::string& path);
