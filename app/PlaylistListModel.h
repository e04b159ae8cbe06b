#pragma once

#include <QAbstractTableModel>

#include <cstdint>
#include <vector>

class CPlaylist;
struct TrackEntry;

// The rows of the list window: one per entry of the shown list, eight columns of its texts, and
// each row's item-data word (loaded in a deck, missing) for the painting. The row count follows
// the list only when SyncRows says so, so the view never asks for a row the list has lost
// between two refreshes.
//
// Threads: the user-interface thread.
class CPlaylistListModel : public QAbstractTableModel {
public:
    static constexpr int kColumns = 9;
    // The tempo's column: the last one the model has, shown after Time.
    static constexpr int kTempoColumn = 8;
    static constexpr int kTempoShownAt = 3;
    static constexpr int kWordRole = Qt::UserRole + 1;
    // Item-data word bits.
    static constexpr uint8_t kInDeckA = 0x01;
    static constexpr uint8_t kInDeckB = 0x02;
    static constexpr uint8_t kMissing = 0x08;

    explicit CPlaylistListModel(QObject* parent = nullptr);

    // The list outlives the model or is replaced before it goes; null shows nothing.
    void SetList(CPlaylist* list);
    CPlaylist* List() const { return m_list; }
    // Rows appended or taken from the end until they match the list's count; true when changed.
    bool SyncRows();
    // The row's word; when it differs from the stored one it is stored and the row repainted.
    bool SetWord(int row, uint8_t word);
    uint8_t Word(int row) const;
    // Repaints the row (its texts changed).
    void RowChanged(int row);

    // The cell text of a column, as the list shows it.
    static QString CellText(const TrackEntry& entry, int column);
    static const char* ColumnTitle(int column);
    static int ColumnWidth(int column);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    CPlaylist* m_list = nullptr;
    int m_rows = 0;
    std::vector<uint8_t> m_words; // per row, room for 999 reserved
};
