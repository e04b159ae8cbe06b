#include "PlaylistListCtrl.h"

#include "PlaylistRowDelegate.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QUrl>

CPlaylistListCtrl::CPlaylistListCtrl(QWidget* parent) : QTreeView(parent)
{
    setModel(&m_model);
    m_delegate = new CPlaylistRowDelegate(*this);
    setItemDelegate(m_delegate);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setAcceptDrops(true);
    viewport()->setAcceptDrops(true);
    setFrameShape(QFrame::NoFrame);
    setAutoScroll(false);
    QHeaderView* head = header();
    head->setSectionsMovable(true);
    head->setSectionsClickable(true);
    head->setStretchLastSection(false);
    head->setHighlightSections(false);
    head->setSortIndicatorShown(false);
    for (int column = 0; column < CPlaylistListModel::kColumns; ++column)
        head->resizeSection(column, CPlaylistListModel::ColumnWidth(column));
    head->moveSection(CPlaylistListModel::kTempoColumn, CPlaylistListModel::kTempoShownAt);
    connect(head, &QHeaderView::sectionClicked, this, [this](int column) {
        if (onHeaderClicked)
            onHeaderClicked(column);
    });
    // The rows' own colours, also below the last row and behind the header's gaps.
    QPalette colours = palette();
    const QColor background = QColor::fromRgb(CPlaylistRowDelegate::kBackground | 0xFF000000u);
    colours.setColor(QPalette::Base, background);
    colours.setColor(QPalette::Window, background);
    colours.setColor(QPalette::Text, QColor::fromRgb(CPlaylistRowDelegate::kText | 0xFF000000u));
    setPalette(colours);
    viewport()->setAutoFillBackground(true);
    // Header and scroll bars in the skin's graphite, so that nothing light glares in a dark room.
    setStyleSheet(QStringLiteral(
        "QHeaderView::section { background: #1c2024; color: #c8d0d8; border: 0; "
        "border-right: 1px solid #3a4048; padding-left: 4px; }"
        "QHeaderView { background: #1c2024; }"
        "QScrollBar { background: #1c2024; border: 0; }"
        "QScrollBar:vertical { width: 12px; } QScrollBar:horizontal { height: 12px; }"
        "QScrollBar::handle { background: #4a5560; border-radius: 3px; }"
        "QScrollBar::handle:vertical { min-height: 24px; } QScrollBar::handle:horizontal { min-width: 24px; }"
        "QScrollBar::add-line, QScrollBar::sub-line { width: 0; height: 0; }"
        "QScrollBar::add-page, QScrollBar::sub-page { background: none; }"
        "QAbstractScrollArea::corner { background: #1c2024; }"));
}

void CPlaylistListCtrl::mousePressEvent(QMouseEvent* event)
{
    QTreeView::mousePressEvent(event);
    const QModelIndex at = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && at.isValid() &&
        (event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)) == 0) {
        m_drag = Drag::Armed;
        m_dragSource = at.row();
        m_hoverRow = at.row();
        m_pressPoint = event->position().toPoint();
    } else {
        m_drag = Drag::None;
    }
}

void CPlaylistListCtrl::mouseMoveEvent(QMouseEvent* event)
{
    if (m_drag == Drag::None) {
        QTreeView::mouseMoveEvent(event);
        return;
    }
    const QPoint point = event->position().toPoint();
    if (m_drag == Drag::Armed) {
        if ((point - m_pressPoint).manhattanLength() < QApplication::startDragDistance())
            return;
        m_drag = Drag::Inside;
        viewport()->setCursor(Qt::DragMoveCursor);
    }
    if (m_drag == Drag::Inside && !viewport()->rect().contains(point)) {
        // Out of the list: the move is off, the source row is selected again, and the main
        // window gets the rows where the button comes up.
        m_drag = Drag::Outside;
        const QModelIndex source = m_model.index(m_dragSource, 0);
        selectionModel()->setCurrentIndex(source, QItemSelectionModel::NoUpdate);
        scrollTo(source);
        return;
    }
    if (m_drag == Drag::Inside)
        HoverRow(indexAt(point).row());
}

void CPlaylistListCtrl::HoverRow(int row)
{
    if (row < 0 || row == m_hoverRow)
        return;
    m_hoverRow = row;
    if (row > 0)
        scrollTo(m_model.index(row - 1, 0));
    scrollTo(m_model.index(row, 0));
    selectionModel()->setCurrentIndex(m_model.index(row, 0), QItemSelectionModel::NoUpdate);
    viewport()->update();
}

void CPlaylistListCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    const Drag drag = m_drag;
    const int source = m_dragSource;
    const QPoint point = event->position().toPoint();
    EndDrag();
    if (drag == Drag::None || drag == Drag::Armed) {
        QTreeView::mouseReleaseEvent(event);
        return;
    }
    if (drag == Drag::Outside) {
        if (onDropOutside)
            onDropOutside(source, viewport()->mapToGlobal(point));
        return;
    }
    const QModelIndex under = indexAt(point);
    const int target = under.isValid() ? under.row() : m_hoverRow;
    if (target >= 0 && onDropInside)
        onDropInside(source, target);
}

void CPlaylistListCtrl::EndDrag()
{
    if (m_drag == Drag::Inside || m_drag == Drag::Outside)
        viewport()->unsetCursor();
    m_drag = Drag::None;
}

void CPlaylistListCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    EndDrag();
    const QModelIndex at = indexAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && at.isValid() && onDoubleClick)
        onDoubleClick(at.row());
}

void CPlaylistListCtrl::contextMenuEvent(QContextMenuEvent* event)
{
    if (onContextMenu)
        onContextMenu(event->globalPos());
    event->accept();
}

void CPlaylistListCtrl::keyPressEvent(QKeyEvent* event)
{
    if (onKey && onKey(event))
        return;
    QTreeView::keyPressEvent(event);
}

void CPlaylistListCtrl::keyReleaseEvent(QKeyEvent* event)
{
    if (onKey && onKey(event))
        return;
    QTreeView::keyReleaseEvent(event);
}

void CPlaylistListCtrl::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CPlaylistListCtrl::dragMoveEvent(QDragMoveEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CPlaylistListCtrl::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        event->ignore();
        return;
    }
    std::vector<std::string> paths;
    for (const QUrl& url : event->mimeData()->urls())
        if (url.isLocalFile())
            paths.push_back(url.toLocalFile().toStdString());
    event->acceptProposedAction();
    if (!paths.empty() && onFilesDropped)
        onFilesDropped(paths);
}
