#pragma once

#include "PlayerSettings.h"

#include <cstdint>
#include <string>

class CControlTable;

// Keeps the settings in the user's configuration file, $XDG_CONFIG_HOME/Kelmaric/Quandel
// Player.conf (~/.config when unset): the application's values at the top level, the panels in
// the group "Apperance". Read once at start-up, written once at exit; a value that is missing,
// is not a number or lies outside its range keeps its default (a few are clamped instead, as
// the member comments say), so a damaged file never stops a start.
//
// Threads: the user-interface thread.
class CSettingsStore {
public:
    static std::string DefaultPath();
    explicit CSettingsStore(std::string path = DefaultPath());

    // Fade times are kept as (seconds + 1000) x 10, truncated, so pauses (negative times)
    // survive as positive numbers with 0.1 s resolution.
    static int32_t EncodeFadeTime(float seconds);
    static float DecodeFadeTime(int32_t stored);
    // The fade time range the controls allow.
    static constexpr float kMinFadeSeconds = -9.9f;
    static constexpr float kMaxFadeSeconds = 99.0f;

    // The application section into settings, Run stored plus one; "X-Fader Mode" and "Master
    // Volume" into their control functions, marked for the engine.
    void Read(PlayerSettings& settings, CControlTable& controls) const;
    void ReadPanels(PanelSettings& panels) const;
    // Everything, in its order; the window position only when withWindow. false when the file
    // could not be written (the earlier file then stays as it was).
    bool Write(const PlayerSettings& settings, const CControlTable& controls, const PanelSettings& panels,
               bool withWindow) const;

    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};
