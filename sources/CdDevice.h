#pragma once

#include <cstddef>
#include <cstdint>

// One CD-ROM device node (/dev/srN) opened for the two ways Linux reads digital audio: the
// CD-ROM ioctls (table of contents, CDROMREADAUDIO) and SCSI commands sent through SG_IO. Each
// call reports plain success or failure; the caller decides what a failure means.
//
// Threads: one thread at a time (the CD drive's owner). Calls block for as long as the drive
// takes, up to the command time-out.
class CCdDevice {
public:
    static constexpr size_t kSectorBytes = 2352;
    static constexpr size_t kInquiryBytes = 36;
    static constexpr unsigned kTimeoutMs = 20000; // spinning up a disc takes seconds
    static constexpr int kOpenAttempts = 3;

    CCdDevice() = default;
    ~CCdDevice();
    CCdDevice(const CCdDevice&) = delete;
    CCdDevice& operator=(const CCdDevice&) = delete;

    // Opens the node, making up to three attempts (a drive that is closing its tray refuses
    // for a moment). Non-blocking, so that a drive without a disc opens too.
    bool Open(const char* path);
    void Close();
    bool IsOpen() const { return m_fd >= 0; }

    // The CD-ROM ioctls. The table of contents is written in the form READ TOC (MSF) gives it,
    // so that one parser serves every way of reading it; returns its size or 0.
    size_t ReadTocIoctl(uint8_t* response, size_t capacity);
    bool ReadAudioIoctl(uint32_t lba, int count, uint8_t* buffer);

    // SCSI commands through SG_IO.
    bool Inquiry(uint8_t* data); // kInquiryBytes
    bool HasCapabilitiesPage();  // MODE SENSE page 0x2A, asked with 26 and then 28 bytes
    bool SelectBlockLength(bool longSectors);
    bool TestUnitReady();
    size_t ReadTocMsf(uint8_t* response, size_t capacity); // 796 bytes are asked for
    // Reads count sectors with the read command of that index (0..6) at sectorBytes each.
    bool ReadSectors(int command, uint32_t lba, int count, size_t sectorBytes, uint8_t* buffer);
    // The SCSI address (host adapter, target, logical unit), from SCSI_IOCTL_GET_IDLUN.
    bool GetAddress(uint8_t& hostAdapter, uint8_t& target, uint8_t& lun);

    // The command block of read command `command` for count sectors at lba; its length (6, 10
    // or 12), or 0 for an unknown index. cdb holds 12 bytes.
    static int BuildReadCommand(int command, uint32_t lba, int count, uint8_t* cdb);
    // The 12-byte MODE SELECT parameter list: 4-byte header, one 8-byte block descriptor with
    // density 0x82 and 2368-byte blocks for long sectors, density 0 and 2352 bytes otherwise.
    static void BuildBlockLengthList(bool longSectors, uint8_t* list);

private:
    enum class Direction { None, In, Out };
    bool Command(const uint8_t* cdb, int cdbBytes, Direction direction, void* data, size_t bytes);

    int m_fd = -1; // -1 while closed
};
