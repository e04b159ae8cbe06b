#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// A user's own folders for one test of the player: HOME, the XDG configuration, data and
// runtime folders, all inside a fresh temporary folder, and the settings file the player reads.
class CPlayerHome {
public:
    explicit CPlayerHome(const std::string& root);

    // The environment a player started for this user gets (the sound server's address is
    // passed on from the test's own environment).
    std::vector<std::pair<std::string, std::string>> Environment() const;
    // Sets the variables in this process, for a player made inside the test.
    void Apply() const;

    std::string ConfigFile() const { return m_root + "/config/Kelmaric/Quandel Player.conf"; }
    std::string DataFolder() const { return m_root + "/data/Kelmaric/Quandel Player/"; }
    std::string RuntimeFolder() const { return m_root + "/runtime"; }
    const std::string& Root() const { return m_root; }
    // A settings file of a player started run times before, playing to the output device
    // (the sound server's default output unless told), with extra lines in its [General] group.
    void WriteSettings(const std::string& extraGeneral = {}, int run = 3, int device = 256) const;

private:
    std::string m_root;
};

// An M3U list of the given tracks.
bool WriteM3u(const std::string& path, const std::vector<std::string>& tracks);
