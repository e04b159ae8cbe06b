#include "PlaylistRowDelegate.h"

#include "PlaylistListModel.h"

#include <QAbstractItemView>
#include <QFontMetrics>
#include <QItemSelectionModel>
#include <QPainter>

namespace {

QColor Colour(uint32_t rgb)
{
    return QColor::fromRgb(static_cast<QRgb>(rgb | 0xFF000000u));
}

} // namespace

CPlaylistRowDelegate::CPlaylistRowDelegate(QAbstractItemView& view) : QStyledItemDelegate(&view), m_view(view)
{
    // Arial 13 pixels high counted with its internal leading, which is about 12 pixels of em:
    // "00:00" then fits the 38-pixel time column. Liberation Sans has Arial's metrics.
    m_normal.setFamilies(
        {QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    m_normal.setPixelSize(12);
    m_normal.setWeight(QFont::Normal);
    m_italic = m_normal;
    m_italic.setItalic(true);
}

void CPlaylistRowDelegate::RowColours(int word, bool selected, uint32_t& background, uint32_t& text)
{
    background = selected ? kBackgroundSelected : kBackground;
    text = kText;
    // Checked in this order, the later winning.
    if ((word & (CPlaylistListModel::kInDeckA | CPlaylistListModel::kInDeckB)) != 0) {
        background = selected ? kInDeckBackgroundSelected : kInDeckBackground;
        text = kInDeckText;
    }
    if ((word & CPlaylistListModel::kMissing) != 0)
        text = kMissingText;
}

void CPlaylistRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const
{
    const int word = index.data(CPlaylistListModel::kWordRole).toInt();
    const QItemSelectionModel* selection = m_view.selectionModel();
    const bool selected = (option.state & QStyle::State_Selected) != 0 ||
                          (selection != nullptr && selection->currentIndex().row() == index.row());
    uint32_t background = 0;
    uint32_t text = 0;
    RowColours(word, selected, background, text);
    const QRect r = option.rect;
    painter->save();
    painter->fillRect(r, Colour(kSeparator));
    painter->fillRect(r.adjusted(0, 0, 0, -1), Colour(background));
    const bool missing = (word & CPlaylistListModel::kMissing) != 0;
    painter->setFont(missing ? m_italic : m_normal);
    painter->setPen(Colour(text));
    QRect textRect(r.left() + 6, r.top(), std::max(0, r.width() - 8), r.height() - 1);
    const QString cell = index.data(Qt::DisplayRole).toString();
    const QFontMetrics metrics(painter->font());
    // A text a pixel or two too wide (a time in its narrow column) takes the column's margin
    // rather than losing its last characters to an ellipsis.
    if (metrics.horizontalAdvance(cell) <= textRect.width() + 2)
        textRect.setWidth(textRect.width() + 2);
    const QString shown = metrics.elidedText(cell, Qt::ElideRight, textRect.width());
    painter->drawText(textRect, Qt::AlignLeft | Qt::AlignBottom | Qt::TextSingleLine, shown);
    painter->restore();
}

QSize CPlaylistRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    return {QStyledItemDelegate::sizeHint(option, index).width(), kRowHeight};
}
