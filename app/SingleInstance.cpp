#include "SingleInstance.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

std::atomic_ref<uint8_t> StateOf(uint8_t* block)
{
    return std::atomic_ref<uint8_t>(block[0]);
}

// A block is ours when this user made it and nobody else may write it.
bool OwnedByUs(int fd)
{
    struct stat st {};
    return fstat(fd, &st) == 0 && st.st_uid == getuid() && (st.st_mode & 077) == 0 &&
           static_cast<size_t>(st.st_size) >= CSingleInstance::kBlockBytes;
}

std::string SystemError(const char* what)
{
    return std::string(what) + ": " + std::strerror(errno);
}

} // namespace

CSingleInstance::CSingleInstance(std::string name, std::string runtimeFolder)
    : m_name(std::move(name)), m_runtimeFolder(std::move(runtimeFolder))
{
}

CSingleInstance::~CSingleInstance()
{
    Release();
}

std::string CSingleInstance::DefaultRuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    struct stat st {};
    if (runtime != nullptr && runtime[0] == '/' && stat(runtime, &st) == 0 && S_ISDIR(st.st_mode))
        return runtime;
    return "/tmp";
}

std::string CSingleInstance::LockPath() const
{
    return m_runtimeFolder + "/" + m_name + "-" + std::to_string(getuid()) + ".lock";
}

std::string CSingleInstance::BlockName() const
{
    // The block belongs to its lock file: a start that finds the lock in another runtime folder
    // (another login session, a test's own folder) meets another block.
    uint32_t hash = 2166136261u;
    for (const char c : LockPath())
        hash = (hash ^ static_cast<uint8_t>(c)) * 16777619u;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "-%08x", hash);
    return "/" + m_name + "-" + std::to_string(getuid()) + suffix;
}

CSingleInstance::Role CSingleInstance::Claim(const std::string& path)
{
    CFd lock(open(LockPath().c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600));
    if (!lock.Valid()) {
        m_error = SystemError(LockPath().c_str());
        return Role::Failed;
    }
    struct stat st {};
    if (fstat(lock.Get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != getuid()) {
        m_error = LockPath() + ": not this user's lock file";
        return Role::Failed;
    }
    if (flock(lock.Get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK) {
            m_error = SystemError(LockPath().c_str());
            return Role::Failed;
        }
        if (path.size() > kMaxPath)
            return Role::PathTooLong;
        return HandOver(path) ? Role::HandedOver : Role::NotTaken;
    }
    // Not running ourselves: a running companion takes the file instead.
    if (m_name == kProgramName) {
        CSingleInstance companion(kCompanionName, m_runtimeFolder);
        if (path.size() <= kMaxPath && companion.HandOver(path))
            return Role::HandedOver;
    }
    m_lock = std::move(lock);
    if (!CreateBlock()) {
        m_lock = CFd();
        return Role::Failed;
    }
    return Role::First;
}

bool CSingleInstance::HandOver(const std::string& path)
{
    if (path.size() > kMaxPath) {
        m_error = "the path is longer than " + std::to_string(kMaxPath) + " bytes";
        return false;
    }
    // Only a process holding the lock is a running instance; a block left by one that died is
    // not.
    {
        CFd lock(open(LockPath().c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
        if (!lock.Valid())
            return false;
        if (flock(lock.Get(), LOCK_SH | LOCK_NB) == 0)
            return false;
    }
    // The running player makes its block just after it takes the lock.
    CFd fd;
    const auto madeBy = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (!(fd = CFd(shm_open(BlockName().c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC, 0))).Valid() &&
           errno == ENOENT && std::chrono::steady_clock::now() < madeBy)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (!fd.Valid()) {
        m_error = SystemError(BlockName().c_str());
        return false;
    }
    if (!OwnedByUs(fd.Get())) {
        m_error = BlockName() + ": the hand-over block is not this user's";
        return false;
    }
    void* view = mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd.Get(), 0);
    if (view == MAP_FAILED) {
        m_error = SystemError(BlockName().c_str());
        return false;
    }
    auto* block = static_cast<uint8_t*>(view);
    // State 2 marks the block busy, for the reader and for a writer alike: a writer takes it
    // from idle, or from an unread deposit, which the newer start replaces. A reader holds it for
    // microseconds; a block busy for seconds belongs to a player that hangs.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    bool taken = false;
    while (!taken) {
        uint8_t expected = StateOf(block).load();
        if (expected != kReading)
            taken = StateOf(block).compare_exchange_strong(expected, kReading);
        if (!taken) {
            if (std::chrono::steady_clock::now() > deadline)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    if (taken) {
        std::memcpy(block + 1, path.c_str(), path.size() + 1);
        StateOf(block).store(kDeposited, std::memory_order_release);
    } else {
        m_error = "the running player does not answer";
    }
    munmap(view, kBlockBytes);
    return taken;
}

bool CSingleInstance::CreateBlock()
{
    // A block left by a player that died, or one made by somebody else under our name, goes
    // first: the new one is made exclusively, so only this user can write it.
    shm_unlink(BlockName().c_str());
    CFd fd(shm_open(BlockName().c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd.Valid()) {
        m_error = SystemError(BlockName().c_str());
        return false;
    }
    if (fchmod(fd.Get(), 0600) != 0 || ftruncate(fd.Get(), kBlockBytes) != 0) {
        m_error = SystemError(BlockName().c_str());
        shm_unlink(BlockName().c_str());
        return false;
    }
    void* view = mmap(nullptr, kBlockBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd.Get(), 0);
    if (view == MAP_FAILED) {
        m_error = SystemError(BlockName().c_str());
        shm_unlink(BlockName().c_str());
        return false;
    }
    m_block = static_cast<uint8_t*>(view);
    std::memset(m_block, 0, kBlockBytes);
    StateOf(m_block).store(kIdle, std::memory_order_release);
    m_blockFd = std::move(fd);
    return true;
}

bool CSingleInstance::TakeHandover(std::string& path)
{
    if (m_block == nullptr)
        return false;
    uint8_t expected = kDeposited;
    if (!StateOf(m_block).compare_exchange_strong(expected, kReading, std::memory_order_acquire))
        return false;
    const auto* text = reinterpret_cast<const char*>(m_block + 1);
    const bool terminated = std::memchr(text, 0, kBlockBytes - 1) != nullptr;
    const bool ours = OwnedByUs(m_blockFd.Get());
    if (terminated && ours)
        path.assign(text);
    std::memset(m_block + 1, 0, kBlockBytes - 1);
    StateOf(m_block).store(kIdle, std::memory_order_release);
    return terminated && ours;
}

void CSingleInstance::Release()
{
    if (m_block != nullptr) {
        munmap(m_block, kBlockBytes);
        m_block = nullptr;
        shm_unlink(BlockName().c_str());
    }
    m_blockFd = CFd();
    m_lock = CFd();
}
