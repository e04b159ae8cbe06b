#include "GenreBox.h"

#include "Id3v1.h"
#include "TrackEntry.h"

#include <QStringList>

#include <algorithm>
#include <utility>
#include <vector>

CGenreBox::CGenreBox(QWidget* parent) : QComboBox(parent)
{
    std::vector<std::pair<QString, int>> genres;
    for (int genre = 0; genre < CId3v1::kGenreCount; ++genre)
        genres.emplace_back(QString::fromLatin1(CId3v1::GenreName(genre)), genre);
    std::sort(genres.begin(), genres.end(), [](const auto& a, const auto& b) {
        return QString::compare(a.first, b.first, Qt::CaseInsensitive) < 0;
    });
    addItem(QString(), int{TrackEntry::kNoGenre});
    for (const auto& [name, genre] : genres)
        addItem(name, genre);
    // Every name whole, without the list scrolling sideways.
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    setMaxVisibleItems(20);
}

void CGenreBox::SetGenre(uint8_t genre)
{
    m_genre = genre;
    const int row = genre < CId3v1::kGenreCount ? findData(int{genre}) : 0;
    m_setRow = std::max(row, 0);
    setCurrentIndex(m_setRow);
}

uint8_t CGenreBox::Genre() const
{
    if (!Edited())
        return m_genre;
    return static_cast<uint8_t>(currentData().toInt());
}

bool CGenreBox::Edited() const
{
    return currentIndex() != m_setRow;
}
