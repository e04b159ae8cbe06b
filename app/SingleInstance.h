#pragma once

#include "Fd.h"

#include <cstddef>
#include <cstdint>
#include <string>

// One player per user. The first start holds an flock() on a per-user lock file, which the
// kernel drops when the process dies however it dies, so a crashed player never keeps the next
// start from running; it also creates the hand-over block, a 261-byte POSIX shared memory
// object of mode 0600. A later start finds the lock taken, writes the path it was given (or
// nothing) into the block and ends.
//
// The block: byte 0 is the state (0 idle, 1 a path was deposited, 2 the first player reads
// it), bytes 1..260 a zero-terminated path of at most 259 bytes.
//
// Threads: the user-interface thread of each process.
class CSingleInstance {
public:
    static constexpr size_t kBlockBytes = 261;
    static constexpr size_t kMaxPath = 259;
    enum State : uint8_t { kIdle = 0, kDeposited = 1, kReading = 2 };
    enum class Role { First, HandedOver, PathTooLong, NotTaken, Failed };

    // name: "quandel-player" for this program, the companion's for a hand-over to it. The lock
    // file lives in runtimeFolder ($XDG_RUNTIME_DIR, else /tmp), named with the user id; the
    // block's name is made from the user id and the lock file's path.
    explicit CSingleInstance(std::string name = kProgramName,
                             std::string runtimeFolder = DefaultRuntimeFolder());
    ~CSingleInstance();
    CSingleInstance(const CSingleInstance&) = delete;
    CSingleInstance& operator=(const CSingleInstance&) = delete;

    static constexpr const char* kProgramName = "quandel-player";
    // The mixing program of the same family, which a start hands its file to when it runs.
    static constexpr const char* kCompanionName = "kelmaric-mixer";
    static std::string DefaultRuntimeFolder();

    // Takes the lock and creates the block (First), or, when another process holds the lock,
    // hands path over to it (HandedOver). A path longer than kMaxPath is never cut: PathTooLong
    // when it would have to be handed over. NotTaken: another player runs but its block could
    // not be reached or it did not take the path. Failed: the lock or the block could not be
    // made; Error() says why.
    Role Claim(const std::string& path);
    // Only the hand-over: whether another process holds the lock, and if so deposits path.
    // false when none runs; Failed-like errors also give false with Error() set.
    bool HandOver(const std::string& path);
    const std::string& Error() const { return m_error; }

    // First instance: the path deposited since the last call, taken and the block set idle
    // again; false when there is none. A block changed by another user or holding no
    // terminator is ignored and reset.
    bool TakeHandover(std::string& path);
    // Unmaps and removes the block and drops the lock (also done by the destructor).
    void Release();

    std::string LockPath() const;
    std::string BlockName() const;

private:
    bool CreateBlock();

    std::string m_name;
    std::string m_runtimeFolder;
    CFd m_lock;
    CFd m_blockFd;
    uint8_t* m_block = nullptr; // mapped kBlockBytes while first
    std::string m_error;
};
