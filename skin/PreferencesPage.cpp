#include "PreferencesPage.h"

#include "DialogText.h"
#include "PlayerSettings.h"
#include "StringIds.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cctype>

namespace {

QCheckBox* Box(const char* controlId, int32_t textId)
{
    auto* box = new QCheckBox(DialogText(textId));
    box->setObjectName(QString::fromLatin1(controlId));
    return box;
}

QGroupBox* Group(int32_t textId, QWidget* content)
{
    auto* group = new QGroupBox(DialogText(textId));
    auto* layout = new QVBoxLayout(group);
    layout->addWidget(content);
    return group;
}

char Upper(char letter)
{
    return static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
}

} // namespace

CPreferencesPage::CPreferencesPage(const std::vector<char>& cdDrives, QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("145"));
    m_toolTips = Box("1073", StringId::PreferencesToolTips);
    m_fixedBlocks = Box("1052", StringId::PreferencesFixedBlocks);
    m_subDirectories = Box("1051", StringId::PreferencesSubDirectories);
    m_skipSilence = Box("1095", StringId::PreferencesSkipSilence);
    m_levelTracks = Box("1096", StringId::PreferencesLevelTracks);

    m_cdDrive = new QComboBox;
    m_cdDrive->setObjectName(QStringLiteral("1187"));
    for (const char letter : cdDrives)
        m_cdDrive->addItem(QString(QLatin1Char(Upper(letter))) + QLatin1Char(':'));

    auto* player = new QWidget;
    auto* playerRow = new QHBoxLayout(player);
    playerRow->setContentsMargins(0, 0, 0, 0);
    auto* driveLabel = new QLabel(DialogText(StringId::PreferencesCdDrive));
    driveLabel->setBuddy(m_cdDrive);
    playerRow->addWidget(driveLabel);
    playerRow->addWidget(m_cdDrive);
    playerRow->addStretch(1);

    auto* automix = new QWidget;
    auto* automixColumn = new QVBoxLayout(automix);
    automixColumn->setContentsMargins(0, 0, 0, 0);
    automixColumn->addWidget(m_skipSilence);
    automixColumn->addWidget(m_levelTracks);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Group(StringId::PreferencesGeneral, m_toolTips));
    layout->addWidget(Group(StringId::PreferencesPlayer, player));
    layout->addWidget(Group(StringId::PreferencesTimeLine, m_fixedBlocks));
    layout->addWidget(Group(StringId::PreferencesAutomix, automix));
    layout->addWidget(Group(StringId::PreferencesPlaylist, m_subDirectories));
    layout->addStretch(1);
}

void CPreferencesPage::Load(const PlayerSettings& settings)
{
    m_toolTips->setChecked(settings.toolTips != 0);
    m_fixedBlocks->setChecked(settings.timeLineModeFixed != 0);
    m_subDirectories->setChecked(settings.playlistRecDirAdd != 0);
    m_skipSilence->setChecked(settings.automixSkipSilence != 0);
    m_levelTracks->setChecked(settings.automixLevelTracks != 0);
    int selected = -1;
    for (int i = 0; i < m_cdDrive->count(); ++i) {
        if (settings.driveAudioCd != 0 &&
            m_cdDrive->itemText(i).at(0) == QLatin1Char(Upper(settings.driveAudioCd))) {
            selected = i;
            break;
        }
    }
    m_cdDrive->setCurrentIndex(selected);
}

void CPreferencesPage::Store(PlayerSettings& settings) const
{
    settings.toolTips = m_toolTips->isChecked() ? 1 : 0;
    settings.timeLineModeFixed = m_fixedBlocks->isChecked() ? 1 : 0;
    settings.playlistRecDirAdd = m_subDirectories->isChecked() ? 1 : 0;
    settings.automixSkipSilence = m_skipSilence->isChecked() ? 1 : 0;
    settings.automixLevelTracks = m_levelTracks->isChecked() ? 1 : 0;
    if (m_cdDrive->currentIndex() >= 0)
        settings.driveAudioCd = m_cdDrive->currentText().at(0).toLatin1();
}
