#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Writes a file so that the previous one survives every failure: the bytes go to a new
// temporary file in the target's folder, which replaces the target by a rename only after
// everything was written and synced. A failed or abandoned write removes the temporary file.
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
    void Abandon();

    std::string m_target;
    std::string m_temporary;
    int m_fd = -1;
    bool m_failed = false;
    int m_error = 0;
};
