#pragma once

#include "PlaylistListModel.h"

#include <QPoint>
#include <QTreeView>

#include <functional>
#include <string>
#include <vector>

class CPlaylistRowDelegate;

// The list window's report view: eight reorderable columns over the shown list, owner-painted
// rows, an extended selection that always shows, and its own drag of rows: dropped inside it
// moves them, carried out of it hands them to the main window.
//
// Threads: the user-interface thread.
class CPlaylistListCtrl : public QTreeView {
public:
    explicit CPlaylistListCtrl(QWidget* parent);

    CPlaylistListModel& Model() { return m_model; }
    int DragSource() const { return m_dragSource; }

    // What the control tells its panel; each may be left unset.
    std::function<void(int source, int target)> onDropInside;
    // A drag left the list; the release then came at a screen point.
    std::function<void(int source, QPoint globalPoint)> onDropOutside;
    std::function<void(int column)> onHeaderClicked;
    std::function<void(QPoint globalPoint)> onContextMenu;
    std::function<void(int row)> onDoubleClick;
    std::function<void(const std::vector<std::string>& paths)> onFilesDropped;
    // A key the list did not take for itself (the main window's keys); true when used.
    std::function<bool(QKeyEvent* event)> onKey;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    enum class Drag { None, Armed, Inside, Outside };

    void EndDrag();
    void HoverRow(int row);

    CPlaylistListModel m_model;
    CPlaylistRowDelegate* m_delegate = nullptr; // a child of this view
    Drag m_drag = Drag::None;
    int m_dragSource = -1; // row; -1 none
    int m_hoverRow = -1;
    QPoint m_pressPoint;
};
