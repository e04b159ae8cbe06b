#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCdDevice;
class CCdDiscImage;

// The table of contents of the open disc.
struct CdToc {
    int trackCount = 0;                // 0..99; 0 for a disc holding one data track only
    std::array<uint32_t, 100> start{}; // packed MSF per track, start[trackCount] = lead-out
    std::array<uint32_t, 99> length{}; // packed MSF per track, 0 for a data track
};

// The settings a drive's make calls for.
struct CdDriveSettings {
    int readCommand = 2;    // index into the read command table, 0..6
    int sectorBytes = 2352; // 2352, or 2368 where READ(10) returns long sectors
    bool mmc = false;       // the drive answers the MMC capabilities page
};

// One CD drive of the table: its letter, SCSI address and inquiry data.
struct CdDriveEntry {
    char letter = 0;    // 'D', 'E', ... by device number order
    std::string device; // /dev/srN
    uint8_t hostAdapter = 0;
    uint8_t target = 0;
    uint8_t lun = 0;
    std::array<uint8_t, 36> inquiry{}; // vendor at 8..15, product at 16..31
};

// The program's open CD drive: finds the drives, chooses how to read, reads the table of
// contents and reads sector ranges in chunks of 16.
//
// Access methods: 2 reads through the CD-ROM ioctls, 1 sends SCSI commands through SG_IO, 0
// reads a disc image; the image is the drive when the drive setting names one (SetDiscImage),
// and then it is the only drive, letter 'D'.
//
// Threads: Init, ReadToc and Release on the thread that opens the CD; ReadRange on the CD
// reader thread while the CD is open; SetAbort from any thread.
class CCdDrive {
public:
    // Init's results; the others report the last error.
    static constexpr int kStatusOk = 0;
    static constexpr int kStatusRawReadRefused = 1;
    static constexpr int kStatusImageFailed = 2; // the disc image cannot be read
    static constexpr int kStatusOpenFailed = 3;
    static constexpr int kStatusPassThroughFailed = 4;
    static constexpr int kStatusNoDrive = 5;
    static constexpr int kStatusNoHostAdapter = 6; // not reported on Linux
    static constexpr int kStatusMakeUnknown = 7;
    static constexpr int kStatusNotCdDrive = 8;
    static constexpr int kStatusReadFailed = 9; // a table of contents or sector read failed

    static constexpr int kMaxDrives = 25;
    static constexpr int kSectorsPerRead = 16; // about 0.21 s of audio per command
    static constexpr int kAttempts = 3;
    static constexpr size_t kSectorBytes = 2352;
    static constexpr size_t kLongSectorBytes = 2368;
    static constexpr int kMaxTracks = 99;

    // Called after each chunk with (first sector of the chunk, end of the range, bytes of the
    // chunk, the drive whose Buffer() holds it), and once more with (end, end, bytes of the last
    // chunk) when the range is done.
    using Callback = std::function<void(uint32_t first, uint32_t end, uint32_t bytes, const CCdDrive& drive)>;

    CCdDrive();
    ~CCdDrive();
    CCdDrive(const CCdDrive&) = delete;
    CCdDrive& operator=(const CCdDrive&) = delete;

    // Packed MSF: minute | second << 8 | frame << 16.
    static constexpr uint32_t PackMsf(uint32_t minute, uint32_t second, uint32_t frame)
    {
        return minute | second << 8 | frame << 16;
    }
    static constexpr uint32_t MsfSectors(uint32_t msf)
    {
        return (msf & 0xFF) * 4500 + ((msf >> 8) & 0xFF) * 75 + ((msf >> 16) & 0xFF);
    }
    static constexpr uint32_t SectorsToMsf(uint32_t sectors)
    {
        return PackMsf(sectors / 4500, sectors / 75 % 60, sectors % 75);
    }

    // Any thread: the drive setting. A non-empty cue sheet path makes that disc image the drive.
    static void SetDiscImage(const std::string& cueSheetPath);
    static std::string DiscImage();

    // The CD device nodes of a folder ("sr" and a number) in number order, at most 25.
    static std::vector<std::string> ListDevices(const char* folder = "/dev");
    // The read command and sector size for a drive's make; inquiry holds 36 bytes.
    static CdDriveSettings ChooseSettings(const uint8_t* inquiry, bool mmc);
    // Reads a READ TOC (MSF) response into toc; kStatusOk, or kStatusReadFailed when the
    // response is short, lies about its length, or lists tracks out of order.
    static int ParseToc(const uint8_t* response, size_t bytes, CdToc& toc);

    int Init(char letter);
    int ReadToc();
    // Sets the range ReadRange reads: absolute sectors [first, end).
    void SetRange(uint32_t first, uint32_t end);
    // 0 when every chunk was read (or the range was aborted), else the last error.
    int ReadRange(const Callback& callback);
    void Release();
    void SetAbort(bool abort) { m_abort.store(abort); }

    int Status() const { return m_status; }
    int Method() const { return m_method; }
    char Letter() const { return m_letter; }
    const CdToc& Toc() const { return m_toc; }
    const CdDriveSettings& Settings() const { return m_settings; }
    const std::vector<CdDriveEntry>& Drives() const { return m_drives; }
    // The chunk just read: 2352 bytes per sector.
    const uint8_t* Buffer() const { return m_buffer.get(); }
    // The image when method 0 reads one, for tests that inject faults; else null.
    CCdDiscImage* Image() const { return m_image.get(); }

private:
    int InitDevice(const CdDriveEntry& entry);
    bool DetermineSettings();
    bool ReadChunk(uint32_t first, int count);

    int m_status = kStatusOk;
    int m_method = 2;                   // 0 disc image, 1 SG_IO, 2 CD-ROM ioctls
    char m_letter = 0;                  // upper case
    std::vector<CdDriveEntry> m_drives; // at most 25
    CdDriveSettings m_settings;
    CdToc m_toc;
    uint32_t m_first = 0; // range being read, absolute sectors
    uint32_t m_end = 0;
    std::atomic<bool> m_abort{false};
    std::unique_ptr<CCdDevice> m_device;   // methods 1 and 2
    std::unique_ptr<CCdDiscImage> m_image; // method 0
    std::unique_ptr<uint8_t[]> m_buffer;   // 16 sectors of up to 2368 bytes
};
