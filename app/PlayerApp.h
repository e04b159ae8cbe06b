#pragma once

#include "AudioClient.h"
#include "ControllerFaderHold.h"
#include "OutputDeviceInfo.h"
#include "OutputManager.h"
#include "PlayerArguments.h"
#include "PlayerCore.h"
#include "PlayerSettings.h"
#include "SingleInstance.h"

#include <memory>
#include <string>
#include <vector>

class CCdWatcher;
class CListAnalysis;
class CMidiControllers;
class CMainDialog;
class CPictureManager;
class CShutdownSignals;
class QApplication;
class QWidget;

// One entry of the setup sheet's device list.
struct OutputDeviceChoice {
    std::string name;
    uint32_t id = 0;
};

// The program: owns the Qt application and the player core, starts up (one player per user,
// settings, file types, skin, window, sound output, the last Time Line and the cases), hands
// files over between starts, and at the end stops the sound and saves what the user had.
//
// Threads: the user-interface thread; the core's audio work runs on the output's threads.
class CPlayerApp {
public:
    // Exit status of the process.
    static constexpr int kExitOk = 0;
    static constexpr int kExitStartFailed = 1;
    static constexpr int kExitUsage = 2;

    // Makes the QApplication unless one exists (tests make their own). argv is read once here.
    CPlayerApp(int& argc, char** argv);
    ~CPlayerApp();
    CPlayerApp(const CPlayerApp&) = delete;
    CPlayerApp& operator=(const CPlayerApp&) = delete;

    // Start-up, the event loop while the window is open, shutdown; the exit status.
    int Run();
    bool InitInstance();
    int ExitInstance();

    // Opens a list, Mix-File or track by its extension into the Time Line.
    bool OpenDocument(const std::string& path);
    // Opens what a second start handed over; called on every 24th display tick.
    void PollHandover();
    // The core's events and the analyses finished since, on every display tick.
    void PollCore();
    // The analysis of the lists' tracks in the background; null before the start.
    CListAnalysis* Analysis() { return m_analysis.get(); }
    // Looks, on every display tick, whether the sound device stopped by itself (it went away,
    // or its server ended): the user is told and can retry once it is back, or end the player.
    void PollOutput();
    // Looks at the Audio-CD drive: its index list (with or without its mix) or its tracks go
    // into the Time Line, after asking when askAlways is set, or askForMix and the index names
    // a mix. true when something was loaded.
    bool CheckCd(bool askAlways, bool askForMix);
    // Takes what the Audio-CD drive's watcher saw; called on every 24th display tick. A disc put
    // in is looked at as at start-up, asking first, and plays when something was loaded; one
    // taken out takes its tracks out of the Time Line (stopping and dropping the mix if it
    // held any). After each, every entry of the Time Line and the cases is looked for again.
    // While a document is being opened or a dialog is open the changes wait for a later call.
    void PollCdDrive();
    // The setup sheet; after OK the outputs are reopened when their settings changed and the
    // file types written again.
    void Setup();
    void About();

    CPlayerCore& Core() { return m_core; }
    PlayerSettings& Settings() { return m_settings; }
    CMainDialog* MainDialog() const { return m_mainDialog.get(); }
    COutputManager& Output() { return m_output; }
    bool Initialised() const { return m_initialised; }
    // A list that feeds the Time Line is being changed: a hand-over waits for the next poll.
    bool Busy() const { return m_busy; }
    void SetBusy(bool busy) { m_busy = busy; }
    // Where last.qzl and the cases live, ending in '/'.
    const std::string& DataFolder() const { return m_dataFolder; }
    const std::string& SettingsPath() const;
    const std::vector<OutputDeviceChoice>& Devices() const { return m_devices; }
    int ExitCode() const { return m_exitCode; }
    // The folder holding index.qzl for the Audio-CD drive: the disc's mount point, or for a
    // disc image the folder of its cue sheet; empty when none.
    std::string CdRoot() const;
    // The watch on the Audio-CD drive; null before start-up, after shutdown and without a drive.
    const CCdWatcher* CdWatcher() const { return m_cdWatcher.get(); }
    // The DJ controllers; null before start-up and after shutdown.
    CMidiControllers* Controllers() const { return m_controllers.get(); }
    // Runs the commands the controllers asked for (next, previous, load the selected entry to a
    // deck), as the same keys do, and holds Automix off the cross-fader while a controller moves
    // it; called on every display tick.
    void PollControllers();
    // A control of the window the user clicked: in learn mode, the controller element moved next
    // is bound to its function (deck 0 or 1, or -1 for a global function).
    void LearnControl(int32_t controlId, int deck);
    // Learn mode is on: a click on a control names its function instead of acting.
    bool Learning() const;

private:
    bool RunSetup();
    bool OpenOutputs();
    bool TryOpenOutputs();
    void CloseOutputs();
    void ListDevices();
    void SelectCdDrive();
    // A saved list that is there but cannot be read is moved aside as NAME.bad, so nothing the
    // user had is lost and the next save does not write over it. true when path holds a list.
    bool KeepOrSetAside(const std::string& path);
    void LoadCases();
    bool SaveTimeLine();
    void SaveCases();
    void OnShutdownSignal();
    // Settings and lists saved without asking anything, then the process ends: the toolkit
    // ends the process from inside its event loop when the display went away.
    static void SaveAtUnplannedExit();
    // Stops the sound and saves the settings, the Time Line and the cases; asks about a Time
    // Line that cannot be saved only when mayAsk is set.
    void SaveAll(bool mayAsk);
    // The settings' and lists' folders can be written; the user is told once when not.
    void CheckSaveFolders();
    void WriteAssociations();
    QWidget* DialogParent() const;
    // Starts watching the Audio-CD drive, again when another drive became it.
    void WatchCdDrive();
    void OnCdArrival();
    void OnCdRemoval();
    void StartControllers();
    void RecheckLists();
    void ApplyAnalyses();

    std::unique_ptr<QApplication> m_ownedApplication;
    std::vector<std::string> m_arguments;
    PlayerArguments m_command;
    CPlayerCore m_core;
    PlayerSettings m_settings;
    CSingleInstance m_instance;
    std::unique_ptr<CShutdownSignals> m_signals;
    std::unique_ptr<CPictureManager> m_pictures;
    std::unique_ptr<CMainDialog> m_mainDialog;
    COutputManager m_output;
    COutputDeviceInfo m_masterRecord;
    COutputDeviceInfo m_recorderRecord;
    ClientRecord m_clientRecord;
    std::vector<OutputDeviceChoice> m_devices;
    std::string m_programPath;
    std::string m_dataFolder;
    mutable std::string m_settingsPath;
    int m_exitCode = kExitOk;
    bool m_initialised = false;
    bool m_quitRequested = false;
    bool m_busy = false;            // a document or CD is being opened: a hand-over waits
    bool m_outputOpen = false;      // the outputs were started and not closed since
    bool m_outputLosing = false;    // the user is being told that the device went away
    bool m_foldersReadOnly = false; // settings and lists cannot be saved: told once at start
    std::unique_ptr<CCdWatcher> m_cdWatcher;
    // Declared first, so destroyed after the controllers, whose MIDI thread touches it.
    std::unique_ptr<CControllerFaderHold> m_faderHold;
    std::unique_ptr<CMidiControllers> m_controllers;
    std::unique_ptr<CListAnalysis> m_analysis;
    std::string m_cdWatched;  // what the watcher looks at: the disc image, or the drive's letter
    bool m_cdPolling = false; // a disc change is being handled (the Play CD question may be open)
};
