#pragma once

#include "ControlListener.h"
#include "SampleStore.h"

#include <array>
#include <cstdint>
#include <functional>

class CPlayerCore;
class CSkinEvent;
class CSkinForm;

// The mixer panel (form 1): per deck a waveform window scrolling with the play position, with
// the deck's markers, and nine mix monitor lamps that light up with the deck's activity and fade
// out over 24 refreshes; between them the cross-fader and the Automix fade time with its three
// presets, which only Automix offers.
//
// Threads: user-interface thread only. The panel reads the engine and the mix monitor, and
// writes control functions and the Automix fade time, all of which are lock-free.
class CMixerPanel : public CControlListener {
public:
    static constexpr int kDecks = 2;
    static constexpr int kLamps = 9;    // CMixMonitor::kLamps
    static constexpr int kLampLit = 30; // refreshes a lamp stays on after its activity
    static constexpr uint32_t kWaveColumns = 142;
    static constexpr double kLeadMs = 1500.0; // the play position lies this far into the window
    static constexpr float kFadeMinimum = -9.9f;
    static constexpr float kFadeMaximum = 99.0f;

    // Control ids of the form.
    static constexpr int32_t kCrossFader = 6;
    static constexpr int32_t kFadeDown = 8;
    static constexpr int32_t kFadeUp = 11;
    static constexpr int32_t kFadeText = 28;
    static constexpr int32_t kPresetBlend = 30;
    static constexpr int32_t kPresetNoBlend = 31;
    static constexpr int32_t kPresetPause = 32;
    static constexpr int32_t kWaveA = 300; // deck B: + 1
    static constexpr int32_t kShadeA = 600;
    // Lamp ids of deck A in CMixMonitor::Lamp order; deck B's are one higher.
    static constexpr std::array<int32_t, kLamps> kLampIds = {110, 100, 120, 130, 140, 150, 160, 170, 190};

    // core and form outlive the panel. Registers with the form's controls, colours the wave
    // windows and shades, and refreshes everything once.
    CMixerPanel(CPlayerCore& core, CSkinForm& form);
    ~CMixerPanel() override;
    CMixerPanel(const CMixerPanel&) = delete;
    CMixerPanel& operator=(const CMixerPanel&) = delete;

    // Every display tick while the panel is open; force after layout changes. No allocation
    // unless the fade time changed.
    void Refresh(bool force);
    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override;

    // Asked before a control acts: true while the control's events point at its function for the
    // controllers' learn mode (CSkinLearn::Intercepts), and must not move the mixer.
    void SetLearnFilter(std::function<bool(int32_t controlId)> learning) { m_learning = std::move(learning); }

    // Refreshes left before the lamp goes dark (0..kLampLit); lamp is a CMixMonitor::Lamp.
    int LampCounter(int deck, int lamp) const;

private:
    void RefreshCrossFader(bool force);
    // Counts the deck's lamps down, relighting those with new activity; true when any was lit.
    bool RefreshLamps(int deck);
    void RefreshWave(int deck);
    // Fills m_wave for the window from startMs; columns before the track's start stay empty.
    void ReadWindow(int deck, double startMs, uint32_t rate);
    void RefreshFadeText(bool force);
    void RefreshPlaybackMode();
    void OnCrossFader(const CSkinEvent& event);
    // Moves the fade time by tenths of a second, within its range.
    void StepFadeTime(int tenths);
    template <typename Control> Control* Find(int32_t id) const;

    CPlayerCore& m_core;
    CSkinForm& m_form;
    std::array<std::array<int, kLamps>, kDecks> m_lampCounters{};
    std::array<double, kDecks> m_lastPositionMs{-1.0, -1.0};
    float m_lastFadeTime = 0.0f; // seconds, as text 28 shows it
    bool m_fadeShown = false;
    int m_lastMode = -1;
    uint32_t m_refreshes = 0;
    bool m_rightButton = false; // of the last press on a fade-time button
    std::array<CSampleStore::OverviewPair, kWaveColumns> m_wave{};
    std::function<bool(int32_t)> m_learning; // may be empty
};
