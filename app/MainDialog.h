#pragma once

#include "ControlListener.h"
#include "DeckDisplay.h"
#include "GlobalTimer.h"
#include "KeyboardMap.h"
#include "MainToolTips.h"
#include "MidiDispatcher.h"
#include "PlayerSettings.h"

#include <QObject>
#include <QPoint>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class CCaseTabs;
class CListImport;
class CMixerPanel;
class CSkinLearn;
class CPlaylistPanel;
class CPanelStack;
class CPictureManager;
class CPlayerApp;
class CPlaylist;
class CSettingsStore;
class CSkinForm;
class CSkinWindow;
class CTimeLinePanel;
class QAction;
class QKeyEvent;
class QMenu;
class QMimeData;
class QTimer;

// The program's one top-level window: the skin's panels stacked in a skin window (the deck
// panel always; the mixer, Time Line and Cases panels as the user left them), refreshed on the
// skin's timer; the skin controls' events, the keys, the menus, the file dialogs, drops from
// the desktop and from the playlist window, and the window commands of the title strip.
//
// Threads: the user-interface thread.
class CMainDialog : public QObject, public CTimerClient, public CControlListener {
public:
    // Panel numbers, in stacking order.
    enum Panel : int { kDeck = 0, kBorder = 1, kMixer = 2, kTimeLine = 3, kTabs = 4, kCases = 5 };
    static constexpr int kHandoverTicks = 24;
    static constexpr int32_t kMinimumCasesHeight = 120;
    // The load menu's commands, by their string ids.
    enum LoadCommand : int32_t {
        kPlayCd = 17001,
        kLoadListOrMix = 17002,
        kAddFiles = 17003,
        kAddDirectory = 17004,
        kPlayCase = 17005
    };
    // Entries dragged out of the playlist window: "LIST\nID\nID...", LIST -1 for the Time
    // Line's own list, 0..3 for a case.
    static constexpr const char* kEntriesMimeType = "application/x-quandel-entries";
    // Enters and leaves full-screen mode (the window's own key; the keyboard table has none).
    static constexpr int kFullScreenKey = Qt::Key_F11;

    // The application and the picture manager outlive the window.
    CMainDialog(CPlayerApp& app, CPictureManager& pictures);
    ~CMainDialog() override;

    void ReadPanelSettings(const CSettingsStore& store);
    const PanelSettings& Panels() const { return m_panels; }
    // Builds the panels and shows the window, at (x, y) when both differ from -1.
    bool Create(int x, int y);
    void ShowPanel(int panel, bool open);
    bool IsPanelOpen(int panel) const;
    void RefreshDisplay(bool force);
    // The window's top-left corner as it is when neither minimised nor maximised.
    QPoint RestoredPosition() const;
    CSkinWindow* Window() const { return m_window.get(); }
    CSkinForm* Form(int panel) const;
    int TickCount() const { return m_tick; }
    CMixerPanel* MixerPanel() const { return m_mixerPanel.get(); }
    CTimeLinePanel* TimeLinePanel() const { return m_timeLinePanel.get(); }
    CCaseTabs* CaseTabs() const { return m_caseTabs.get(); }
    CPlaylistPanel* PlaylistPanel() const { return m_playlistPanel.get(); }
    const CDeckDisplay& DeckDisplay(int deck) const { return *m_decks[static_cast<size_t>(deck & 1)]; }
    const CMainToolTips& ToolTips() const { return m_toolTips; }
    const std::string& TitleLineShown() const { return m_titleShown; }

    // The list the list commands act on: the Time Line's own list, or the case shown.
    CPlaylist& CurrentList();
    int CurrentCase() const { return m_currentCase; }
    void SetCurrentCase(int caseIndex); // -1: the Time Line's list

    // The load menu at a window point; its commands also run on their own.
    void ShowLoadMenu(QPoint windowPoint);
    void RunLoadCommand(int32_t command);
    // The save dialog for the current list (Ctrl+S).
    void SaveCurrentList();
    void EditListInfo();
    // Runs a panel's menu or dialog as one of the window's own, so that no message of the play
    // opens over it.
    void RunModal(const std::function<void()>& show);
    void ToggleFullScreen();
    void Minimise();
    // Opens dropped files and folders as a drop outside the playlist views does; folders and
    // tracks are read on a worker while the window goes on.
    void OpenDropped(const std::vector<std::string>& paths, std::vector<std::string> refused = {});
    // Entries from the playlist window dropped on a panel: on the deck or mixer panel they are
    // put after the Time Line's current item and played next.
    bool DropEntries(const QMimeData& data, int panel);
    bool ImportRunning() const;
    // Entries of list carried out of the playlist view and let go at a screen point: on the deck
    // or mixer panel they play next.
    bool DropListEntries(const CPlaylist& list, const std::vector<int>& indices, QPoint globalPoint);
    // Files dropped on the playlist view: tracks and folders join the shown list (read on a
    // worker), lists are added to it, a mix is loaded.
    void OpenDroppedOnList(const std::vector<std::string>& paths);
    // A key that reached a child (the playlist view) first: the window's keys act on it as they
    // do on the window. True when taken.
    bool PreTranslateKey(const QKeyEvent& event);
    // Runs a popup menu or a modal dialog of a panel with the window's bookkeeping of open
    // dialogs; the menu's chosen action, or null.
    QAction* RunMenu(QMenu& menu, QPoint globalPoint);
    QPoint FormPointToGlobal(const CSkinForm& form, QPoint formPoint) const;

    // List commands of the buttons and menus, on the current list.
    void LoadListOrMix(bool play);
    void AddFiles();
    void AddDirectory();
    void ClearCurrentList();
    void DeleteSelected();
    // What the playlist window does for a key (select all, find, edit, ...); set by it.
    void SetListCommandHandler(std::function<void(KeyCommand)> handler)
    {
        m_listCommand = std::move(handler);
    }

    void Tick() override;
    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override;

    // A controller's command: next and previous as their keys; a load puts the first selected
    // entry of the shown list on the deck, as a file dropped on it.
    void RunControllerCommand(MidiCommand command);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool OnKey(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool repeat);
    // What a key does once it is known to be a real press or let-go.
    bool TranslateKey(int qtKey, Qt::KeyboardModifiers modifiers, bool down, bool repeat);
    // The let-go that waited acts now.
    void FlushKeyRelease();
    // The window lost the keyboard: every key still down is let go.
    void ReleaseHeldKeys();
    void RunKeyCommand(const KeyResult& result);
    void OnDeckPanelEvent(const CSkinEvent& event, int32_t controlId);
    void OnSplitterEvent(const CSkinEvent& event);
    void RefreshTransport(bool force);
    void RefreshMixTime(bool force);
    void RefreshTitleLine(bool force);
    void RefreshLamps(bool force);
    void NotePlayTimes();
    void RepositionToolTips();
    bool ShowToolTip(QPoint windowPoint, QPoint globalPoint);
    void ShowMessages();
    void FinishImport();
    bool Modal() const { return m_modal > 0; }
    bool HitsControl(int panel, QPoint windowPoint) const;
    bool HitsTitleLine(QPoint windowPoint) const;
    // From a press at that global point: the window manager's move, or the window's own.
    void StartTitleDrag(QPoint globalPress);
    int PanelAt(QPoint windowPoint) const;
    void ToggleRepeat();
    void PlayCase();
    void SelectAll();
    std::string ChooseFile(int32_t filterString, bool save, const std::string& name = {});
    void StartImport(std::vector<std::string> items, bool replaceTimeLine, std::vector<std::string> refused);
    void ShowCurrentList();
    void TogglePanelsTogether();

    CPlayerApp& m_app;
    CPictureManager& m_pictures;
    PanelSettings m_panels;
    // Declared so that the stack goes first, then the window it draws into and the forms.
    std::vector<std::unique_ptr<CSkinForm>> m_forms; // by panel number
    std::unique_ptr<CSkinWindow> m_window;
    std::unique_ptr<CPanelStack> m_stack;
    std::array<std::unique_ptr<CDeckDisplay>, 2> m_decks;
    std::unique_ptr<CMixerPanel> m_mixerPanel;
    // Learn mode's way in from the deck panel's and the mixer's controls; gone before the forms.
    std::unique_ptr<CSkinLearn> m_deckLearn;
    std::unique_ptr<CSkinLearn> m_mixerLearn;
    std::unique_ptr<CTimeLinePanel> m_timeLinePanel;
    std::unique_ptr<CCaseTabs> m_caseTabs;
    std::unique_ptr<CPlaylistPanel> m_playlistPanel;
    CMainToolTips m_toolTips;
    QTimer* m_toolTipTimer = nullptr; // a child of this object
    // Keys down now, as the window saw them pressed; a press of one of them is the keyboard's
    // repeat, and a let-go of a key not among them is not this window's.
    std::vector<int> m_heldKeys;
    // The let-go of a key whose release acts (the cross-fader keys, Tab) waits this long: the
    // keyboard's repeat comes as a let-go and a new press, which the toolkit does not always
    // tell from real ones, and the new press then cancels it.
    static constexpr int kKeyReleaseWaitMs = 60;
    QTimer* m_keyReleaseTimer = nullptr; // a child of this object
    int m_pendingReleaseKey = 0;
    Qt::KeyboardModifiers m_pendingReleaseModifiers;
    QPoint m_toolTipPoint;
    std::unique_ptr<CListImport> m_import;
    bool m_importReplaces = false;
    bool m_importSelects = false;             // the imported entries become the playlist view's selection
    std::vector<std::string> m_importRefused; // dropped items that were no local files
    std::function<void(KeyCommand)> m_listCommand;
    std::string m_titleLine; // composed, then compared with the shown one
    std::string m_titleShown;
    std::string m_mixTitle;
    const char* m_dropHint = nullptr; // what the title line says while something is dragged over
    char m_mixTimeShown[DisplayText::kTimeBytes] = {};
    int m_tick = 0;           // 0 .. kHandoverTicks - 1
    uint32_t m_refreshes = 0; // display refreshes since the window opened
    int m_runCounter = 0;     // the running light, 0..31
    int m_modeShown = -1;
    int m_repeatShown = -1;
    int m_limiterShown = -1;
    int m_masterShown = -1;
    int m_currentCase = -1;
    int m_modal = 0; // dialogs and menus open from here
    bool m_deckRemaining = false;
    bool m_mixRemaining = false;
    bool m_created = false;
    bool m_layoutPending = false;
    bool m_playPressOpenedMenu = false; // the play button's next release is the menu's
    bool m_splitterDragging = false;
    int32_t m_splitterStartY = 0;
    int32_t m_splitterStartHeight = 0;
    bool m_titleDragging = false;
    QPoint m_titleDragOffset;
    // The title line was pressed: a click edits the list's information, a drag moves the window.
    bool m_titleLinePressed = false;
    QPoint m_titleLinePressPoint; // global
    QPoint m_normalPosition;      // where the window stood before full-screen mode
};
