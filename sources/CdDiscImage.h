#pragma once

#include "CdCueSheet.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>

// A disc held in a file: a raw image of 2352-byte sectors with its cue sheet. It answers the
// drive's questions the way a drive does: the table of contents as a READ TOC (MSF) response,
// and sector reads that fail for sectors outside the image. It stands in for a real drive in
// the tests, which can make it fail reads and stall them.
//
// Threads: Open and Close on the thread that opens the CD; ReadToc and ReadSectors on one
// thread at a time (the CD reader); the injections from any thread.
class CCdDiscImage {
public:
    static constexpr size_t kSectorBytes = 2352;
    // The lead-out must fit the MSF form a table of contents gives it (minutes in one byte).
    static constexpr uint32_t kMaxSectors = 255u * 4500u - 150u;

    CCdDiscImage() = default;
    ~CCdDiscImage();
    CCdDiscImage(const CCdDiscImage&) = delete;
    CCdDiscImage& operator=(const CCdDiscImage&) = delete;

    // Nonzero when the cue sheet parses and its image holds every track it lists. A relative
    // FILE name is taken from the cue sheet's folder.
    int Open(const char* cueSheetPath);
    void Close();

    // Writes a READ TOC response (format 0, MSF addresses): 4-byte header, one 8-byte descriptor
    // per track, then the lead-out. Returns its size, or 0 when closed or capacity is too small.
    size_t ReadToc(uint8_t* response, size_t capacity) const;
    // Reads count sectors from absolute sector lba into buffer (count x 2352 bytes). False, with
    // the buffer zeroed, when closed, when any sector lies outside the image, on an I/O error or
    // an injected error.
    bool ReadSectors(uint32_t lba, int count, uint8_t* buffer);
    uint32_t SectorCount() const { return m_sectorCount; }

    // Any thread: faults for tests. The next `failures` reads that include sector fail.
    void InjectReadErrors(uint32_t sector, int failures);
    // While held, reads wait before they touch the image: a drive that is spinning up.
    void HoldReads(bool hold);
    // Sectors handed out by successful reads since Open.
    uint64_t SectorsRead() const { return m_sectorsRead.load(); }

private:
    CCdCueSheet m_sheet;
    int m_file = -1;            // the image, read-only; -1 while closed
    uint32_t m_sectorCount = 0; // whole sectors in the image; a trailing partial one is ignored
    std::atomic<uint64_t> m_sectorsRead{0};

    std::mutex m_faultLock; // over the fault fields
    std::condition_variable m_released;
    bool m_held = false;
    uint32_t m_faultSector = 0;
    int m_faultsLeft = 0; // reads still to fail
};
