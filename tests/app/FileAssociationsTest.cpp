#include "FileAssociations.h"
#include "ChildProcess.h"
#include "MimeAppsList.h"
#include "PlayerSettings.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Ids = std::vector<std::string>;
constexpr const char* kDefaults = "Default Applications";
constexpr const char* kOurs = "quandel-player.desktop";
constexpr const char* kOurCd = "quandel-player-audiocd.desktop";

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteAll(const std::string& path, const std::string& bytes)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Whether every line of before is in after, in the same order (after may hold more).
bool KeepsEveryLine(const std::string& before, const std::string& after)
{
    const std::vector<std::string> old = Lines(before);
    const std::vector<std::string> now = Lines(after);
    size_t k = 0;
    for (const std::string& line : now)
        if (k < old.size() && line == old[k])
            ++k;
    return k == old.size();
}

std::string First(const Ids& ids)
{
    return ids.empty() ? std::string() : ids.front();
}

PlayerSettings NothingRegistered()
{
    PlayerSettings settings;
    for (const auto& type : CFileAssociations::FileTypes())
        settings.*type.setting = 0;
    settings.registerAudioCd = 0;
    return settings;
}

// The value of a key of a desktop entry's main group, unescaped by nothing.
std::optional<std::string> EntryValue(const std::string& entry, const std::string& key)
{
    for (const std::string& line : Lines(entry))
        if (line.rfind(key + "=", 0) == 0)
            return line.substr(key.size() + 1);
    return std::nullopt;
}

// An Exec value split into its arguments by the Desktop Entry Specification's rules, written apart
// from the program's encoder: the string escapes go first, then the quoting, then "%%" becomes "%".
// A reserved character outside quotes or a backslash before a character that needs none is a
// fault of the encoder.
std::vector<std::string> ExecArguments(const std::string& value)
{
    std::string unescaped;
    for (size_t k = 0; k < value.size(); ++k) {
        if (value[k] != '\\' || k + 1 == value.size()) {
            unescaped += value[k];
            continue;
        }
        const char next = value[++k];
        unescaped += next == 's' ? ' ' : next == 'n' ? '\n' : next == 't' ? '\t' : next == 'r' ? '\r' : next;
        EXPECT_TRUE(std::string("sntr\\").find(next) != std::string::npos) << "escape \\" << next;
    }
    const std::string reserved = "\t\n\"'\\><~|&;$*?#()`";
    std::vector<std::string> arguments;
    std::string current;
    bool inArgument = false;
    bool quoted = false;
    for (size_t k = 0; k < unescaped.size(); ++k) {
        const char c = unescaped[k];
        if (quoted) {
            if (c == '\\' && k + 1 < unescaped.size()) {
                const char next = unescaped[++k];
                EXPECT_TRUE(std::string("\"`$\\").find(next) != std::string::npos) << "needless \\" << next;
                current += next;
            } else if (c == '"') {
                quoted = false;
            } else {
                current += c;
            }
        } else if (c == ' ') {
            if (inArgument)
                arguments.push_back(current);
            current.clear();
            inArgument = false;
        } else if (c == '"') {
            quoted = true;
            inArgument = true;
        } else {
            EXPECT_EQ(reserved.find(c), std::string::npos) << "unquoted '" << c << "' in " << value;
            current += c;
            inArgument = true;
        }
    }
    EXPECT_FALSE(quoted) << "unterminated quote in " << value;
    if (inArgument)
        arguments.push_back(current);
    for (std::string& argument : arguments)
        for (size_t at = argument.find("%%"); at != std::string::npos; at = argument.find("%%", at + 1))
            argument.erase(at, 1);
    return arguments;
}

// A user's folders inside a temporary folder, and the program's place.
struct Homes {
    CTempDir dir;
    std::string data = dir.Path("data");
    std::string config = dir.Path("config");
    std::string program = "/opt/quandel/bin/quandel-player";

    CFileAssociations Associations() const { return CFileAssociations(program, data, config); }
    std::string MimeApps() const { return config + "/mimeapps.list"; }
    std::string Entry(const char* id) const { return data + "/applications/" + id; }
};

// The tool's path on PATH, or empty.
std::string OnPath(const std::string& tool)
{
    const char* path = std::getenv("PATH");
    std::istringstream folders(path != nullptr ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');)
        if (!folder.empty() && access((folder + "/" + tool).c_str(), X_OK) == 0)
            return folder + "/" + tool;
    return {};
}

// desktop-file-validate's verdict on an entry; true without the tool (desktop-file-utils).
bool Validates(const std::string& entry, std::string& complaint)
{
    static const std::string validator = OnPath("desktop-file-validate");
    if (validator.empty())
        return true;
    CTempDir dir;
    CChildProcess::Setup setup;
    setup.arguments = {validator, entry};
    setup.stdoutPath = dir.Path("out");
    setup.stderrPath = dir.Path("err");
    CChildProcess child(setup);
    const bool ended = child.Started() && child.Wait(std::chrono::seconds(30));
    complaint = ReadAll(dir.Path("out")) + ReadAll(dir.Path("err"));
    return ended && child.ExitCode() == 0;
}

ino_t Inode(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 ? info.st_ino : 0;
}

TEST(FileAssociations, OnlyMp3MakesUsTheMp3DefaultAndLeavesWavAlone)
{
    const Homes homes;
    const std::string before = "# set by hand\n"
                               "[Default Applications]\n"
                               "audio/x-wav=wave-editor.desktop;\n"
                               "audio/mpeg=old-player.desktop;other.desktop;\n"
                               "text/plain=editor.desktop;\n"
                               "\n"
                               "[Added Associations]\n"
                               "audio/mpeg=tagger.desktop;\n";
    WriteAll(homes.MimeApps(), before);
    PlayerSettings settings = NothingRegistered();
    settings.registerMp3 = 1;

    EXPECT_EQ(homes.Associations().Write(settings), 0);

    const std::string after = ReadAll(homes.MimeApps());
    const CMimeAppsList list(after);
    EXPECT_EQ(list.Values(kDefaults, "audio/mpeg"), (Ids{kOurs, "old-player.desktop", "other.desktop"}));
    EXPECT_EQ(list.Values(kDefaults, "audio/x-wav"), (Ids{"wave-editor.desktop"}));
    EXPECT_EQ(list.Values("Added Associations", "audio/mpeg"), (Ids{"tagger.desktop"}));
    for (const char* type : {"application/x-quandel-list", "application/x-quandel-mix", "audio/x-mpegurl",
                             "application/x-cda", "x-content/audio-cdda"})
        EXPECT_TRUE(list.Values(kDefaults, type).empty()) << type;
    std::string others = before;
    others.erase(others.find("audio/mpeg=old"),
                 std::string("audio/mpeg=old-player.desktop;other.desktop;\n").size());
    EXPECT_TRUE(KeepsEveryLine(others, after)) << after;

    const std::string entry = ReadAll(homes.Entry(kOurs));
    EXPECT_EQ(EntryValue(entry, "MimeType"), "audio/mpeg;");
    EXPECT_EQ(EntryValue(entry, "Categories"), "AudioVideo;Audio;Player;");
    EXPECT_FALSE(fs::exists(homes.Entry(kOurCd)));
}

TEST(FileAssociations, AudioCdOffTakesOutOnlyThisProgram)
{
    struct Case {
        const char* name;
        const char* before; // the x-content/audio-cdda ids, nullptr for no line
        int32_t audioCd;
        Ids after;
        bool unchanged; // the file keeps its bytes
    };
    const Case cases[] = {
        {"another player stays when off", "other-cd.desktop;", 0, {"other-cd.desktop"}, true},
        {"ours removed when off", "quandel-player-audiocd.desktop;", 0, {}, false},
        {"ours removed, the other kept, when off",
         "quandel-player-audiocd.desktop;other-cd.desktop;",
         0,
         {"other-cd.desktop"},
         false},
        {"nothing added when off", nullptr, 0, {}, true},
        {"ours first when on", "other-cd.desktop;", 1, {kOurCd, "other-cd.desktop"}, false},
        {"ours moved first when on",
         "other-cd.desktop;quandel-player-audiocd.desktop;",
         1,
         {kOurCd, "other-cd.desktop"},
         false},
        {"ours alone when on", nullptr, 1, {kOurCd}, false},
    };
    for (const Case& c : cases) {
        const Homes homes;
        std::string before = "[Default Applications]\ntext/plain=editor.desktop;\n";
        if (c.before != nullptr)
            before += std::string("x-content/audio-cdda=") + c.before + "\n";
        WriteAll(homes.MimeApps(), before);
        PlayerSettings settings = NothingRegistered();
        settings.registerAudioCd = c.audioCd;

        EXPECT_EQ(homes.Associations().Write(settings), 0) << c.name;

        const std::string after = ReadAll(homes.MimeApps());
        EXPECT_EQ(CMimeAppsList(after).Values(kDefaults, "x-content/audio-cdda"), c.after) << c.name;
        EXPECT_EQ(CMimeAppsList(after).Values(kDefaults, "text/plain"), Ids{"editor.desktop"}) << c.name;
        if (c.unchanged) {
            EXPECT_EQ(after, before) << c.name << ": the file was rewritten";
        }
        EXPECT_EQ(fs::exists(homes.Entry(kOurCd)), c.audioCd != 0) << c.name;
        if (c.audioCd != 0) {
            const std::string entry = ReadAll(homes.Entry(kOurCd));
            EXPECT_EQ(EntryValue(entry, "MimeType"), "x-content/audio-cdda;") << c.name;
            EXPECT_EQ(EntryValue(entry, "NoDisplay"), "true") << c.name;
            EXPECT_EQ(ExecArguments(EntryValue(entry, "Exec").value_or("")),
                      (Ids{homes.program, "--audio-cd"}))
                << c.name;
        }
    }
}

TEST(FileAssociations, ExecLineQuotesAndEscapesTheProgramPath)
{
    struct Case {
        std::string path;
        std::string exec; // the expected value, or empty to check only by decoding
    };
    const Case cases[] = {
        {"/usr/bin/quandel-player", "/usr/bin/quandel-player %f"},
        {"/opt/My Apps/quandel-player", "\"/opt/My Apps/quandel-player\" %f"},
        {"/opt/say \"hi\"/q", "\"/opt/say \\\\\"hi\\\\\"/q\" %f"},
        {"/opt/back\\slash/q", "\"/opt/back\\\\\\\\slash/q\" %f"},
        {"/opt/$HOME/q", "\"/opt/\\\\$HOME/q\" %f"},
        {"/opt/`id`/q", "\"/opt/\\\\`id\\\\`/q\" %f"},
        {"/opt/100%/q", "/opt/100%%/q %f"},
        {"/opt/it's here/q", ""},
        {"/opt/a;b&c|d>e<f~g*h?i#j(k)/q", ""},
        {"/opt/tab\there/q", ""},
        {"/opt/new\nline/q", ""},
        {"/opt/all \"\\$`%/q", ""},
    };
    for (const Case& c : cases) {
        Homes homes;
        homes.program = c.path;
        EXPECT_EQ(homes.Associations().Write(NothingRegistered()), 0) << c.path;
        const std::optional<std::string> exec = EntryValue(ReadAll(homes.Entry(kOurs)), "Exec");
        ASSERT_TRUE(exec.has_value()) << c.path;
        if (!c.exec.empty()) {
            EXPECT_EQ(*exec, c.exec);
        }
        EXPECT_EQ(ExecArguments(*exec), (Ids{c.path, "%f"})) << *exec;
        std::string complaint;
        EXPECT_TRUE(Validates(homes.Entry(kOurs), complaint)) << complaint;
    }
}

TEST(FileAssociations, WritesTheEntryAndTheTypesAndLeavesThemAloneWhenUnchanged)
{
    const Homes homes;
    const PlayerSettings defaults;
    EXPECT_EQ(homes.Associations().Write(defaults), 0);

    std::string complaint;
    EXPECT_TRUE(Validates(homes.Entry(kOurs), complaint)) << complaint;
    EXPECT_TRUE(Validates(homes.Entry(kOurCd), complaint)) << complaint;
    const std::string entry = ReadAll(homes.Entry(kOurs));
    EXPECT_EQ(EntryValue(entry, "MimeType"),
              "application/x-quandel-list;application/x-quandel-mix;application/x-cda;");
    EXPECT_EQ(ExecArguments(EntryValue(entry, "Exec").value_or("")), (Ids{homes.program, "%f"}));
    const std::string package = homes.data + "/mime/packages/quandel-player.xml";
    EXPECT_EQ(ReadAll(package), CFileAssociations::MimePackage());
    for (const char* glob : {"*.qzl", "*.qzx", "*.cda"})
        EXPECT_NE(ReadAll(package).find(glob), std::string::npos) << glob;
    const CMimeAppsList list(ReadAll(homes.MimeApps()));
    for (const char* type : {"application/x-quandel-list", "application/x-quandel-mix", "application/x-cda"})
        EXPECT_EQ(list.Values(kDefaults, type), Ids{kOurs}) << type;
    EXPECT_EQ(list.Values(kDefaults, "x-content/audio-cdda"), Ids{kOurCd});
    EXPECT_TRUE(list.Values(kDefaults, "audio/mpeg").empty());
    if (!OnPath("update-mime-database").empty()) {
        // The database knows the types: the tool ran over the user's folder.
        EXPECT_TRUE(fs::is_regular_file(homes.data + "/mime/application/x-quandel-list.xml"));
        EXPECT_TRUE(fs::is_regular_file(homes.data + "/mime/application/x-quandel-mix.xml"));
    }

    const std::vector<std::string> files = {homes.Entry(kOurs), homes.Entry(kOurCd), package,
                                            homes.MimeApps()};
    std::vector<ino_t> inodes;
    for (const std::string& file : files)
        inodes.push_back(Inode(file));
    EXPECT_EQ(homes.Associations().Write(defaults), 0);
    for (size_t k = 0; k < files.size(); ++k)
        EXPECT_EQ(Inode(files[k]), inodes[k]) << files[k] << " was written again";
    // Nothing but the files themselves: the temporary files went with their renames.
    for (const char* folder : {"/applications", "/mime/packages"})
        for (const auto& item : fs::directory_iterator(homes.data + folder))
            EXPECT_NE(item.path().filename().string().front(), '.') << item.path();
}

TEST(FileAssociations, FoldersThatCannotBeWrittenGiveFailuresNotACrash)
{
    const PlayerSettings defaults; // two entries, the package and mimeapps.list
    {
        // A file where the folders should be stops root as well as any user.
        const CTempDir dir;
        WriteAll(dir.Path("blocker"), "a file");
        CFileAssociations associations("/usr/bin/quandel-player", dir.Path("blocker/data"),
                                       dir.Path("blocker/config"));
        EXPECT_EQ(associations.Write(defaults), 4);
        EXPECT_EQ(ReadAll(dir.Path("blocker")), "a file");
    }
    {
        // Relative or missing folders are no folders of the user: nothing lands in the working folder.
        const CTempDir dir;
        const fs::path before = fs::current_path();
        fs::current_path(dir.Root());
        EXPECT_EQ(CFileAssociations("/usr/bin/quandel-player", "data", "config").Write(defaults), 4);
        EXPECT_EQ(CFileAssociations("/usr/bin/quandel-player", "", "").Write(defaults), 4);
        EXPECT_TRUE(fs::is_empty(dir.Root()));
        fs::current_path(before);
    }
    if (geteuid() != 0) {
        // Permissions stop every user but root.
        const Homes homes;
        fs::create_directories(homes.data);
        fs::create_directories(homes.config);
        chmod(homes.data.c_str(), 0500);
        chmod(homes.config.c_str(), 0500);
        EXPECT_EQ(homes.Associations().Write(defaults), 4);
        chmod(homes.data.c_str(), 0700);
        chmod(homes.config.c_str(), 0700);
    }
}

// Bytes a careless program or a broken disk could leave: every value, NUL and CR included.
std::string Garbage(size_t size, uint32_t seed)
{
    std::string bytes(size, '\0');
    for (char& b : bytes) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<char>(seed >> 24);
    }
    return bytes;
}

TEST(FileAssociations, HostileMimeAppsListsKeepTheUsersLines)
{
    struct Case {
        const char* name;
        std::string text;
    };
    const std::string longLine(3u << 20, 'x');
    const Case cases[] = {
        {"binary garbage", Garbage(64 * 1024, 7)},
        {"garbage inside the group",
         "[Default Applications]\n" + Garbage(4096, 11) + "\naudio/mpeg=a.desktop;\n"},
        {"very long lines", longLine + "\n[Default Applications]\ntext/plain=" + longLine + ";\n" + longLine},
        {"no final line feed", "[Default Applications]\ntext/plain=editor.desktop;"},
        {"carriage returns",
         "[Default Applications]\r\ntext/plain=editor.desktop;\r\naudio/mpeg=a.desktop;\r\n"},
        {"keys without values and values without keys",
         "[Default Applications]\n=\n==;\napplication/x-cda\n=x;\n"},
        {"empty", ""},
    };
    PlayerSettings settings; // the defaults and two more types, so keys are both added and replaced
    settings.registerMp3 = 1;
    settings.registerWav = 1;
    for (const Case& c : cases) {
        const Homes homes;
        WriteAll(homes.MimeApps(), c.text);
        EXPECT_EQ(homes.Associations().Write(settings), 0) << c.name;
        const std::string after = ReadAll(homes.MimeApps());
        const CMimeAppsList list(after);
        EXPECT_EQ(First(list.Values(kDefaults, "audio/mpeg")), kOurs) << c.name;
        EXPECT_EQ(First(list.Values(kDefaults, "application/x-quandel-list")), kOurs) << c.name;
        EXPECT_EQ(First(list.Values(kDefaults, "x-content/audio-cdda")), kOurCd) << c.name;
        // Every line but the replaced one stays, in its order.
        std::string withoutOurKey;
        for (const std::string& line : Lines(c.text))
            if (line.rfind("audio/mpeg=", 0) != 0)
                withoutOurKey += line + "\n";
        EXPECT_TRUE(KeepsEveryLine(withoutOurKey, after)) << c.name;
    }
}

TEST(FileAssociations, MimeAppsListsThatCannotBeReadAreNeverWrittenOver)
{
    struct Case {
        const char* name;
        void (*make)(const std::string& path);
        int failures;
    };
    const Case cases[] = {
        {"a folder", [](const std::string& path) { WriteAll(path + "/inside", "kept"); }, 1},
        {"a FIFO", [](const std::string& path) { ASSERT_EQ(mkfifo(path.c_str(), 0600), 0); }, 1},
        {"larger than any real list",
         [](const std::string& path) {
             WriteAll(path, "[Default Applications]\n" + std::string(17u << 20, '#'));
         },
         1},
    };
    for (const Case& c : cases) {
        const Homes homes;
        fs::create_directories(homes.config);
        c.make(homes.MimeApps());
        const auto type = fs::symlink_status(homes.MimeApps()).type();
        const auto size = fs::is_regular_file(homes.MimeApps()) ? fs::file_size(homes.MimeApps()) : 0;

        EXPECT_EQ(homes.Associations().Write(PlayerSettings()), c.failures) << c.name;

        EXPECT_EQ(fs::symlink_status(homes.MimeApps()).type(), type) << c.name;
        if (type == fs::file_type::regular) {
            EXPECT_EQ(fs::file_size(homes.MimeApps()), size) << c.name;
        }
        if (type == fs::file_type::directory) {
            EXPECT_EQ(ReadAll(homes.MimeApps() + "/inside"), "kept") << c.name;
        }
    }
}

TEST(FileAssociations, ALinkedMimeAppsListIsWrittenWhereItPoints)
{
    const Homes homes;
    const std::string real = homes.dir.Path("dotfiles/mimeapps.list");
    WriteAll(real, "[Default Applications]\ntext/plain=editor.desktop;\n");
    fs::create_directories(homes.config);
    fs::create_symlink(real, homes.MimeApps());

    EXPECT_EQ(homes.Associations().Write(PlayerSettings()), 0);

    EXPECT_TRUE(fs::is_symlink(homes.MimeApps()));
    const CMimeAppsList list(ReadAll(real));
    EXPECT_EQ(list.Values(kDefaults, "text/plain"), Ids{"editor.desktop"});
    EXPECT_EQ(list.Values(kDefaults, "application/x-quandel-list"), Ids{kOurs});
}

// HOME and the two XDG variables for one scope; nullptr unsets. The old values come back after.
class CUserEnvironment {
public:
    CUserEnvironment(const std::string& home, const char* dataHome, const char* configHome)
    {
        for (const char* name : kNames) {
            const char* old = std::getenv(name);
            m_saved.push_back(old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        }
        Apply({home.c_str(), dataHome, configHome});
    }
    ~CUserEnvironment() { Apply({Old(0), Old(1), Old(2)}); }

private:
    static constexpr const char* kNames[] = {"HOME", "XDG_DATA_HOME", "XDG_CONFIG_HOME"};
    const char* Old(size_t k) const { return m_saved[k] ? m_saved[k]->c_str() : nullptr; }
    static void Apply(const std::vector<const char*>& values)
    {
        for (size_t k = 0; k < values.size(); ++k)
            values[k] != nullptr ? setenv(kNames[k], values[k], 1) : unsetenv(kNames[k]);
    }
    std::vector<std::optional<std::string>> m_saved;
};

TEST(FileAssociations, ForUserTakesTheXdgFoldersAndFallsBackToTheHomeFolder)
{
    struct Case {
        const char* dataHome; // inside the temporary folder when absolute; nullptr unsets
        const char* configHome;
        const char* dataExpected; // inside the temporary folder
        const char* configExpected;
    };
    const Case cases[] = {
        {"/xdg-data", "/xdg-config", "xdg-data", "xdg-config"},
        {nullptr, nullptr, "home/.local/share", "home/.config"},
        {"xdg-data", "", "home/.local/share", "home/.config"}, // relative or empty: ignored
    };
    for (const Case& c : cases) {
        const CTempDir dir;
        const auto inside = [&](const char* v) {
            return v != nullptr && v[0] == '/' ? dir.Root() + v : std::string(v != nullptr ? v : "");
        };
        const std::string data = inside(c.dataHome);
        const std::string config = inside(c.configHome);
        const CUserEnvironment environment(dir.Path("home"), c.dataHome != nullptr ? data.c_str() : nullptr,
                                           c.configHome != nullptr ? config.c_str() : nullptr);

        EXPECT_EQ(CFileAssociations::ForUser("/usr/bin/quandel-player").Write(PlayerSettings()), 0);

        EXPECT_TRUE(fs::is_regular_file(dir.Path(c.dataExpected) + "/applications/quandel-player.desktop"))
            << c.dataExpected;
        EXPECT_TRUE(fs::is_regular_file(dir.Path(c.configExpected) + "/mimeapps.list")) << c.configExpected;
    }
}

} // namespace
