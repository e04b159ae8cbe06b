#include "FileAssociations.h"

#include "Fd.h"
#include "FileReplacer.h"
#include "FileStatus.h"
#include "MimeAppsList.h"
#include "PlayerSettings.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <pwd.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kDefaultsGroup = "Default Applications";
constexpr const char* kMimePackageName = "quandel-player.xml";
// The largest mimeapps.list read. Real ones hold a few kilobytes; anything beyond this is not a
// list a person keeps, and it is left as it is rather than read into memory.
constexpr size_t kMaxMimeAppsBytes = 16u << 20;

enum class ReadResult { Read, Missing, Unreadable };

// Reads a regular file (following links) of at most maxBytes. A folder, FIFO or device in its
// place is Unreadable, and so is a file that holds more.
ReadResult ReadFile(const std::string& path, size_t maxBytes, std::string& bytes)
{
    int error = 0;
    const CFd fd = OpenRegularFile(path, error);
    if (!fd.Valid())
        return error == ENOENT ? ReadResult::Missing : ReadResult::Unreadable;
    bytes.clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd.Get(), buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return ReadResult::Unreadable;
        if (got == 0)
            return ReadResult::Read;
        if (bytes.size() + static_cast<size_t>(got) > maxBytes)
            return ReadResult::Unreadable;
        bytes.append(buffer, static_cast<size_t>(got));
    }
}

// A file the user keeps as a link (a dotfile manager's mimeapps.list) is replaced where the link
// points, so the link stays. A link that leads nowhere is replaced itself.
std::string WriteTarget(const std::string& path)
{
    if (!FileStatus::IsLink(path))
        return path;
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    return ec ? path : target.string();
}

// ids with ours first and the others after it in their order.
std::vector<std::string> WithOursFirst(std::vector<std::string> ids, std::string_view ours)
{
    std::erase(ids, std::string(ours));
    ids.insert(ids.begin(), std::string(ours));
    return ids;
}

// An XDG base folder: the variable when it holds an absolute path (a relative one is invalid
// and ignored), else the fallback under the home folder.
std::string BaseFolder(const char* variable, const char* fallback)
{
    const char* value = std::getenv(variable);
    if (value != nullptr && value[0] == '/')
        return value;
    std::string home;
    if (const char* env = std::getenv("HOME"); env != nullptr && env[0] == '/') {
        home = env;
    } else {
        passwd entry{};
        passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr &&
            found->pw_dir != nullptr && found->pw_dir[0] == '/')
            home = found->pw_dir;
    }
    // Without a home folder there is no place of the user's: the writes fail and are counted.
    return home.empty() ? std::string() : home + "/" + fallback;
}

// The characters that make the Desktop Entry Specification quote an Exec argument.
constexpr std::string_view kReservedInExec = " \t\n\"'\\><~|&;$*?#()`";
// The ones that must carry a backslash inside the quotes.
constexpr std::string_view kEscapedInQuotes = "\"`$\\";

// The rules of the spawned tool's file actions, released however the spawn ends.
class CSpawnActions {
public:
    CSpawnActions() { m_valid = posix_spawn_file_actions_init(&m_actions) == 0; }
    ~CSpawnActions()
    {
        if (m_valid)
            posix_spawn_file_actions_destroy(&m_actions);
    }
    CSpawnActions(const CSpawnActions&) = delete;
    CSpawnActions& operator=(const CSpawnActions&) = delete;
    posix_spawn_file_actions_t* Get() { return m_valid ? &m_actions : nullptr; }

private:
    posix_spawn_file_actions_t m_actions{};
    bool m_valid = false;
};

} // namespace

CFileAssociations::CFileAssociations(std::string programPath, std::string dataHome, std::string configHome)
    : m_programPath(std::move(programPath)), m_dataHome(std::move(dataHome)),
      m_configHome(std::move(configHome))
{
}

CFileAssociations CFileAssociations::ForUser(const std::string& programPath)
{
    return CFileAssociations(programPath, BaseFolder("XDG_DATA_HOME", ".local/share"),
                             BaseFolder("XDG_CONFIG_HOME", ".config"));
}

const std::vector<CFileAssociations::FileType>& CFileAssociations::FileTypes()
{
    // Linux has no type for CD tracks as files; the program's own package declares
    // application/x-cda for them, after the name Windows programs give the type.
    static const std::vector<FileType> types = {
        {".qzl", "application/x-quandel-list", &PlayerSettings::registerQzl},
        {".qzx", "application/x-quandel-mix", &PlayerSettings::registerQzx},
        {".m3u", "audio/x-mpegurl", &PlayerSettings::registerM3u},
        {".wav", "audio/x-wav", &PlayerSettings::registerWav},
        {".mp3", "audio/mpeg", &PlayerSettings::registerMp3},
        {".cda", "application/x-cda", &PlayerSettings::registerCda},
    };
    return types;
}

int CFileAssociations::Write(const PlayerSettings& settings)
{
    const bool haveData = !m_dataHome.empty() && m_dataHome.front() == '/';
    const bool haveProgram = !m_programPath.empty();
    int failures = 0;

    const std::string applications = m_dataHome + "/applications/";
    if (haveData && haveProgram) {
        std::vector<std::string> mimeTypes;
        for (const FileType& type : FileTypes())
            if (settings.*type.setting != 0)
                mimeTypes.emplace_back(type.mimeType);
        failures +=
            WriteFile(applications + std::string(kProgramEntryId), ProgramEntry(m_programPath, mimeTypes));
        if (settings.registerAudioCd != 0)
            failures += WriteFile(applications + std::string(kAudioCdEntryId), AudioCdEntry(m_programPath));
    } else {
        failures += settings.registerAudioCd != 0 ? 2 : 1;
    }

    if (haveData) {
        bool changed = false;
        const int failed =
            WriteFile(m_dataHome + "/mime/packages/" + kMimePackageName, MimePackage(), &changed);
        failures += failed;
        // The database is built again only when the package is new or its output is missing:
        // the program writes its associations at every start.
        if (failed == 0 &&
            (changed || !FileStatus::IsRegularFile(m_dataHome + "/mime/application/x-quandel-list.xml")))
            UpdateMimeDatabase();
    } else {
        ++failures;
    }

    // Written even when the entries were not: an installed copy of the entries may serve.
    failures += WriteMimeApps(settings);
    return failures;
}

int CFileAssociations::WriteFile(const std::string& path, const std::string& bytes, bool* changed) const
{
    if (changed != nullptr)
        *changed = false;
    const std::string target = WriteTarget(path);
    std::string old;
    if (ReadFile(target, bytes.size(), old) == ReadResult::Read && old == bytes)
        return 0;
    std::error_code ec;
    fs::create_directories(fs::path(target).parent_path(), ec);
    if (!CFileReplacer::Replace(target, bytes))
        return 1;
    if (changed != nullptr)
        *changed = true;
    return 0;
}

int CFileAssociations::WriteMimeApps(const PlayerSettings& settings) const
{
    if (m_configHome.empty() || m_configHome.front() != '/')
        return 1;
    const std::string target = WriteTarget(m_configHome + "/mimeapps.list");
    std::string old;
    // What cannot be read is never written over: the user's other defaults would be lost.
    if (ReadFile(target, kMaxMimeAppsBytes, old) == ReadResult::Unreadable)
        return 1;

    CMimeAppsList list(old);
    for (const FileType& type : FileTypes())
        if (settings.*type.setting != 0)
            list.SetValues(kDefaultsGroup, type.mimeType,
                           WithOursFirst(list.Values(kDefaultsGroup, type.mimeType), kProgramEntryId));
    std::vector<std::string> cd = list.Values(kDefaultsGroup, kAudioCdContentType);
    if (settings.registerAudioCd != 0) {
        list.SetValues(kDefaultsGroup, kAudioCdContentType, WithOursFirst(std::move(cd), kAudioCdEntryId));
    } else if (std::erase(cd, std::string(kAudioCdEntryId)) > 0) {
        // Only this program leaves: another handler the user chose stays the default.
        list.SetValues(kDefaultsGroup, kAudioCdContentType, cd);
    }

    const std::string text = list.Text();
    if (text == old)
        return 0;
    std::error_code ec;
    fs::create_directories(fs::path(target).parent_path(), ec);
    return CFileReplacer::Replace(target, text) ? 0 : 1;
}

void CFileAssociations::UpdateMimeDatabase() const
{
    // Its messages would land in the program's terminal; it has nothing the user must see.
    CSpawnActions actions;
    if (actions.Get() == nullptr ||
        posix_spawn_file_actions_addopen(actions.Get(), 0, "/dev/null", O_RDONLY, 0) != 0 ||
        posix_spawn_file_actions_addopen(actions.Get(), 1, "/dev/null", O_WRONLY, 0) != 0 ||
        posix_spawn_file_actions_adddup2(actions.Get(), 1, 2) != 0)
        return;
    std::string tool = "update-mime-database";
    std::string folder = m_dataHome + "/mime";
    char* argv[] = {tool.data(), folder.data(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, tool.c_str(), actions.Get(), nullptr, argv, environ) != 0)
        return;
    // Waited for: it takes a moment for one user's folder and runs only when the package changed.
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
}

std::string CFileAssociations::ExecProgram(const std::string& program)
{
    std::string argument;
    if (program.find_first_of(kReservedInExec) == std::string::npos) {
        argument = program;
    } else {
        argument = "\"";
        for (const char c : program) {
            if (kEscapedInQuotes.find(c) != std::string_view::npos)
                argument += '\\';
            argument += c;
        }
        argument += '"';
    }
    // Field codes are expanded before anything else, so a literal percent sign is doubled; then
    // the value is escaped as every string value, which doubles the backslashes once more.
    std::string value;
    for (const char c : argument) {
        switch (c) {
        case '%':
            value += "%%";
            break;
        case '\\':
            value += "\\\\";
            break;
        case '\n':
            value += "\\n";
            break;
        case '\t':
            value += "\\t";
            break;
        case '\r':
            value += "\\r";
            break;
        default:
            value += c;
        }
    }
    return value;
}

std::string CFileAssociations::ProgramEntry(const std::string& program,
                                            const std::vector<std::string>& mimeTypes)
{
    std::string text =
        "[Desktop Entry]\n"
        "Type=Application\n"
        "Version=1.4\n"
        "Name=Quandel Player\n"
        "GenericName=DJ Mixing Player\n"
        "Comment=Plays playlists on two decks, blended one into the next or as a recorded mix\n"
        "Exec=" +
        ExecProgram(program) +
        " %f\n"
        "Icon=quandel-player\n"
        "Terminal=false\n"
        "Categories=AudioVideo;Audio;Player;\n";
    if (!mimeTypes.empty()) {
        text += "MimeType=";
        for (const std::string& type : mimeTypes)
            text += type + ";";
        text += "\n";
    }
    return text;
}

std::string CFileAssociations::AudioCdEntry(const std::string& program)
{
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Version=1.4\n"
           "Name=Quandel Player\n"
           "GenericName=DJ Mixing Player\n"
           "Comment=Plays the inserted Audio CD\n"
           "Exec=" +
           ExecProgram(program) +
           " --audio-cd\n"
           "Icon=quandel-player\n"
           "Terminal=false\n"
           "NoDisplay=true\n"
           "Categories=AudioVideo;Audio;Player;\n"
           "MimeType=" +
           std::string(kAudioCdContentType) + ";\n";
}

std::string CFileAssociations::MimePackage()
{
    // The list is XML with the root element QZL; the Mix-File starts with the short string
    // "QUANDEL Mix", whose length byte comes first.
    return R"(<?xml version="1.0" encoding="UTF-8"?>
<mime-info xmlns="http://www.freedesktop.org/standards/shared-mime-info">
  <mime-type type="application/x-quandel-list">
    <comment>Kelmaric Music List</comment>
    <sub-class-of type="application/xml"/>
    <glob pattern="*.qzl"/>
    <root-XML namespaceURI="" localName="QZL"/>
  </mime-type>
  <mime-type type="application/x-quandel-mix">
    <comment>Kelmaric Music Mix</comment>
    <glob pattern="*.qzx"/>
    <magic priority="60">
      <match type="string" offset="1" value="QUANDEL Mix"/>
    </magic>
  </mime-type>
  <mime-type type="application/x-cda">
    <comment>CD audio track</comment>
    <glob pattern="*.cda"/>
  </mime-type>
</mime-info>
)";
}
