#include "PlaylistListModel.h"

#include "Id3v1.h"
#include "Playlist.h"

#include <array>
#include <cstdio>

namespace {

struct Column {
    const char* title;
    int width; // pixels
};

constexpr std::array<Column, CPlaylistListModel::kColumns> kColumnTable = {{{"Title", 140},
                                                                            {"Artist", 110},
                                                                            {"Time", 38},
                                                                            {"A#", 26},
                                                                            {"Album", 110},
                                                                            {"Genre", 60},
                                                                            {"Comment", 110},
                                                                            {"File", 300},
                                                                            {"BPM", 46}}};

// Tags may carry control characters; a blank stands for each, so a row stays one line.
QString Shown(const std::string& text)
{
    QString shown = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return shown;
}

} // namespace

CPlaylistListModel::CPlaylistListModel(QObject* parent) : QAbstractTableModel(parent)
{
    m_words.reserve(CPlaylist::kMaxEntries);
}

void CPlaylistListModel::SetList(CPlaylist* list)
{
    beginResetModel();
    m_list = list;
    m_rows = list != nullptr ? list->Count() : 0;
    m_words.assign(static_cast<size_t>(m_rows), 0);
    endResetModel();
}

bool CPlaylistListModel::SyncRows()
{
    const int count = m_list != nullptr ? m_list->Count() : 0;
    if (count == m_rows)
        return false;
    if (count > m_rows) {
        beginInsertRows({}, m_rows, count - 1);
        m_words.resize(static_cast<size_t>(count), 0);
        m_rows = count;
        endInsertRows();
    } else {
        beginRemoveRows({}, count, m_rows - 1);
        m_words.resize(static_cast<size_t>(count));
        m_rows = count;
        endRemoveRows();
    }
    return true;
}

bool CPlaylistListModel::SetWord(int row, uint8_t word)
{
    if (row < 0 || row >= m_rows || m_words[static_cast<size_t>(row)] == word)
        return false;
    m_words[static_cast<size_t>(row)] = word;
    RowChanged(row);
    return true;
}

uint8_t CPlaylistListModel::Word(int row) const
{
    return row >= 0 && row < m_rows ? m_words[static_cast<size_t>(row)] : 0;
}

void CPlaylistListModel::RowChanged(int row)
{
    if (row >= 0 && row < m_rows)
        emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

QString CPlaylistListModel::CellText(const TrackEntry& entry, int column)
{
    char number[16];
    switch (column) {
    case 0:
        return Shown(entry.title);
    case 1:
        return Shown(entry.artist);
    case 2:
        if (entry.playTime <= 0)
            return {};
        std::snprintf(number, sizeof number, "%02i:%02i", static_cast<int>(entry.playTime / 60),
                      static_cast<int>(entry.playTime % 60));
        return QString::fromLatin1(number);
    case 3:
        if (entry.trackNumber <= 0)
            return {};
        std::snprintf(number, sizeof number, "%02i", static_cast<int>(entry.trackNumber));
        return QString::fromLatin1(number);
    case 4:
        return Shown(entry.album);
    case 5: {
        const char* genre = CId3v1::GenreName(entry.genre);
        return genre != nullptr ? QString::fromLatin1(genre) : QString();
    }
    case 6:
        return Shown(entry.comment);
    case 7:
        return Shown(entry.location);
    case kTempoColumn:
        if (!(entry.tempo > 0.0f))
            return {};
        std::snprintf(number, sizeof number, "%.1f", static_cast<double>(entry.tempo));
        return QString::fromLatin1(number);
    default:
        return {};
    }
}

const char* CPlaylistListModel::ColumnTitle(int column)
{
    return column >= 0 && column < kColumns ? kColumnTable[static_cast<size_t>(column)].title : "";
}

int CPlaylistListModel::ColumnWidth(int column)
{
    return column >= 0 && column < kColumns ? kColumnTable[static_cast<size_t>(column)].width : 0;
}

int CPlaylistListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int CPlaylistListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : kColumns;
}

QVariant CPlaylistListModel::data(const QModelIndex& index, int role) const
{
    const int row = index.row();
    if (!index.isValid() || m_list == nullptr || row >= m_rows || row >= m_list->Count())
        return {};
    if (role == Qt::DisplayRole)
        return CellText(m_list->Entry(row), index.column());
    if (role == kWordRole)
        return static_cast<int>(m_words[static_cast<size_t>(row)]);
    return {};
}

QVariant CPlaylistListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole)
        return {};
    if (orientation == Qt::Vertical) {
        // Each row's own text: its number.
        char number[16];
        std::snprintf(number, sizeof number, "%03i", section + 1);
        return QString::fromLatin1(number);
    }
    return QString::fromLatin1(ColumnTitle(section));
}

Qt::ItemFlags CPlaylistListModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}
