#include "CdDevice.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <initializer_list>
#include <linux/cdrom.h>
#include <scsi/scsi.h>
#include <scsi/sg.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

void PutBe32(uint8_t* at, uint32_t value)
{
    at[0] = static_cast<uint8_t>(value >> 24);
    at[1] = static_cast<uint8_t>(value >> 16);
    at[2] = static_cast<uint8_t>(value >> 8);
    at[3] = static_cast<uint8_t>(value);
}

} // namespace

CCdDevice::~CCdDevice()
{
    Close();
}

bool CCdDevice::Open(const char* path)
{
    Close();
    if (path == nullptr)
        return false;
    for (int attempt = 0; attempt < kOpenAttempts && m_fd < 0; ++attempt) {
        // SG_IO on an sr node needs write access for commands that change the drive (MODE
        // SELECT); read access alone still allows the ioctls, so it is the fallback.
        m_fd = ::open(path, O_RDWR | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0 && (errno == EACCES || errno == EROFS))
            m_fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
        if (m_fd < 0 && errno == ENOENT)
            break; // no such node: trying again cannot help
    }
    return m_fd >= 0;
}

void CCdDevice::Close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

size_t CCdDevice::ReadTocIoctl(uint8_t* response, size_t capacity)
{
    cdrom_tochdr header{};
    if (m_fd < 0 || response == nullptr || ::ioctl(m_fd, CDROMREADTOCHDR, &header) != 0)
        return 0;
    const int first = header.cdth_trk0;
    const int last = header.cdth_trk1;
    if (first < 1 || last > 99 || first > last)
        return 0;
    const size_t bytes = 4 + 8 * static_cast<size_t>(last - first + 2);
    if (capacity < bytes)
        return 0;
    std::memset(response, 0, bytes);
    response[0] = static_cast<uint8_t>((bytes - 2) >> 8);
    response[1] = static_cast<uint8_t>(bytes - 2);
    response[2] = static_cast<uint8_t>(first);
    response[3] = static_cast<uint8_t>(last);
    uint8_t* entry = response + 4;
    for (int track = first; track <= last + 1; ++track, entry += 8) {
        cdrom_tocentry toc{};
        toc.cdte_track = static_cast<uint8_t>(track <= last ? track : CDROM_LEADOUT);
        toc.cdte_format = CDROM_MSF;
        if (::ioctl(m_fd, CDROMREADTOCENTRY, &toc) != 0)
            return 0;
        entry[1] = static_cast<uint8_t>((toc.cdte_adr << 4) | (toc.cdte_ctrl & 0x0F));
        entry[2] = toc.cdte_track;
        entry[5] = toc.cdte_addr.msf.minute;
        entry[6] = toc.cdte_addr.msf.second;
        entry[7] = toc.cdte_addr.msf.frame;
    }
    return bytes;
}

bool CCdDevice::ReadAudioIoctl(uint32_t lba, int count, uint8_t* buffer)
{
    if (m_fd < 0 || buffer == nullptr || count <= 0)
        return false;
    cdrom_read_audio request{};
    request.addr.lba = static_cast<int>(lba);
    request.addr_format = CDROM_LBA;
    request.nframes = count;
    request.buf = buffer;
    return ::ioctl(m_fd, CDROMREADAUDIO, &request) == 0;
}

bool CCdDevice::Command(const uint8_t* cdb, int cdbBytes, Direction direction, void* data, size_t bytes)
{
    if (m_fd < 0)
        return false;
    uint8_t sense[32] = {};
    sg_io_hdr_t io{};
    io.interface_id = 'S';
    io.dxfer_direction = direction == Direction::In    ? SG_DXFER_FROM_DEV
                         : direction == Direction::Out ? SG_DXFER_TO_DEV
                                                       : SG_DXFER_NONE;
    io.cmd_len = static_cast<unsigned char>(cdbBytes);
    io.cmdp = const_cast<uint8_t*>(cdb);
    io.mx_sb_len = sizeof sense;
    io.sbp = sense;
    io.dxfer_len = static_cast<unsigned>(bytes);
    io.dxferp = data;
    io.timeout = kTimeoutMs;
    if (::ioctl(m_fd, SG_IO, &io) != 0)
        return false;
    return (io.info & SG_INFO_OK_MASK) == SG_INFO_OK;
}

bool CCdDevice::Inquiry(uint8_t* data)
{
    const uint8_t cdb[6] = {0x12, 0, 0, 0, static_cast<uint8_t>(kInquiryBytes), 0};
    return data != nullptr && Command(cdb, 6, Direction::In, data, kInquiryBytes);
}

bool CCdDevice::HasCapabilitiesPage()
{
    // Some drives refuse an allocation length other than the page's own size; the page grew
    // from 26 to 28 bytes (with header) between MMC revisions, so both are tried.
    for (const uint8_t length : {uint8_t{26}, uint8_t{28}}) {
        uint8_t answer[28] = {};
        const uint8_t cdb[6] = {0x1A, 0x08, 0x2A, 0, length, 0}; // DBD: no block descriptor
        if (!Command(cdb, 6, Direction::In, answer, length))
            continue;
        const size_t page = 4 + size_t{answer[3]}; // after the header and any block descriptor
        if (page < length && (answer[page] & 0x3F) == 0x2A)
            return true;
    }
    return false;
}

bool CCdDevice::SelectBlockLength(bool longSectors)
{
    uint8_t list[12];
    BuildBlockLengthList(longSectors, list);
    const uint8_t cdb[6] = {0x15, 0x10, 0, 0, sizeof list, 0}; // page format
    return Command(cdb, 6, Direction::Out, list, sizeof list);
}

bool CCdDevice::TestUnitReady()
{
    const uint8_t cdb[6] = {0x00, 0, 0, 0, 0, 0};
    return Command(cdb, 6, Direction::None, nullptr, 0);
}

size_t CCdDevice::ReadTocMsf(uint8_t* response, size_t capacity)
{
    constexpr uint16_t kAllocation = 796; // 4-byte header, 99 tracks and the lead-out
    if (response == nullptr || capacity < kAllocation)
        return 0;
    std::memset(response, 0, kAllocation);
    const uint8_t cdb[10] = {0x43, 0x02, 0, 0, 0, 0, 0, kAllocation >> 8, kAllocation & 0xFF, 0};
    if (!Command(cdb, 10, Direction::In, response, kAllocation))
        return 0;
    // The drive's own length field, kept within what was transferred: the parser checks it again.
    const size_t told = 2 + ((size_t{response[0]} << 8) | response[1]);
    return told < kAllocation ? told : kAllocation;
}

bool CCdDevice::ReadSectors(int command, uint32_t lba, int count, size_t sectorBytes, uint8_t* buffer)
{
    uint8_t cdb[12];
    const int length = BuildReadCommand(command, lba, count, cdb);
    if (length == 0 || buffer == nullptr || count <= 0)
        return false;
    return Command(cdb, length, Direction::In, buffer, static_cast<size_t>(count) * sectorBytes);
}

bool CCdDevice::GetAddress(uint8_t& hostAdapter, uint8_t& target, uint8_t& lun)
{
    // The kernel fills two ints: target | lun << 8 | channel << 16 | host << 24, then host_unique_id.
    int idLun[2] = {0, 0};
    if (m_fd < 0 || ::ioctl(m_fd, SCSI_IOCTL_GET_IDLUN, idLun) != 0)
        return false;
    target = static_cast<uint8_t>(idLun[0]);
    lun = static_cast<uint8_t>(idLun[0] >> 8);
    hostAdapter = static_cast<uint8_t>(idLun[0] >> 24);
    return true;
}

int CCdDevice::BuildReadCommand(int command, uint32_t lba, int count, uint8_t* cdb)
{
    std::memset(cdb, 0, 12);
    const auto sectors = static_cast<uint32_t>(count);
    switch (command) {
    case 0: // READ(10): the block length set by MODE SELECT makes it read audio
    case 5:
        cdb[0] = 0x28;
        PutBe32(cdb + 2, lba);
        cdb[7] = static_cast<uint8_t>(sectors >> 8);
        cdb[8] = static_cast<uint8_t>(sectors);
        return 10;
    case 1: // vendor READ CD-DA (10-byte)
        cdb[0] = 0xD4;
        PutBe32(cdb + 2, lba);
        cdb[7] = static_cast<uint8_t>(sectors >> 8);
        cdb[8] = static_cast<uint8_t>(sectors);
        return 10;
    case 2: // vendor READ CD-DA (12-byte): a 32-bit count, no sub-channel
        cdb[0] = 0xD8;
        PutBe32(cdb + 2, lba);
        PutBe32(cdb + 6, sectors);
        return 12;
    case 3: // MMC READ CD: sector type CD-DA, user data only
        cdb[0] = 0xBE;
        cdb[1] = 0x04;
        PutBe32(cdb + 2, lba);
        cdb[6] = static_cast<uint8_t>(sectors >> 16);
        cdb[7] = static_cast<uint8_t>(sectors >> 8);
        cdb[8] = static_cast<uint8_t>(sectors);
        cdb[9] = 0x10;
        return 12;
    case 4: // READ(6): a 21-bit address
        cdb[0] = 0x08;
        cdb[1] = static_cast<uint8_t>((lba >> 16) & 0x1F);
        cdb[2] = static_cast<uint8_t>(lba >> 8);
        cdb[3] = static_cast<uint8_t>(lba);
        cdb[4] = static_cast<uint8_t>(sectors);
        return 6;
    case 6: // READ(12)
        cdb[0] = 0xA8;
        PutBe32(cdb + 2, lba);
        PutBe32(cdb + 6, sectors);
        return 12;
    default:
        return 0;
    }
}

void CCdDevice::BuildBlockLengthList(bool longSectors, uint8_t* list)
{
    std::memset(list, 0, 12);
    list[3] = 8; // block descriptor length
    list[4] = longSectors ? 0x82 : 0x00;
    const uint32_t blockBytes = longSectors ? 0x940 : 0x930;
    list[9] = static_cast<uint8_t>(blockBytes >> 16);
    list[10] = static_cast<uint8_t>(blockBytes >> 8);
    list[11] = static_cast<uint8_t>(blockBytes);
}
