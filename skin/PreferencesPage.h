#pragma once

#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
struct PlayerSettings;

// The setup sheet's "Preferences" page (dialog 145): tooltips (1073), the default Audio-CD
// drive (1187, one "X:" entry per drive), fixed Time Line blocks (1052), sub-folders when
// adding folders (1051), and Automix's "Skip silence" (1095) and "Level tracks" (1096). Box
// 1055 of the resource is not on the shipped English page, and not here.
class CPreferencesPage : public QWidget {
public:
    // cdDrives: the drive letters in drive order, either case.
    explicit CPreferencesPage(const std::vector<char>& cdDrives, QWidget* parent = nullptr);

    // Shows the check boxes and selects the stored drive; a letter not in the list selects none.
    void Load(const PlayerSettings& settings);
    // Stores the check boxes, and the selected drive's letter when one is selected.
    void Store(PlayerSettings& settings) const;

private:
    QCheckBox* m_toolTips = nullptr; // children of the page
    QComboBox* m_cdDrive = nullptr;
    QCheckBox* m_fixedBlocks = nullptr;
    QCheckBox* m_subDirectories = nullptr;
    QCheckBox* m_skipSilence = nullptr;
    QCheckBox* m_levelTracks = nullptr;
};
