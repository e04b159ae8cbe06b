#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct PlayerSettings;

// Makes the program the desktop's handler of its file types and of inserted Audio CDs, the way
// freedesktop.org desktops look them up: desktop entries in <data home>/applications, the
// program's own MIME types as a shared-mime-info package in <data home>/mime/packages, and the
// defaults in <config home>/mimeapps.list. Written at every start-up and after the setup sheet's
// OK; a file whose bytes would not change is left alone.
//
// A setting that is off removes nothing the user may rely on, except that the Audio-CD setting
// off takes this program out of the x-content/audio-cdda default. Each file is replaced through
// a temporary file and a rename; a mimeapps.list that cannot be read (a folder in its place,
// no permission, larger than any real one) is never written over.
class CFileAssociations {
public:
    // programPath: the running executable, absolute. The two folders are the XDG data and
    // config homes (tests pass their own).
    CFileAssociations(std::string programPath, std::string dataHome, std::string configHome);
    // The folders from XDG_DATA_HOME and XDG_CONFIG_HOME, else ~/.local/share and ~/.config.
    static CFileAssociations ForUser(const std::string& programPath);

    // Writes what the settings ask for. Failures change nothing else and are otherwise ignored:
    // the program runs without its associations. Returns how many files could not be written.
    int Write(const PlayerSettings& settings);

    // One file type the program can be the default for.
    struct FileType {
        const char* extension; // ".qzl"
        const char* mimeType;  // "application/x-quandel-list"
        int32_t PlayerSettings::*setting;
    };
    // In the order the setup sheet shows them.
    static const std::vector<FileType>& FileTypes();

    static constexpr std::string_view kProgramEntryId = "quandel-player.desktop";
    // The Audio-CD handler needs a command line of its own, so it is an entry of its own, kept out
    // of the menus.
    static constexpr std::string_view kAudioCdEntryId = "quandel-player-audiocd.desktop";
    static constexpr std::string_view kAudioCdContentType = "x-content/audio-cdda";

    // The files' texts, shared with the install step, which starts the program by its name.
    // program: a path or a name looked up on PATH; mimeTypes: what the entry says it opens.
    static std::string ProgramEntry(const std::string& program, const std::vector<std::string>& mimeTypes);
    static std::string AudioCdEntry(const std::string& program);
    static std::string MimePackage();
    // The program as the first argument of an Exec key: quoted when it holds a blank or a
    // reserved character, then escaped as a desktop entry's string values are.
    static std::string ExecProgram(const std::string& program);

private:
    // 1 when the file could not be written, else 0; changed tells whether the bytes were new.
    int WriteFile(const std::string& path, const std::string& bytes, bool* changed = nullptr) const;
    int WriteMimeApps(const PlayerSettings& settings) const;
    // update-mime-database over <data home>/mime, without a shell; its failure is ignored.
    void UpdateMimeDatabase() const;

    std::string m_programPath;
    std::string m_dataHome;
    std::string m_configHome;
};
