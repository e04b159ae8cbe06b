#pragma once

#include "ControlListener.h"
#include "ListFind.h"
#include "ListSort.h"

#include <QPoint>

#include <cstdint>
#include <memory>
#include <random>
#include <string>
#include <vector>

class CMainDialog;
class CNativeChildWindow;
class CPlayerApp;
class CPlaylist;
class CPlaylistListCtrl;
class CSkinForm;
class QWidget;

// The playlist panel: the list view over the shown list (the Time Line's own or a case) with its
// buttons to load, save, add, delete, edit, find and hand entries to the Time Line; the rows'
// drag, the desktop's drops, sorting by a column and the context menu.
//
// Threads: the user-interface thread.
class CPlaylistPanel : public CControlListener {
public:
    // Buttons of the panel's form.
    enum Button : int32_t {
        kLoad = 4,
        kSave = 5,
        kAdd = 6,
        kDelete = 7,
        kAppend = 8,
        kEdit = 10,
        kFind = 11,
        kInsert = 12,
        kRandom = 14
    };

    // The application and the main window outlive the panel; the list view is a child of window.
    CPlaylistPanel(CPlayerApp& app, CMainDialog& dialog, CSkinForm& form, QWidget& window);
    ~CPlaylistPanel() override;

    void ShowList(CPlaylist* list, bool timeLine);
    const CPlaylist* ShownList() const { return m_list; }
    // Mirrors the list into the view when anything changed (or always when forced).
    void Refresh(bool force);
    void OnControlEvent(const CSkinEvent& event, int32_t controlId) override;

    int Current() const { return m_current; }
    void SetCurrent(int index) { m_current = index; }
    void EnsureVisible(int index) { m_ensureVisible = index; }
    CPlaylistListCtrl& ListCtrl() { return *m_listCtrl; }
    void SetRandomSeed(uint32_t seed) { m_random.seed(seed); }

    // The commands, also reached by keys and menus.
    void Find();
    void FindNext();
    void Edit();
    void SortShown(ListSort::Key key, bool ascending, bool selectedOnly);
    void MoveSelectedTo(int target);
    // Copies the selected entries into the Time Line: at its end, after the playing entry, or
    // each at a random place after it.
    void AppendToTimeLine();
    void InsertIntoTimeLine();
    void InsertRandomlyIntoTimeLine();
    // Files and folders dropped on the view, in their order.
    void OpenDropped(const std::vector<std::string>& paths);
    // Entries just added at the end of the shown list become the selection.
    void SelectAdded(int firstIndex);
    // Jumps playback to the row, or plays the selection next (double-click).
    void PlayRow(int row);

private:
    void OnHeaderClicked(int column);
    void ShowContextMenu(QPoint globalPoint);
    void PopupButtonMenu(int32_t button, int32_t firstString, int32_t secondString);
    void JumpToPlaying(bool next);
    std::vector<int> SelectedIndices() const;
    void ApplyMoves(const std::vector<std::pair<int, int>>& moves);
    void SelectRows(int first, int count);
    void CopyIntoTimeLine(const std::vector<int>& indices, int position);
    void UpdateButtons(bool force);
    void SyncSelection();

    CPlayerApp& m_app;
    CMainDialog& m_dialog;
    CSkinForm& m_form;
    CPlaylistListCtrl* m_listCtrl = nullptr; // a child of the skin window
    std::unique_ptr<CNativeChildWindow> m_native;
    CPlaylist* m_list = nullptr; // owned by the player core
    bool m_showsTimeLine = true;
    int m_shownTimeLineFlag = -1; // last enabling by the shown list
    int m_current = -1;
    int m_ensureVisible = -1;
    int m_lastMode = -1;
    bool m_refreshing = false;
    bool m_syncing = false; // the view's selection is being set from the list
    int m_sortColumn = -1;
    bool m_sortAscending = true;
    ListFindState m_find;
    std::minstd_rand m_random{std::random_device{}()};
};
