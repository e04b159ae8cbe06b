#pragma once

#include "ControlListener.h"
#include "DisplayText.h"
#include "MixTrackView.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <vector>

class CMainDialog;
class CMixTrackView;
class CPlayerApp;
class CSkinEvent;
class CSkinForm;

// The Time Line panel (form 7): the scheduled tracks of deck A and deck B as boxes along time,
// one pixel per 5.5 seconds, with a line at the mix position that the views follow until the
// user scrolls them; a click marks boxes, a double-click plays one; the buttons add to, delete
// from, load, save and reorder the Time Line's list.
//
// The boxes are rebuilt only when the Time Line, the list's entries or the playing entries
// changed; the views draw straight from them. Every buffer is sized at construction, so a steady
// refresh allocates nothing.
//
// Threads: the user-interface thread, which owns the list and the Time Line.
class CTimeLinePanel : public CControlListener {
public:
    static constexpr int32_t kMsPerPixel = 5500;
    static constexpr int32_t kFollowOffset = 77; // the line stays this far below the scroll origin
    static constexpr int32_t kScrollStep = 5;    // pixels per press of a scroll button
    static constexpr int kTitleCharacters = 36;
    static constexpr int kArtistCharacters = 36;

    // Control ids of the form.
    static constexpr int32_t kViewA = 1; // deck B's: 2
    static constexpr int32_t kAdd = 6;
    static constexpr int32_t kDelete = 8;
    static constexpr int32_t kLoad = 9;
    static constexpr int32_t kSave = 10;
    static constexpr int32_t kOrderShuffle = 11;
    static constexpr int32_t kOrderPlaylist = 12;
    static constexpr int32_t kScrollUp = 14;
    static constexpr int32_t kScrollDown = 15;
    static constexpr int32_t kFollow = 16;
    static constexpr int32_t kMixTime = 24;
    // The commands of the add and delete menus, by their string ids.
    enum MenuCommand : int32_t {
        kAddFiles = 20501,
        kAddDirectory = 20502,
        kDeleteSelected = 20601,
        kClearAll = 20602
    };

    // The application, the window and the form outlive the panel. The window runs the panel's
    // menus and dialogs and the list commands it shares with the main window.
    CTimeLinePanel(CPlayerApp& app, CMainDialog& window, CSkinForm& form);
    ~CTimeLinePanel() override;
    CTimeLinePanel(const CTimeLinePanel&) = delete;
    CTimeLinePanel& operator=(const CTimeLinePanel&) = delete;

    // Every display tick while the panel is open; force after layout changes and edits.
    void Refresh(bool force);
    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override;
    // A command of the add or delete menu; the menus run it on their own too.
    void RunMenuCommand(int32_t command);
    // Transfers the list shown in the playlist window (a case, or the Time Line's own list) to
    // the Time Line, in its order or in random order.
    void TransferShownList(bool shuffled);

    const std::vector<MixTrackBox>& Boxes() const { return m_boxes; }
    int32_t PositionLine() const { return m_lineShown; }
    int32_t Scroll() const { return m_scroll; }
    bool Following() const { return m_follow; }
    const char* MixTimeShown() const { return m_mixTimeShown; }
    // How often the boxes were built since the panel was made.
    uint32_t Rebuilds() const { return m_rebuilds; }

private:
    CMixTrackView* View(int deck) const;
    uint64_t Signature() const;
    void RebuildBoxes();
    void RefreshButtons(bool force);
    void RefreshPosition(bool force);
    void RefreshMixTime(bool force);
    void ScrollBy(int32_t pixels);
    void SetFollow(bool follow);
    void OnViewButton(const CSkinEvent& event, int deck);
    void MarkRange(int fromItem, int toItem);
    int32_t PopUpMenu(int32_t buttonId, std::initializer_list<int32_t> commands);
    void DeleteSelected();
    void ClearAll();

    CPlayerApp& m_app;
    CMainDialog& m_window;
    CSkinForm& m_form;
    std::vector<MixTrackBox> m_boxes;         // one per Time Line item; capacity for the longest Time Line
    std::array<int32_t, 2> m_playing{-1, -1}; // entry playing on each deck at the last rebuild
    uint64_t m_signature = 0;                 // of what the boxes were built from
    uint32_t m_rebuilds = 0;
    int32_t m_lineShown = -1; // pixels from the Time Line's start
    int32_t m_scroll = 0;     // pixels; the views' common scroll offset
    bool m_follow = true;
    int m_followShown = -1;
    int m_modeShown = -1;
    bool m_remaining = false; // the mix time counts down
    int m_lastPressItem = -1; // the box pressed last, for telling a double click
    std::chrono::steady_clock::time_point m_lastPressTime;
    char m_mixTimeShown[DisplayText::kTimeBytes] = {};
};
