#pragma once

#include "Automix.h"
#include "ControlHost.h"
#include "CoreEventQueue.h"
#include "MixMonitor.h"
#include "MixRecorder.h"
#include "MixReplay.h"
#include "MixStream.h"
#include "PlaySnapshot.h"
#include "Playlist.h"
#include "SnapshotBox.h"
#include "TimeLine.h"

#include <array>
#include <atomic>
#include <string>
#include <vector>

// The application's play logic without a user interface: the Time Line list and the four
// cases, the Time Line, the Mix-File with its replay and recorder, the Automix controller and
// the playback mode, on top of the control host's per-tick cycle. The windowed program wraps it;
// the headless renderer and the tests drive it directly.
//
// Threads: the CControlHost slots run on the audio thread. The commands (lists, modes,
// transport, recording) run on one other thread, the user-interface thread, which owns the lists,
// the cases and the Time Line. The audio thread never reads them: it reads the snapshot of them
// that the user-interface thread publishes after every change (Publish; PollEvents publishes what
// was changed directly), and reports what happened through the event queue, which the
// user-interface thread drains with PollEvents and applies to the lists.
struct ListLoadReport;

class CPlayerCore : public CControlHost {
public:
    enum PlaybackMode : int { kNoMode = 0, kAutomix = 1, kDjMix = 2 };
    static constexpr int kCases = 4;
    static constexpr const char* kTrackUnreadable = "The track could not be opened or decoded.";
    static constexpr const char* kMixMissingTracks = "Could not start mix playback.\n\nThere are tracks "
                                                     "missing in the playlist\nwhich are needed in the mix.";

    CPlayerCore();
    ~CPlayerCore() override;

    // Audio thread: the slots of the per-tick cycle.
    // User-interface thread, as the output starts and after it stopped.
    void Start(uint8_t& flags) override;
    void Stop(uint8_t& flags) override;
    void ScheduleTimeLine() noexcept override;
    void ReplayMixTick() noexcept override;
    int OnRunStop(int value) noexcept override;
    // Audio thread (the Automix step, the replay), or the caller's while no audio thread runs.
    void LoadTrackToDeck(int deck, const char* path, int entryId) override;
    bool MixReplayRunning() const noexcept override;
    void TickApplied() noexcept override;
    void UpdateMixMonitorFlags() noexcept override { m_monitor.Update(Controls()); }
    bool AutomixMode() const noexcept override { return PlaybackModeValue() == kAutomix; }

    // Audio thread: a report for the user-interface thread; lost (and counted) when the queue is
    // full.
    void PostEvent(const CoreEvent& event) noexcept;
    // Audio thread: the snapshot taken for this tick (null before the first).
    const CPlaySnapshot* CurrentSnapshot() const noexcept { return m_entered; }

    // User-interface thread.
    // Publishes the lists as they are now; newTimeLine starts the Automix step on the Time Line's
    // current item instead of following the item it plays.
    void Publish(bool newTimeLine = false);
    // Takes every event the audio thread reported, applies it to the lists (learned play times,
    // locks, the current item and position for the displays), publishes the lists again when
    // they changed since the last publication, and hands the events to out when given.
    void PollEvents(std::vector<CoreEvent>* out = nullptr);
    // Published snapshots not yet freed because the audio thread may still read them.
    size_t SnapshotsWaiting() const noexcept { return m_snapshots.Retired(); }
    // Events lost to a full queue since the last call.
    uint64_t TakeLostEvents() noexcept { return m_events.TakeDropped(); }
    // A file from outside the lists (dropped on a deck): it joins the Time Line list and loads.
    void LoadFileToDeck(int deck, const std::string& path);
    // Edits of the Time Line list, each published at once (the Time Line follows the list in
    // Automix). Direct edits through List() are published by the next PollEvents.
    int AddToList(const std::string& path, int index = -1); // AddTrack with tags, then moved there
    bool RemoveFromList(int index, bool force);
    void MoveInList(int from, int to);
    // Replaces the entry's fields; its id stays.
    void EditListEntry(int index, const TrackEntry& fields);
    void ClearList();
    void SetPlaybackMode(int mode);
    // Opens a list, a Mix-File or a track by its extension, replacing the Time Line list.
    // report, when given, receives the entries a list or folder could not take.
    bool OpenDocument(const std::string& path, ListLoadReport* report = nullptr);
    // Adds a list's entries, a folder's tracks or a track to the Time Line list (a Mix-File
    // plays alone: it is not added). The number added, or -1 when nothing could be read.
    int AppendDocument(const std::string& path, ListLoadReport* report = nullptr);
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
    bool RunStop() noexcept { return Controls().GetValue(ControlId::RunStop, 0) != 0; }
    void SetRunStop(bool on) noexcept
    {
        Controls().SetValue(ControlId::RunStop, 0, on ? 1 : 0, Marks::ChangedAndApply);
    }

    CPlaylist& List() noexcept { return m_list; }
    const CPlaylist& List() const noexcept { return m_list; }
    CPlaylist& Case(int index) noexcept { return m_cases[static_cast<size_t>(index & 3)]; }
    CTimeLine& TimeLine() noexcept { return m_timeLine; }
    CMixStream& Mix() noexcept { return m_mix; }
    CMixRecorder& Recorder() noexcept { return m_recorder; }
    CAutomix& Automix() noexcept { return m_automix; }
    CMixMonitor& MixMonitor() noexcept { return m_monitor; }
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
    void NoteTracksHeard() noexcept;
    void StartDeckLoad(int deck, const char* path, int entryId, const SnapshotTrack* entry,
                       const CPlaySnapshot* snapshot);
    uint64_t ListFingerprint() const;
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
    CMixReplay m_replay{*this, m_mix};
    CAutomix m_automix{*this};
    CMixMonitor m_monitor;
    std::atomic<int> m_playbackMode{kNoMode};
    CSnapshotBox m_snapshots;
    CCoreEventQueue m_events;
    const CPlaySnapshot* m_entered = nullptr; // audio thread
    std::atomic<bool> m_stepped{false};       // the audio thread has run a tick
    uint32_t m_tick = 0;                      // audio thread: ticks scheduled since the start
    std::array<int32_t, 2> m_heard{-1, -1};   // audio thread: the entry each deck was heard playing
    std::array<bool, 2> m_loading{};          // audio thread: a load was under way at the last tick
    uint64_t m_serial = 0;                    // user-interface thread, from here on
    uint32_t m_generation = 0;
    uint64_t m_publishedFingerprint = 0;
    std::string m_pendingMessage;
    std::atomic<bool> m_mixTracksPresent{true};
    bool m_timeLineModeFixed = false; // "TimeLineModeFixed": every Automix block drawn 170 s long
    // Written on the user-interface thread only; the audio thread passes their address on in a
    // message event, never their text.
    std::array<char, 160> m_mixNotice{};
    std::array<char, 160> m_mixStartProblem{};
};
