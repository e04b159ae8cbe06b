#pragma once

#include <QFont>
#include <QStyledItemDelegate>

class QAbstractItemView;

// Paints the list window's rows: a row background by what the entry is (loaded in a deck,
// missing, selected or focused), a separator line at the bottom, and each cell's text from 6
// pixels into its column, bottom aligned, in italics for a missing file.
class CPlaylistRowDelegate : public QStyledItemDelegate {
public:
    // 0x00RRGGBB.
    static constexpr uint32_t kBackground = 0x00004C42;
    static constexpr uint32_t kBackgroundSelected = 0x00165B6C;
    static constexpr uint32_t kText = 0x009EDEE6;
    static constexpr uint32_t kInDeckBackground = 0x0088CFD8;
    static constexpr uint32_t kInDeckBackgroundSelected = 0x009EDEE6;
    static constexpr uint32_t kInDeckText = 0x00004C42;
    static constexpr uint32_t kMissingText = 0x00FFA800;
    static constexpr uint32_t kSeparator = 0x004A909A;
    static constexpr int kRowHeight = 16; // pixels, the separator line included

    // The view outlives the delegate (it is the delegate's parent).
    explicit CPlaylistRowDelegate(QAbstractItemView& view);

    // Background and text of a row with this item-data word, selected (or focused) or not.
    static void RowColours(int word, bool selected, uint32_t& background, uint32_t& text);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

private:
    QAbstractItemView& m_view;
    QFont m_normal;
    QFont m_italic;
};
