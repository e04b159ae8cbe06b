#include "CdDiscImage.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

CCdDiscImage::~CCdDiscImage()
{
    Close();
}

int CCdDiscImage::Open(const char* cueSheetPath)
{
    Close();
    if (cueSheetPath == nullptr || m_sheet.Load(cueSheetPath) == 0)
        return 0;
    std::string imagePath = m_sheet.FileName();
    if (imagePath[0] != '/') {
        const std::string sheet = cueSheetPath;
        const size_t slash = sheet.rfind('/');
        if (slash != std::string::npos)
            imagePath = sheet.substr(0, slash + 1) + imagePath;
    }
    m_file = ::open(imagePath.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info {};
    if (m_file < 0 || ::fstat(m_file, &info) != 0 || !S_ISREG(info.st_mode)) {
        Close();
        return 0;
    }
    const uint64_t sectors = static_cast<uint64_t>(info.st_size) / kSectorBytes;
    // A track that starts at or after the end of the image is a cue sheet that does not belong
    // to this image: refused, so that no read is ever planned outside it.
    if (sectors == 0 || sectors > kMaxSectors || m_sheet.Tracks().back().firstSector >= sectors) {
        Close();
        return 0;
    }
    m_sectorCount = static_cast<uint32_t>(sectors);
    m_sectorsRead.store(0);
    return 1;
}

void CCdDiscImage::Close()
{
    if (m_file >= 0)
        ::close(m_file);
    m_file = -1;
    m_sectorCount = 0;
}

size_t CCdDiscImage::ReadToc(uint8_t* response, size_t capacity) const
{
    if (m_file < 0)
        return 0;
    const auto& tracks = m_sheet.Tracks();
    const size_t bytes = 4 + 8 * (tracks.size() + 1);
    if (response == nullptr || capacity < bytes)
        return 0;
    std::memset(response, 0, bytes);
    response[0] = static_cast<uint8_t>((bytes - 2) >> 8);
    response[1] = static_cast<uint8_t>(bytes - 2);
    response[2] = 1;
    response[3] = static_cast<uint8_t>(tracks.size());
    auto describe = [](uint8_t* entry, uint8_t number, bool audio, uint32_t sector) {
        // Discs address from 00:02:00: the first 150 sectors are the lead-in's pre-gap.
        const uint32_t msf = sector + 150;
        entry[1] = static_cast<uint8_t>(0x10 | (audio ? 0x00 : 0x04)); // ADR 1, control: data bit
        entry[2] = number;
        entry[5] = static_cast<uint8_t>(msf / 4500);
        entry[6] = static_cast<uint8_t>(msf / 75 % 60);
        entry[7] = static_cast<uint8_t>(msf % 75);
    };
    for (size_t i = 0; i < tracks.size(); ++i)
        describe(response + 4 + 8 * i, static_cast<uint8_t>(tracks[i].number), tracks[i].audio,
                 tracks[i].firstSector);
    describe(response + 4 + 8 * tracks.size(), 0xAA, true, m_sectorCount);
    return bytes;
}

bool CCdDiscImage::ReadSectors(uint32_t lba, int count, uint8_t* buffer)
{
    if (buffer == nullptr || count <= 0)
        return false;
    const size_t bytes = static_cast<size_t>(count) * kSectorBytes;
    bool fail = m_file < 0 || lba >= m_sectorCount || static_cast<uint32_t>(count) > m_sectorCount - lba;
    {
        std::unique_lock lock(m_faultLock);
        m_released.wait(lock, [this] { return !m_held; });
        if (!fail && m_faultsLeft > 0 && m_faultSector >= lba &&
            m_faultSector - lba < static_cast<uint32_t>(count)) {
            --m_faultsLeft;
            fail = true;
        }
    }
    if (!fail) {
        size_t done = 0;
        const off_t offset = static_cast<off_t>(lba) * static_cast<off_t>(kSectorBytes);
        while (done < bytes) {
            const ssize_t got =
                ::pread(m_file, buffer + done, bytes - done, offset + static_cast<off_t>(done));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                break;
            done += static_cast<size_t>(got);
        }
        // The file may have shrunk since Open.
        fail = done != bytes;
    }
    if (fail) {
        std::memset(buffer, 0, bytes);
        return false;
    }
    m_sectorsRead.fetch_add(static_cast<uint64_t>(count));
    return true;
}

void CCdDiscImage::InjectReadErrors(uint32_t sector, int failures)
{
    std::lock_guard lock(m_faultLock);
    m_faultSector = sector;
    m_faultsLeft = failures;
}

void CCdDiscImage::HoldReads(bool hold)
{
    {
        std::lock_guard lock(m_faultLock);
        m_held = hold;
    }
    m_released.notify_all();
}
