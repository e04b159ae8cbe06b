#pragma once

#include <QComboBox>

#include <cstdint>

// The drop-down of the ID3v1 genres: an empty first row for "no genre", then the 80 standard
// names in alphabetical order, each carrying its number. A genre without a name (255, or a
// number from 80 up that another tagger wrote) shows the empty row and is kept as it was while
// the user leaves the box alone.
class CGenreBox : public QComboBox {
public:
    explicit CGenreBox(QWidget* parent = nullptr);

    void SetGenre(uint8_t genre);
    // The genre last set while the shown row is still its row, else the chosen row's number
    // (255 for the empty row).
    uint8_t Genre() const;
    // Whether a row other than the one set is shown.
    bool Edited() const;

private:
    uint8_t m_genre = 255; // the genre last set
    int m_setRow = 0;      // the row it showed
};
