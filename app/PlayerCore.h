#pragma once

#include "Automix.h"
#include "ControlHost.h"
#include "MixRecorder.h"
#include "MixReplay.h"
#include "MixStream.h"
#include "Playlist.h"
#include "TimeLine.h"

#include <array>
#include <atomic>
#include <string>

// The application's play logic without a user interface: the Time Line list and the four
// cases, the Time Line, the Mix-File with its replay and recorder, the Automix controller and
// the playback mode, on top of the control host's per-tick cycle. The windowed program wraps it;
// the headless renderer and the tests drive it directly.
//
// Threads: the CControlHost slots run on the audio thread. The commands (lists, modes,
// transport, recording) run on one other thread (the user-interface thread); whole-list changes
// hold the busy flag so that the Automix step stays out meanwhile.
struct ListLoadReport;

class CPlayerCore : public CControlHost {
public:
    enum PlaybackMode : int { kNoMode = 0, kAutomix = 1, kDjMix = 2 };
    static constexpr int kCases = 4;
    static constexpr const char* kMixMissingTracks = "Could not start mix playback.\n\nThere are tracks "
                                                     "missing in the playlist\nwhich are needed in the mix.";

    CPlayerCore();
    ~CPlayerCore() override;

    // Audio thread: the slots of the per-tick cycle.
    void ScheduleTimeLine() noexcept override;
    void ReplayMixTick() noexcept override;
    int OnRunStop(int value) noexcept override;
    void LoadTrackToDeck(int deck, const char* path, int entryId) override;
    bool MixReplayRunning() const noexcept override;
    void TickApplied() noexcept override;
    bool AutomixMode() const noexcept override { return PlaybackModeValue() == kAutomix; }

    // User-interface thread.
    void SetPlaybackMode(int mode);
    // Opens a list, a Mix-File or a track by its extension, replacing the Time Line list.
    // report, when given, receives the entries a list or folder could not take.
    bool OpenDocument(const std::string& path, ListLoadReport* report = nullptr);
    // Saves the Time Line list (.qzl, with its mix when one is loaded), a Mix-File (.qzx) or M3U.
    bool SaveDocument(const std::string& path);
    // Recording a performance into the Mix-File: Start reserves the stream, Finish hands it to
    // the mix. The list's entries the mix refers to are locked.
    void StartRecording();
    uint32_t FinishRecording();
    // The text of a message the audio thread raised for the user (empty: none); clears it.
    std::string TakeMessage();

    // Any thread.
    int PlaybackModeValue() const noexcept { return m_playbackMode.load(std::memory_order_acquire); }
    // Nested: each SetBusy(true) is undone by one SetBusy(false).
    bool Busy() const noexcept { return m_busy.load(std::memory_order_acquire) > 0; }
    void SetBusy(bool busy) noexcept { m_busy.fetch_add(busy ? 1 : -1, std::memory_order_acq_rel); }
    bool RunStop() noexcept { return Controls().GetValue(ControlId::RunStop, 0) != 0; }
    void SetRunStop(bool on) noexcept { Controls().SetValue(ControlId::RunStop, 0, on ? 1 : 0, true, true); }

    CPlaylist& List() noexcept { return m_list; }
    CPlaylist& Case(int index) noexcept { return m_cases[static_cast<size_t>(index & 3)]; }
    CTimeLine& TimeLine() noexcept { return m_timeLine; }
    CMixStream& Mix() noexcept { return m_mix; }
    CMixRecorder& Recorder() noexcept { return m_recorder; }
    CAutomix& Automix() noexcept { return m_automix; }
    void SetTimeLineModeFixed(bool fixed) noexcept { m_timeLineModeFixed = fixed; }
    // Whether every track the loaded mix names is in the list and present on disk.
    bool MixTracksPresent() const noexcept { return m_mixTracksPresent.load(std::memory_order_acquire); }
    // What became of a Mix-File that cannot play as recorded, as one line for the user, e.g.
    // "the mix could not be read past tick 1234 (0:03.58); its list plays in Automix instead";
    // empty for a mix that plays as recorded. Set when a mix is opened, and raised as a message.
    const char* MixNotice() const noexcept { return m_mixNotice.data(); }
    // Why DJ-Mix playback of the loaded mix cannot start: kMixMissingTracks, or "the mix names
    // track N, which its list does not hold" when a track value lies past the list; empty when
    // it can start. Set whenever the mode becomes DJ-Mix.
    const char* MixStartProblem() const noexcept { return m_mixStartProblem.data(); }

private:
    std::array<int32_t, 2> m_recordedPositions{}; // taken before the tick's controls apply
    void CheckMixTracks();
    // The mode a mix just opened plays in; fills the notice when that is not the mix as recorded.
    int ModeForOpenedMix();
    bool LoadMixFile(const std::string& path);
    bool OpenList(const std::string& path, ListLoadReport* report);

    CPlaylist m_list;
    std::array<CPlaylist, kCases> m_cases;
    CTimeLine m_timeLine;
    CMixStream m_mix;
    CMixRecorder m_recorder{m_mix};
    CMixReplay m_replay{*this, m_mix, m_list};
    CAutomix m_automix{*this};
    std::atomic<int> m_playbackMode{kNoMode};
    std::atomic<int> m_busy{0};
    std::atomic<bool> m_mixTracksPresent{true};
    bool m_timeLineModeFixed = false; // "TimeLineModeFixed": every Automix block drawn 170 s long
    // Points at a fixed text or at one of the buffers below. The buffers are written and read on
    // the user-interface thread only; the audio thread passes their address on, never their text.
    std::atomic<const char*> m_message{nullptr};
    std::array<char, 160> m_mixNotice{};
    std::array<char, 160> m_mixStartProblem{};
};
