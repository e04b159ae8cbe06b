#pragma once

#include <cstdint>
#include <string>

// What a name on disk is, asked without ever throwing or blocking: the list readers look at names
// from files anyone may have written, and a name whose status cannot be read (too long, a loop
// of links, a folder without permission) counts as not found.
namespace FileStatus {

enum class Kind {
    NotFound, // missing, or its status cannot be read (error says why)
    Regular,
    Folder,
    Device, // a character or block device
    Other,  // a FIFO or a socket
};

struct Status {
    Kind kind = Kind::NotFound;
    int error = 0; // the errno value when NotFound
    uint64_t device = 0;
    uint64_t inode = 0;

    // The same file as other (both found).
    bool SameFile(const Status& other) const
    {
        return kind != Kind::NotFound && other.kind != Kind::NotFound && device == other.device &&
               inode == other.inode;
    }
};

// Follows links.
Status Of(const std::string& path) noexcept;
// Of the descriptor's file.
Status OfDescriptor(int fd) noexcept;
bool IsRegularFile(const std::string& path) noexcept;
bool IsFolder(const std::string& path) noexcept;
// Whether path itself is a link.
bool IsLink(const std::string& path) noexcept;

// path made absolute against the working folder and lexically normal ("./a/../b" becomes
// "CWD/b"); path as it is when the working folder cannot be read.
std::string Absolute(const std::string& path);

} // namespace FileStatus
