#include "CdDrive.h"

#include "CdDevice.h"
#include "CdDiscImage.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <dirent.h>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <utility>

namespace {

std::mutex g_settingLock;
std::string g_discImage; // cue sheet path of the drive setting; empty: the real drives

// A READ TOC answer for 99 tracks and the lead-out is 804 bytes; the SCSI path asks for 796.
constexpr size_t kTocBytes = 804;

} // namespace

CCdDrive::CCdDrive() = default;

CCdDrive::~CCdDrive()
{
    Release();
}

void CCdDrive::SetDiscImage(const std::string& cueSheetPath)
{
    std::lock_guard lock(g_settingLock);
    g_discImage = cueSheetPath;
}

std::string CCdDrive::DiscImage()
{
    std::lock_guard lock(g_settingLock);
    return g_discImage;
}

std::vector<std::string> CCdDrive::ListDevices(const char* folder)
{
    std::vector<std::pair<unsigned long, std::string>> found;
    if (DIR* dir = folder ? ::opendir(folder) : nullptr) {
        while (const dirent* entry = ::readdir(dir)) {
            const char* name = entry->d_name;
            const size_t length = std::strlen(name);
            // "sr" and 1..4 digits: sr0 .. sr9999; longer numbers are no device the kernel makes.
            if (length < 3 || length > 6 || std::strncmp(name, "sr", 2) != 0)
                continue;
            if (!std::all_of(name + 2, name + length, [](char c) { return c >= '0' && c <= '9'; }))
                continue;
            found.emplace_back(std::stoul(name + 2), std::string(folder) + "/" + name);
        }
        ::closedir(dir);
    }
    // Number order, not name order: sr10 comes after sr9.
    std::sort(found.begin(), found.end());
    std::vector<std::string> devices;
    for (auto& [number, path] : found) {
        if (static_cast<int>(devices.size()) == kMaxDrives)
            break;
        devices.push_back(std::move(path));
    }
    return devices;
}

CdDriveSettings CCdDrive::ChooseSettings(const uint8_t* inquiry, bool mmc)
{
    CdDriveSettings settings;
    settings.mmc = mmc;
    const char* vendor = reinterpret_cast<const char*>(inquiry + 8);
    auto vendorIs = [vendor](std::initializer_list<const char*> names) {
        return std::any_of(names.begin(), names.end(), [vendor](const char* name) {
            const size_t length = std::strlen(name);
            return length <= 8 && std::memcmp(vendor, name, length) == 0;
        });
    };
    // The steps apply one after the other, so a later one overrides an earlier: RICOH, listed
    // with the CD writers, ends with the vendor READ CD-DA of the following step.
    if (vendorIs({"HP", "PHILIPS", "KODAK", "MITSUMI", "GRUNDIG", "PLASMON", "IMS", "RICOH"}))
        settings.readCommand = 0;
    if (vendorIs({"TOSHIBA", "IBM", "DEC"})) {
        settings.readCommand = 0;
        settings.sectorBytes = static_cast<int>(kLongSectorBytes);
    }
    if (vendorIs({"NEC"}))
        settings.readCommand = 1;
    else if (vendorIs({"SONY", "HITACHI", "PLEXTOR", "TEAC", "RICOH"}))
        settings.readCommand = 2;
    else if (vendorIs({"MATSHITA", "Cyber"}))
        settings.readCommand = 0;
    if (mmc) {
        settings.readCommand = 3;
        settings.sectorBytes = static_cast<int>(kSectorBytes);
    }
    return settings;
}

int CCdDrive::ParseToc(const uint8_t* response, size_t bytes, CdToc& toc)
{
    toc = CdToc{};
    if (response == nullptr || bytes < 4)
        return kStatusReadFailed;
    // The length field counts the bytes after itself; never read past what actually arrived.
    const size_t told = 2 + ((size_t{response[0]} << 8) | response[1]);
    const size_t usable = std::min(told, bytes);
    const int first = response[2];
    const int last = response[3];
    if (first != 1 || last < first || last > kMaxTracks)
        return kStatusReadFailed;
    std::array<bool, kMaxTracks> found{};
    std::array<bool, kMaxTracks> data{};
    bool leadOutFound = false;
    for (size_t offset = 4; offset + 8 <= usable; offset += 8) {
        const uint8_t* entry = response + offset;
        if (entry[6] >= 60 || entry[7] >= 75)
            return kStatusReadFailed;
        const uint32_t msf = PackMsf(entry[5], entry[6], entry[7]);
        const int number = entry[2];
        if (number == 0xAA) {
            toc.start[static_cast<size_t>(last)] = msf;
            leadOutFound = true;
        } else if (number >= first && number <= last) {
            const auto index = static_cast<size_t>(number - 1);
            toc.start[index] = msf;
            data[index] = (entry[1] & 0x04) != 0; // control: a data track
            found[index] = true;
        }
    }
    if (!leadOutFound)
        return kStatusReadFailed;
    for (size_t i = 0; i < static_cast<size_t>(last); ++i) {
        // Every track must be listed, start after the 150-sector pre-gap, and come before the next.
        if (!found[i] || MsfSectors(toc.start[i]) < 150 ||
            MsfSectors(toc.start[i + 1]) <= MsfSectors(toc.start[i])) {
            toc = CdToc{};
            return kStatusReadFailed;
        }
        toc.length[i] = data[i] ? 0 : SectorsToMsf(MsfSectors(toc.start[i + 1]) - MsfSectors(toc.start[i]));
    }
    toc.trackCount = last;
    if (last == 1 && data[0])
        toc.trackCount = 0; // a data-only disc has nothing to play
    return kStatusOk;
}

int CCdDrive::Init(char letter)
{
    Release();
    m_status = kStatusOk;
    m_method = 2;
    m_letter = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    m_drives.clear();
    m_settings = CdDriveSettings{};
    m_toc = CdToc{};
    m_abort.store(false);

    const std::string image = DiscImage();
    if (!image.empty()) {
        CdDriveEntry entry;
        entry.letter = 'D';
        entry.device = image;
        m_drives.push_back(entry);
        if (m_letter != entry.letter)
            return m_status = kStatusNotCdDrive;
        m_method = 0;
        m_image = std::make_unique<CCdDiscImage>();
        if (m_image->Open(image.c_str()) == 0) {
            m_image.reset();
            return m_status = kStatusImageFailed;
        }
    } else {
        const std::vector<std::string> devices = ListDevices();
        if (devices.empty())
            return m_status = kStatusNoDrive;
        for (size_t i = 0; i < devices.size(); ++i) {
            CdDriveEntry entry;
            entry.letter = static_cast<char>('D' + i);
            entry.device = devices[i];
            m_drives.push_back(entry);
        }
        if (m_letter < 'D' || m_letter - 'D' >= static_cast<int>(m_drives.size()))
            return m_status = kStatusNotCdDrive;
        m_status = InitDevice(m_drives[static_cast<size_t>(m_letter - 'D')]);
        if (m_status != kStatusOk) {
            m_device.reset();
            return m_status;
        }
    }
    m_buffer = std::make_unique<uint8_t[]>(kSectorsPerRead * kLongSectorBytes);
    return m_status;
}

int CCdDrive::InitDevice(const CdDriveEntry& chosen)
{
    m_device = std::make_unique<CCdDevice>();
    if (!m_device->Open(chosen.device.c_str()))
        return kStatusOpenFailed;
    // Method 2 needs nothing but a table of contents the kernel can read.
    uint8_t toc[kTocBytes];
    if (m_device->ReadTocIoctl(toc, sizeof toc) > 0) {
        m_method = 2;
        return kStatusOk;
    }
    m_method = 1;
    // The table gets every drive's address and make; a drive that is busy keeps its blanks.
    for (CdDriveEntry& entry : m_drives) {
        CCdDevice other;
        if (&entry != &chosen && other.Open(entry.device.c_str())) {
            other.GetAddress(entry.hostAdapter, entry.target, entry.lun);
            other.Inquiry(entry.inquiry.data());
        }
    }
    auto& entry = m_drives[static_cast<size_t>(m_letter - 'D')];
    if (!m_device->GetAddress(entry.hostAdapter, entry.target, entry.lun) || !DetermineSettings())
        return kStatusPassThroughFailed;
    if (!m_settings.mmc &&
        !m_device->SelectBlockLength(m_settings.sectorBytes == static_cast<int>(kLongSectorBytes)))
        return kStatusPassThroughFailed;
    return kStatusOk;
}

bool CCdDrive::DetermineSettings()
{
    auto& entry = m_drives[static_cast<size_t>(m_letter - 'D')];
    if (!m_device->Inquiry(entry.inquiry.data()))
        return false;
    const bool mmc = m_device->HasCapabilitiesPage();
    m_settings = ChooseSettings(entry.inquiry.data(), mmc);
    return true;
}

int CCdDrive::ReadToc()
{
    uint8_t response[kTocBytes] = {};
    size_t bytes = 0;
    if (m_method == 0 && m_image) {
        bytes = m_image->ReadToc(response, sizeof response);
    } else if (m_method == 2 && m_device) {
        bytes = m_device->ReadTocIoctl(response, sizeof response);
    } else if (m_method == 1 && m_device) {
        if (!m_settings.mmc)
            m_device->SelectBlockLength(m_settings.sectorBytes == static_cast<int>(kLongSectorBytes));
        // A drive that just got its disc answers "not ready" while it spins up.
        if (!m_device->TestUnitReady()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            m_device->TestUnitReady();
        }
        bytes = m_device->ReadTocMsf(response, sizeof response);
    }
    return m_status = ParseToc(response, bytes, m_toc);
}

void CCdDrive::SetRange(uint32_t first, uint32_t end)
{
    m_first = first;
    m_end = end;
}

bool CCdDrive::ReadChunk(uint32_t first, int count)
{
    uint8_t* buffer = m_buffer.get();
    if (buffer == nullptr)
        return false;
    switch (m_method) {
    case 0:
        return m_image && m_image->ReadSectors(first, count, buffer);
    case 2:
        return m_device && m_device->ReadAudioIoctl(first, count, buffer);
    default: {
        const auto sectorBytes = static_cast<size_t>(m_settings.sectorBytes);
        if (!m_device || !m_device->ReadSectors(m_settings.readCommand, first, count, sectorBytes, buffer))
            return false;
        // Long sectors carry 16 bytes after the audio; the callers see 2352-byte sectors.
        for (int i = 1; sectorBytes != kSectorBytes && i < count; ++i)
            std::memmove(buffer + i * kSectorBytes, buffer + i * sectorBytes, kSectorBytes);
        return true;
    }
    }
}

int CCdDrive::ReadRange(const Callback& callback)
{
    int result = kStatusOk;
    uint32_t bytes = 0;
    for (uint32_t n = m_first; n < m_end;) {
        const int count = static_cast<int>(std::min<uint32_t>(kSectorsPerRead, m_end - n));
        bool good = false;
        for (int attempt = 0; attempt < kAttempts && !good; ++attempt)
            good = ReadChunk(n, count);
        // A chunk that failed three times is passed on all the same: for audio a click is
        // better than a gap, and the caller learns of it from the result.
        if (!good)
            result = m_status = kStatusReadFailed;
        bytes = static_cast<uint32_t>(count) * kSectorBytes;
        if (callback)
            callback(n, m_end, bytes, *this);
        if (m_abort.load())
            return kStatusOk;
        n += static_cast<uint32_t>(count);
    }
    if (callback)
        callback(m_end, m_end, bytes, *this);
    return result;
}

void CCdDrive::Release()
{
    m_device.reset();
    m_image.reset();
    m_buffer.reset();
    m_toc = CdToc{};
}
