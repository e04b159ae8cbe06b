#include "PlaylistPanel.h"

#include "AudioEngine.h"
#include "EditGroupDialog.h"
#include "FindEntryDialog.h"
#include "ListAnalysis.h"
#include "MainDialog.h"
#include "NativeChildWindow.h"
#include "PlayerApp.h"
#include "PlaylistListCtrl.h"
#include "PopupMenu.h"
#include "SkinControl.h"
#include "SkinEvent.h"
#include "SkinForm.h"
#include "StringIds.h"
#include "StringTable.h"
#include "WindowsControlHost.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMenu>

#include <algorithm>

namespace {

constexpr int32_t kListHost = 1; // the form's place for the list view

QString Text(int32_t id)
{
    return QString::fromUtf8(CStringTable::Program().Get(id));
}

} // namespace

CPlaylistPanel::CPlaylistPanel(CPlayerApp& app, CMainDialog& dialog, CSkinForm& form, QWidget& window)
    : m_app(app), m_dialog(dialog), m_form(form)
{
    m_listCtrl = new CPlaylistListCtrl(&window);
    m_native = std::make_unique<CNativeChildWindow>(m_listCtrl);
    if (auto* host = dynamic_cast<CWindowsControlHost*>(form.FindControl(kListHost)))
        host->SetWindow(m_native.get());
    for (const int32_t id : {kLoad, kSave, kAdd, kDelete, kAppend, kEdit, kFind, kInsert, kRandom})
        if (CSkinControl* button = form.FindControl(id))
            button->AddListener(this);

    CPlaylistListCtrl& view = *m_listCtrl;
    view.onDropInside = [this](int, int target) { MoveSelectedTo(target); };
    view.onDropOutside = [this](int source, QPoint globalPoint) {
        // The move is off: the source row alone is selected again, then the main window takes
        // the rows where the button came up (a deck plays them next).
        if (m_list == nullptr || source < 0 || source >= m_list->Count())
            return;
        const std::vector<int> carried = SelectedIndices();
        m_list->ClearSelection();
        m_list->SetSelected(source, true);
        m_current = source;
        m_ensureVisible = source;
        m_dialog.DropListEntries(*m_list, carried, globalPoint);
        Refresh(true);
    };
    view.onHeaderClicked = [this](int column) { OnHeaderClicked(column); };
    view.onContextMenu = [this](QPoint globalPoint) { ShowContextMenu(globalPoint); };
    view.onDoubleClick = [this](int row) { PlayRow(row); };
    view.onFilesDropped = [this](const std::vector<std::string>& paths) { OpenDropped(paths); };
    view.onKey = [this](QKeyEvent* event) { return m_dialog.PreTranslateKey(*event); };
    QItemSelectionModel* selection = view.selectionModel();
    QObject::connect(selection, &QItemSelectionModel::selectionChanged, &view,
                     [this](const QItemSelection& selected, const QItemSelection& deselected) {
                         if (m_syncing || m_list == nullptr)
                             return;
                         for (const QModelIndex& index : deselected.indexes())
                             if (index.column() == 0 && index.row() < m_list->Count())
                                 m_list->SetSelected(index.row(), false);
                         for (const QModelIndex& index : selected.indexes())
                             if (index.column() == 0 && index.row() < m_list->Count())
                                 m_list->SetSelected(index.row(), true);
                     });
    QObject::connect(selection, &QItemSelectionModel::currentRowChanged, &view,
                     [this](const QModelIndex& current, const QModelIndex&) {
                         if (!m_syncing)
                             m_current = current.isValid() ? current.row() : -1;
                     });
}

CPlaylistPanel::~CPlaylistPanel()
{
    for (size_t i = 0; i < m_form.ControlCount(); ++i)
        m_form.ControlAt(i)->RemoveListener(this);
    if (auto* host = dynamic_cast<CWindowsControlHost*>(m_form.FindControl(kListHost)))
        host->SetWindow(nullptr);
}

void CPlaylistPanel::ShowList(CPlaylist* list, bool timeLine)
{
    if (list == m_list && timeLine == m_showsTimeLine)
        return;
    m_list = list;
    m_showsTimeLine = timeLine;
    m_current = list != nullptr ? list->FirstSelected() : -1;
    m_ensureVisible = m_current;
    m_sortColumn = -1;
    m_listCtrl->Model().SetList(list);
    Refresh(true);
}

// ---- Refresh --------------------------------------------------------------------------------

void CPlaylistPanel::UpdateButtons(bool force)
{
    const int mode = m_app.Core().PlaybackModeValue();
    const int shown = m_showsTimeLine ? 0 : 1;
    if (!force && mode == m_lastMode && shown == m_shownTimeLineFlag)
        return;
    m_lastMode = mode;
    m_shownTimeLineFlag = shown;
    // A mix plays its own list: nothing is added to it or taken from it while it plays; the
    // Time Line's buttons make sense only for a case.
    const bool automix = mode != CPlayerCore::kDjMix;
    for (const int32_t id : {kAdd, kDelete})
        if (CSkinControl* button = m_form.FindControl(id))
            button->SetEnabled(automix);
    for (const int32_t id : {kAppend, kInsert, kRandom})
        if (CSkinControl* button = m_form.FindControl(id))
            button->SetEnabled(automix && !m_showsTimeLine);
}

void CPlaylistPanel::Refresh(bool force)
{
    if (m_refreshing)
        return;
    m_refreshing = true;
    UpdateButtons(force);
    CPlaylistListModel& model = m_listCtrl->Model();
    if (m_list == nullptr) {
        model.SyncRows();
        m_refreshing = false;
        return;
    }
    CPlaylist& list = *m_list;
    const bool rowsChanged = model.SyncRows();
    if (rowsChanged && m_current >= list.Count())
        m_current = -1;
    if (m_current < 0 || m_current >= list.Count() || !list.Entry(m_current).selected)
        m_current = list.FirstSelected();
    const CAudioEngine& engine = m_app.Core().Engine();
    const int loadedA = engine.LoadedEntry(0);
    const int loadedB = engine.LoadedEntry(1);
    QItemSelectionModel* selection = m_listCtrl->selectionModel();
    m_syncing = true;
    for (int row = 0; row < list.Count(); ++row) {
        TrackEntry& entry = list.Entry(row);
        uint8_t word = 0;
        if (entry.id == loadedA)
            word |= CPlaylistListModel::kInDeckA;
        if (entry.id == loadedB)
            word |= CPlaylistListModel::kInDeckB;
        if (!entry.exists)
            word |= CPlaylistListModel::kMissing;
        const bool repainted = model.SetWord(row, word);
        if ((entry.changed || force) && !repainted)
            model.RowChanged(row);
        entry.changed = false;
        if (selection->isRowSelected(row, {}) != entry.selected)
            selection->select(model.index(row, 0),
                              (entry.selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect) |
                                  QItemSelectionModel::Rows);
    }
    const QModelIndex focused = m_current >= 0 ? model.index(m_current, 0) : QModelIndex();
    if (selection->currentIndex().row() != (m_current >= 0 ? m_current : -1))
        selection->setCurrentIndex(focused, QItemSelectionModel::NoUpdate);
    m_syncing = false;
    if (m_current >= 0)
        list.SetCurrentIndex(m_current);
    if (m_ensureVisible >= 0 && m_ensureVisible < list.Count()) {
        if (m_ensureVisible > 0)
            m_listCtrl->scrollTo(model.index(m_ensureVisible - 1, 0));
        m_listCtrl->scrollTo(model.index(m_ensureVisible, 0));
    }
    m_ensureVisible = -1;
    m_refreshing = false;
}

// ---- Buttons and menus ----------------------------------------------------------------------

void CPlaylistPanel::OnControlEvent(const CSkinEvent& event, int32_t controlId)
{
    using namespace SkinEventKind;
    const CSkinEvent* mouse = event.source;
    const bool press =
        event.kind == SwitchChanged && mouse != nullptr && mouse->kind == MouseButton && mouse->down;
    if (!press || m_list == nullptr)
        return;
    switch (controlId) {
    case kLoad:
        m_dialog.LoadListOrMix(false);
        break;
    case kSave:
        m_dialog.SaveCurrentList();
        break;
    case kAdd:
        PopupButtonMenu(kAdd, StringId::MenuTrackAddFiles, StringId::MenuTrackAddDirectory);
        break;
    case kDelete:
        PopupButtonMenu(kDelete, StringId::MenuDeleteSelected, StringId::MenuClearAll);
        break;
    case kAppend:
        AppendToTimeLine();
        break;
    case kEdit:
        Edit();
        break;
    case kFind:
        Find();
        break;
    case kInsert:
        InsertIntoTimeLine();
        break;
    case kRandom:
        InsertRandomlyIntoTimeLine();
        break;
    default:
        break;
    }
    Refresh(true);
}

void CPlaylistPanel::PopupButtonMenu(int32_t button, int32_t firstString, int32_t secondString)
{
    const CSkinControl* control = m_form.FindControl(button);
    if (control == nullptr)
        return;
    QMenu menu(m_listCtrl->window());
    for (const int32_t id : {firstString, secondString})
        menu.addAction(Text(id))->setObjectName(QString::number(id));
    const SkinRect r = control->GetRect();
    const QPoint at = m_dialog.FormPointToGlobal(m_form, QPoint(r.left, r.bottom));
    const QAction* chosen = m_dialog.RunMenu(menu, at);
    if (chosen == nullptr)
        return;
    const int32_t id = chosen->objectName().toInt();
    if (id == StringId::MenuTrackAddFiles)
        m_dialog.AddFiles();
    else if (id == StringId::MenuTrackAddDirectory)
        m_dialog.AddDirectory();
    else if (id == StringId::MenuDeleteSelected)
        m_dialog.DeleteSelected();
    else if (id == StringId::MenuClearAll)
        m_dialog.ClearCurrentList();
    if (id == StringId::MenuDeleteSelected || id == StringId::MenuClearAll) {
        m_current = -1;
        m_ensureVisible = -1;
        if (m_list != nullptr)
            m_list->ClearSelection();
    }
}

void CPlaylistPanel::ShowContextMenu(QPoint globalPoint)
{
    if (m_list == nullptr)
        return;
    int selected = 0;
    for (int i = m_list->FirstSelected(); i >= 0 && selected < 2; i = m_list->NextSelected(i))
        ++selected;
    QMenu menu(m_listCtrl->window());
    std::vector<int32_t> ids;
    if (selected > 1)
        ids = {StringId::MenuSortByTitle, StringId::MenuSortByArtist, StringId::MenuSortByAlbum,
               StringId::MenuSortByFileName, StringId::MenuSortByBpm};
    for (const int32_t id : {StringId::MenuJumpToPlaying, StringId::MenuJumpToNextPlaying,
                             StringId::MenuSearchEntry, StringId::MenuEdit, StringId::MenuAnalyse})
        ids.push_back(id);
    for (const int32_t id : ids) {
        if (id == StringId::MenuJumpToPlaying && selected > 1)
            menu.addSeparator();
        menu.addAction(Text(id))->setObjectName(QString::number(id));
    }
    const QAction* chosen = m_dialog.RunMenu(menu, globalPoint);
    if (chosen == nullptr)
        return;
    switch (chosen->objectName().toInt()) {
    case StringId::MenuSortByTitle:
        SortShown(ListSort::Key::Title, true, true);
        break;
    case StringId::MenuSortByArtist:
        SortShown(ListSort::Key::Artist, true, true);
        break;
    case StringId::MenuSortByAlbum:
        SortShown(ListSort::Key::AlbumThenTrack, true, true);
        break;
    case StringId::MenuSortByFileName:
        SortShown(ListSort::Key::Location, true, true);
        break;
    case StringId::MenuSortByBpm:
        SortShown(ListSort::Key::Tempo, true, true);
        break;
    case StringId::MenuJumpToPlaying:
        JumpToPlaying(false);
        break;
    case StringId::MenuJumpToNextPlaying:
        JumpToPlaying(true);
        break;
    case StringId::MenuSearchEntry:
        Find();
        break;
    case StringId::MenuEdit:
        Edit();
        break;
    case StringId::MenuAnalyse:
        if (m_app.Analysis() != nullptr)
            m_app.Analysis()->QueueSelected(*m_list);
        break;
    default:
        break;
    }
    Refresh(true);
}

void CPlaylistPanel::JumpToPlaying(bool next)
{
    // The entry of the Time Line's current (or following) item, where the shown list holds it.
    const CTimeLine& timeLine = m_app.Core().TimeLine();
    const TimeLineItem* item = timeLine.Item(timeLine.CurrentIndex() + (next ? 1 : 0));
    if (item == nullptr || m_list == nullptr)
        return;
    const int index = m_list->IndexOfId(item->track);
    if (index < 0)
        return;
    m_list->ClearSelection();
    m_list->SetSelected(index, true);
    m_current = index;
    m_ensureVisible = index;
}

// ---- Find and edit --------------------------------------------------------------------------

void CPlaylistPanel::Find()
{
    if (m_list == nullptr)
        return;
    int current = m_current;
    m_dialog.RunModal([&] { FindEntry(m_listCtrl->window(), *m_list, current, m_find); });
    m_current = current;
    m_ensureVisible = current;
    Refresh(true);
}

void CPlaylistPanel::FindNext()
{
    if (m_list == nullptr)
        return;
    int current = m_current;
    if (ListFind::FindNextEntry(*m_list, current, m_find) >= 0) {
        m_current = current;
        m_ensureVisible = current;
    }
    Refresh(true);
}

void CPlaylistPanel::Edit()
{
    if (m_list == nullptr || m_list->FirstSelected() < 0)
        return;
    m_dialog.RunModal([&] {
        m_app.SetBusy(m_showsTimeLine);
        EditSelection(m_listCtrl->window(), *m_list);
        m_app.SetBusy(false);
    });
    if (m_showsTimeLine)
        m_app.Core().Publish();
    Refresh(true);
}

// ---- Order ----------------------------------------------------------------------------------

std::vector<int> CPlaylistPanel::SelectedIndices() const
{
    std::vector<int> indices;
    if (m_list == nullptr)
        return indices;
    for (int i = m_list->FirstSelected(); i >= 0; i = m_list->NextSelected(i))
        indices.push_back(i);
    return indices;
}

void CPlaylistPanel::ApplyMoves(const std::vector<std::pair<int, int>>& moves)
{
    if (moves.empty() || m_list == nullptr)
        return;
    CPlayerCore& core = m_app.Core();
    m_app.SetBusy(m_showsTimeLine);
    for (const auto& [from, to] : moves) {
        if (m_showsTimeLine)
            core.MoveInList(from, to);
        else
            m_list->Move(from, to);
    }
    if (m_showsTimeLine)
        core.Publish();
    m_app.SetBusy(false);
}

void CPlaylistPanel::SelectRows(int first, int count)
{
    m_list->ClearSelection();
    for (int i = first; i < first + count && i < m_list->Count(); ++i)
        m_list->SetSelected(i, true);
    m_current = count > 0 ? first : -1;
    // The row two below the first, or the last moved one for fewer than three.
    m_ensureVisible = count >= 3 ? first + 2 : first + count - 1;
}

void CPlaylistPanel::OnHeaderClicked(int column)
{
    // The first click on a column sorts up; clicking it again turns the order round.
    m_sortAscending = column == m_sortColumn ? !m_sortAscending : true;
    m_sortColumn = column;
    SortShown(ListSort::KeyOfColumn(column), m_sortAscending, false);
}

void CPlaylistPanel::SortShown(ListSort::Key key, bool ascending, bool selectedOnly)
{
    if (m_list == nullptr)
        return;
    std::vector<int> indices;
    if (selectedOnly) {
        indices = SelectedIndices();
    } else {
        indices.resize(static_cast<size_t>(m_list->Count()));
        for (int i = 0; i < m_list->Count(); ++i)
            indices[static_cast<size_t>(i)] = i;
    }
    if (indices.size() < 2)
        return;
    const int start = indices.front();
    const std::vector<int> sorted = ListSort::Sorted(*m_list, indices, key, ascending);
    ApplyMoves(ListSort::MovesToGather(*m_list, sorted, start));
    if (selectedOnly) {
        m_current = start;
        m_ensureVisible = start;
    }
    Refresh(true);
}

void CPlaylistPanel::MoveSelectedTo(int target)
{
    if (m_list == nullptr || target < 0 || target >= m_list->Count())
        return;
    // Every selected entry but the target goes to the target's place, in their order; the
    // target itself stays where the others are put around it.
    std::vector<int32_t> ids;
    for (const int i : SelectedIndices())
        if (i != target)
            ids.push_back(m_list->Entry(i).id);
    if (ids.empty())
        return;
    int to = target;
    for (const int32_t id : ids) {
        const int from = m_list->IndexOfId(id);
        const int place = from < to ? to - 1 : to;
        if (from != place)
            ApplyMoves({{from, place}});
        to = place + 1;
    }
    const int first = m_list->IndexOfId(ids.front());
    SelectRows(first, static_cast<int>(ids.size()));
    Refresh(true);
}

// ---- The Time Line --------------------------------------------------------------------------

void CPlaylistPanel::CopyIntoTimeLine(const std::vector<int>& indices, int position)
{
    CPlayerCore& core = m_app.Core();
    CPlaylist& timeLineList = core.List();
    if (m_list == nullptr || m_list == &timeLineList || indices.empty())
        return;
    m_app.SetBusy(true);
    int at = position;
    for (const int index : indices) {
        const int added = timeLineList.AddCopy(m_list->Entry(index));
        if (added < 0)
            break;
        if (at >= 0) {
            const int to = std::clamp(at, 0, timeLineList.Count() - 1);
            if (added != to)
                core.MoveInList(added, to);
            at = to + 1;
        }
    }
    core.Publish();
    m_app.SetBusy(false);
}

void CPlaylistPanel::AppendToTimeLine()
{
    CopyIntoTimeLine(SelectedIndices(), -1);
}

void CPlaylistPanel::InsertIntoTimeLine()
{
    CopyIntoTimeLine(SelectedIndices(), m_app.Core().TimeLine().CurrentIndex() + 1);
}

void CPlaylistPanel::InsertRandomlyIntoTimeLine()
{
    CPlayerCore& core = m_app.Core();
    if (m_list == nullptr || m_list == &core.List())
        return;
    for (const int index : SelectedIndices()) {
        // n is taken anew for each entry: the Time Line grows with each insertion.
        const int playing = core.TimeLine().CurrentIndex();
        const int n = core.List().Count() - playing - 2;
        const int r = static_cast<int>(m_random() % 32768u);
        const int position = n <= 0 ? playing + 1 : playing + 1 + static_cast<int>(int64_t{r} * n / 32767);
        CopyIntoTimeLine({index}, position);
    }
}

void CPlaylistPanel::PlayRow(int row)
{
    CPlayerCore& core = m_app.Core();
    if (m_list == nullptr || row < 0 || row >= m_list->Count())
        return;
    if (m_showsTimeLine) {
        int index = -1;
        if (core.TimeLine().FindTrack(m_list->Entry(row).id, index))
            core.Automix().JumpTo(index);
        return;
    }
    const int position = core.TimeLine().CurrentIndex() + 1;
    const int before = core.List().Count();
    CopyIntoTimeLine(SelectedIndices(), position);
    if (core.List().Count() > before)
        core.Automix().JumpTo(std::clamp(position, 0, core.List().Count() - 1));
}

// ---- Drops ----------------------------------------------------------------------------------

void CPlaylistPanel::OpenDropped(const std::vector<std::string>& paths)
{
    m_dialog.OpenDroppedOnList(paths);
}

void CPlaylistPanel::SelectAdded(int firstIndex)
{
    if (m_list == nullptr || firstIndex < 0 || firstIndex >= m_list->Count())
        return;
    SelectRows(firstIndex, m_list->Count() - firstIndex);
    Refresh(true);
}
