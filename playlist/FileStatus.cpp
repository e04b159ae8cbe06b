#include "FileStatus.h"

#include <cerrno>
#include <filesystem>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace FileStatus {

namespace {

Status FromStat(const struct stat& info)
{
    Status status;
    status.device = static_cast<uint64_t>(info.st_dev);
    status.inode = static_cast<uint64_t>(info.st_ino);
    if (S_ISREG(info.st_mode))
        status.kind = Kind::Regular;
    else if (S_ISDIR(info.st_mode))
        status.kind = Kind::Folder;
    else if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        status.kind = Kind::Device;
    else
        status.kind = Kind::Other;
    return status;
}

Status Failed(int error)
{
    Status status;
    status.error = error;
    return status;
}

} // namespace

Status Of(const std::string& path) noexcept
{
    struct stat info {};
    if (path.empty())
        return Failed(ENOENT);
    if (stat(path.c_str(), &info) != 0)
        return Failed(errno);
    return FromStat(info);
}

Status OfDescriptor(int fd) noexcept
{
    struct stat info {};
    if (fstat(fd, &info) != 0)
        return Failed(errno);
    return FromStat(info);
}

bool IsRegularFile(const std::string& path) noexcept
{
    return Of(path).kind == Kind::Regular;
}

bool IsFolder(const std::string& path) noexcept
{
    return Of(path).kind == Kind::Folder;
}

bool IsLink(const std::string& path) noexcept
{
    struct stat info {};
    return !path.empty() && lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

std::string Absolute(const std::string& path)
{
    // The error_code forms: a removed working folder or an overlong name must not throw.
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error)
        return path;
    return absolute.lexically_normal().string();
}

} // namespace FileStatus
