#include "PlayerTestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>

CPlayerHome::CPlayerHome(const std::string& root) : m_root(root)
{
    std::error_code error;
    for (const char* folder : {"/config", "/data", "/runtime", "/music"})
        std::filesystem::create_directories(m_root + folder, error);
    chmod(RuntimeFolder().c_str(), 0700);
}

std::vector<std::pair<std::string, std::string>> CPlayerHome::Environment() const
{
    std::vector<std::pair<std::string, std::string>> environment = {
        {"HOME", m_root},
        {"XDG_CONFIG_HOME", m_root + "/config"},
        {"XDG_DATA_HOME", m_root + "/data"},
        {"XDG_RUNTIME_DIR", RuntimeFolder()},
        {"QT_QPA_PLATFORM", "offscreen"},
        {"LANG", "C.UTF-8"},
        {"LC_ALL", ""},
        {"LC_MESSAGES", ""},
    };
    return environment;
}

void CPlayerHome::Apply() const
{
    for (const auto& [name, value] : Environment())
        setenv(name.c_str(), value.c_str(), 1);
}

void CPlayerHome::WriteSettings(const std::string& extraGeneral, int run, int device) const
{
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(ConfigFile()).parent_path(), error);
    std::ofstream out(ConfigFile());
    out << "[General]\nRun=" << run << "\nOutputDevice=" << device << "\nOutputBlockSize=4096\n"
        << extraGeneral;
}

bool WriteM3u(const std::string& path, const std::vector<std::string>& tracks)
{
    std::ofstream out(path);
    out << "#EXTM3U\n";
    for (const std::string& track : tracks)
        out << track << "\n";
    return static_cast<bool>(out);
}
