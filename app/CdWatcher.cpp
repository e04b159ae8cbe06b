#include "CdWatcher.h"

#include "CdCueSheet.h"
#include "Fd.h"

#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// FNV-1a over what tells one file from another with the same name: a copy put in its place
// (another inode), a file written again (size, modification time).
void AddToStamp(uint64_t& stamp, const struct stat& info)
{
    for (const uint64_t value :
         {static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino),
          static_cast<uint64_t>(info.st_size), static_cast<uint64_t>(info.st_mtim.tv_sec),
          static_cast<uint64_t>(info.st_mtim.tv_nsec)}) {
        for (int shift = 0; shift < 64; shift += 8) {
            stamp ^= (value >> shift) & 0xFF;
            stamp *= 1099511628211ull;
        }
    }
}

// The whole cue sheet through an open descriptor; false when it is larger than one can be.
bool ReadSheet(int fd, std::string& text)
{
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        text.append(buffer, static_cast<size_t>(got));
        if (text.size() > CCdCueSheet::kMaxSheetBytes)
            return false;
    }
}

} // namespace

CCdWatcher::CCdWatcher(Target target, std::string path, std::chrono::milliseconds period)
    : m_target(target), m_path(std::move(path)), m_period(period)
{
    m_thread = std::thread([this] { Run(); });
}

CCdWatcher::~CCdWatcher()
{
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

std::optional<CCdWatcher::Change> CCdWatcher::Take()
{
    std::lock_guard lock(m_lock);
    if (m_pendingCount == 0)
        return std::nullopt;
    const Change change = m_pending[0];
    m_pending[0] = m_pending[1];
    --m_pendingCount;
    return change;
}

bool CCdWatcher::Present() const
{
    std::lock_guard lock(m_lock);
    return m_state.present;
}

uint64_t CCdWatcher::Looks() const
{
    std::lock_guard lock(m_lock);
    return m_looks;
}

CCdWatcher::Look CCdWatcher::LookAtDrive(const std::string& device)
{
    // Non-blocking: a drive without a disc, or with its tray open, opens too.
    const CFd fd(::open(device.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    Look look;
    // A missing node, a node of another kind (ENOTTY) and a drive that cannot tell all hold no
    // disc the player could read.
    look.present = fd.Valid() && ::ioctl(fd.Get(), CDROM_DRIVE_STATUS, CDSL_CURRENT) == CDS_DISC_OK;
    return look;
}

CCdWatcher::Look CCdWatcher::LookAtDiscImage(const std::string& cueSheet)
{
    // Opened only as regular files: a FIFO named like the image would block the look for good.
    int error = 0;
    const CFd sheet = OpenRegularFile(cueSheet, error);
    struct stat sheetInfo {};
    std::string text;
    CCdCueSheet parsed;
    if (!sheet.Valid() || ::fstat(sheet.Get(), &sheetInfo) != 0 || !ReadSheet(sheet.Get(), text) ||
        parsed.Parse(text.data(), text.size()) == 0)
        return {};
    std::string imagePath = parsed.FileName();
    if (imagePath.empty())
        return {};
    if (imagePath.front() != '/') {
        const size_t slash = cueSheet.rfind('/');
        if (slash != std::string::npos)
            imagePath = cueSheet.substr(0, slash + 1) + imagePath;
    }
    const CFd image = OpenRegularFile(imagePath, error);
    struct stat imageInfo {};
    if (!image.Valid() || ::fstat(image.Get(), &imageInfo) != 0)
        return {};
    Look look;
    look.present = true;
    look.stamp = 14695981039346656037ull;
    AddToStamp(look.stamp, sheetInfo);
    AddToStamp(look.stamp, imageInfo);
    return look;
}

void CCdWatcher::Run()
{
    std::unique_lock lock(m_lock);
    while (!m_stop) {
        lock.unlock();
        const Look look = m_target == Target::Drive ? LookAtDrive(m_path) : LookAtDiscImage(m_path);
        lock.lock();
        if (m_looks > 0) {
            if (m_state.present && (!look.present || look.stamp != m_state.stamp))
                PushLocked(Change::Removal);
            if (look.present && (!m_state.present || look.stamp != m_state.stamp))
                PushLocked(Change::Arrival);
        }
        m_state = look;
        ++m_looks;
        m_wake.wait_for(lock, m_period, [this] { return m_stop; });
    }
}

void CCdWatcher::PushLocked(Change change)
{
    if (m_pendingCount == m_pending.size()) {
        m_pendingCount = 1;
        return;
    }
    m_pending[m_pendingCount++] = change;
}
