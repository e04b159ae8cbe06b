#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

class QCheckBox;
struct PlayerSettings;

// The setup sheet's "File Types" page (dialog 194): seven check boxes, each bound to the
// registration setting it names, in page order .QZL (1192), .QZX (1193), .M3U (1194),
// .WAV (1190), .MP3 (1189), .CDA (1188) and Audio-CD autoplay (1191).
class CFileTypesPage : public QWidget {
public:
    static constexpr size_t kBoxes = 7;

    explicit CFileTypesPage(QWidget* parent = nullptr);

    void Load(const PlayerSettings& settings);
    void Store(PlayerSettings& settings) const;

private:
    std::array<QCheckBox*, kBoxes> m_boxes{}; // children of the page, in page order
};
