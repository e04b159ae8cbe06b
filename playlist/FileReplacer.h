#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

// Writes a file so that the previous one survives every failure: the bytes go to a new
// temporary file in the target's folder, which replaces the target by a rename only after
// everything was written and synced. A failed or abandoned write removes the temporary file.
// A long file (a rendered mix) is synced piece by piece on a helper thread while it is written,
// so that the sync before the rename finds little left to do.
class CFileReplacer {
public:
    explicit CFileReplacer(std::string target);
    ~CFileReplacer();
    CFileReplacer(const CFileReplacer&) = delete;
    CFileReplacer& operator=(const CFileReplacer&) = delete;

    // Creates the temporary file; false when the folder does not take one.
    bool Open();
    bool Write(const void* bytes, size_t size);
    bool Write(std::string_view text) { return Write(text.data(), text.size()); }
    // Writes over bytes already written (a header patched at the end); the write position stays.
    bool WriteAt(uint64_t offset, const void* bytes, size_t size);
    // Syncs, closes and renames over the target; false (target untouched) after any failed step.
    bool Commit();

    // Open, Write and Commit in one.
    static bool Replace(const std::string& target, std::string_view bytes);

    // The errno of the step that failed (0 when none did).
    int LastError() const { return m_error; }
    // Abandons the temporary file: the target stays as it was.
    void Cancel() { Abandon(); }

private:
    static constexpr uint64_t kSyncEveryBytes = 32u << 20;

    void Abandon();
    // Asks the helper thread (started on first need) to sync what is written so far.
    void SyncBehind();
    // Stops the helper thread; returns the errno of a sync it saw fail, else 0.
    int StopSyncing();
    void SyncLoop();

    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
    bool m_failed = false;
    int m_error = 0;
    uint64_t m_appended = 0;  // bytes Write has put in the file
    uint64_t m_syncAsked = 0; // m_appended at the last sync asked of the helper

    std::thread m_syncer;
    std::mutex m_syncLock;
    std::condition_variable m_syncWake;
    bool m_syncWanted = false; // under m_syncLock
    bool m_syncStop = false;   // under m_syncLock
    int m_syncError = 0;       // under m_syncLock
};
