#include "MediaDrives.h"

#include "CdDrive.h"
#include "CdReader.h"
#include "FileStatus.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <pwd.h>
#include <system_error>
#include <unistd.h>

namespace {

std::string UserName()
{
    if (const char* user = std::getenv("USER"); user != nullptr && *user != '\0')
        return user;
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_name != nullptr)
        return entry->pw_name;
    return {};
}

bool IsFile(const std::string& path)
{
    return FileStatus::IsRegularFile(path);
}

} // namespace

CMediaDrives::CMediaDrives() : CMediaDrives(CCdReader::Program())
{
}

CMediaDrives::CMediaDrives(CCdReader& reader) : m_reader(reader)
{
    const std::string user = UserName();
    if (!user.empty())
        m_mountFolders = {"/media/" + user, "/run/media/" + user};
}

CMediaDrives& CMediaDrives::Program()
{
    static CMediaDrives drives;
    return drives;
}

void CMediaDrives::Scan()
{
    m_cdDrives.clear();
    if (!CCdDrive::DiscImage().empty()) {
        m_cdDrives.push_back('D');
    } else {
        const size_t count = CCdDrive::ListDevices().size();
        for (size_t k = 0; k < count; ++k)
            m_cdDrives.push_back(static_cast<char>('D' + k));
    }
    if (!m_cdChosen && !m_cdDrives.empty())
        m_cdLetter = m_cdDrives.front();

    m_removable.clear();
    for (const std::string& folder : m_mountFolders) {
        // increment(error), not ++: a range-for would throw when a step fails.
        std::error_code error;
        for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
             entry.increment(error)) {
            std::error_code typeError;
            if (entry->is_directory(typeError))
                m_removable.push_back(entry->path().string());
        }
    }
}

void CMediaDrives::SetMountFolders(std::vector<std::string> folders)
{
    m_mountFolders = std::move(folders);
    for (std::string& folder : m_mountFolders) {
        while (folder.size() > 1 && folder.back() == '/')
            folder.pop_back();
    }
}

void CMediaDrives::SelectCdDrive(char letter)
{
    m_cdLetter = letter;
    m_cdChosen = true;
    m_cdHasAudio = false;
    const int tracks = OpenCd();
    for (int number = 1; number <= tracks && !m_cdHasAudio; ++number)
        m_cdHasAudio = CdTrackExists(number);
}

std::string CMediaDrives::RemovableDriveOf(const std::string& path) const
{
    // A drive is any folder inside a mount folder, mounted now or not: a stick that went away
    // still tells which part of the path to swap.
    for (const std::string& folder : m_mountFolders) {
        if (path.size() <= folder.size() + 1 || path.compare(0, folder.size(), folder) != 0 ||
            path[folder.size()] != '/')
            continue;
        const size_t end = path.find('/', folder.size() + 1);
        if (end == std::string::npos)
            continue;
        return path.substr(0, end);
    }
    return {};
}

std::string CMediaDrives::FindOnRemovable(const std::string& path) const
{
    const std::string drive = RemovableDriveOf(path);
    if (drive.empty())
        return {};
    const std::string rest = path.substr(drive.size());
    for (const std::string& other : m_removable) {
        if (other == drive)
            continue;
        if (IsFile(other + rest))
            return other + rest;
    }
    return {};
}

int CMediaDrives::OpenCd() const
{
    return m_reader.OpenAudioCd(m_cdLetter, false);
}

bool CMediaDrives::CdTrackExists(int number) const
{
    if (number < 1 || OpenCd() <= 0)
        return false;
    uint32_t start = 0;
    uint32_t length = 0;
    return m_reader.TrackExtent(number - 1, start, length);
}

int CMediaDrives::CdTrackSeconds(int number) const
{
    int seconds = -1;
    if (number < 1 || OpenCd() <= 0 || m_reader.GetCdTrackLength(number - 1, seconds) == 0)
        return -1;
    return seconds;
}
