#pragma once

#include <array>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

// Watches the Audio-CD drive for a disc coming and going by looking at it about once a second
// on a thread of its own: opening a drive or asking it for its status can stall for seconds
// while a disc spins up, which the user-interface thread must never wait for. A udev monitor
// was not taken: it sees real drives only, and the disc image that stands in for the drive in
// the tests and on machines without one would need looking at all the same.
//
// A real drive (/dev/srN) holds a disc while it answers CDS_DISC_OK; a node that is missing or
// is no CD drive holds none. A disc image holds its disc while the cue sheet and the image it
// names can be read; a new modification time, size or file of either is a disc taken out and
// another put in.
//
// Only changes are reported: the first look after the start sets the state quietly.
//
// Threads: the watching thread looks; Take on the user-interface thread; the rest from any.
class CCdWatcher {
public:
    enum class Change { Arrival, Removal };
    enum class Target { Drive, DiscImage };
    static constexpr std::chrono::milliseconds kPeriod{1000};

    // Starts watching path, a device node or a cue sheet, looking every period.
    CCdWatcher(Target target, std::string path, std::chrono::milliseconds period = kPeriod);
    // Ends the thread within a few milliseconds unless a look is stalled in the drive.
    ~CCdWatcher();
    CCdWatcher(const CCdWatcher&) = delete;
    CCdWatcher& operator=(const CCdWatcher&) = delete;

    // User-interface thread: the oldest change not yet taken; never waits for the drive.
    std::optional<Change> Take();

    // Any thread.
    // Whether the last look found a disc.
    bool Present() const;
    // Looks finished since the start; the first one sets the state without a change.
    uint64_t Looks() const;
    Target Watched() const { return m_target; }
    const std::string& Path() const { return m_path; }

private:
    // What one look found; stamp tells one disc image from another and is 0 for a drive.
    struct Look {
        bool present = false;
        uint64_t stamp = 0;
    };

    static Look LookAtDrive(const std::string& device);
    static Look LookAtDiscImage(const std::string& cueSheet);
    void Run();
    void PushLocked(Change change);

    const Target m_target;
    const std::string m_path;
    const std::chrono::milliseconds m_period;

    mutable std::mutex m_lock; // over everything below
    std::condition_variable m_wake;
    bool m_stop = false;
    Look m_state;
    uint64_t m_looks = 0;
    // Changes not yet taken, oldest first. Changes alternate, so a third one cancels the second:
    // removal, arrival, removal leaves the removal alone, and two are all there is to keep.
    std::array<Change, 2> m_pending{};
    size_t m_pendingCount = 0; // 0..2

    std::thread m_thread; // started last, ended first
};
