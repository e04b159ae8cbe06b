#include "FileTypesPage.h"

#include "DialogText.h"
#include "PlayerSettings.h"
#include "StringIds.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace {

// Bound by name, not by position: the page lists .WAV before .MP3, the settings the other way.
struct FileTypeBox {
    const char* controlId;
    int32_t PlayerSettings::*setting;
};
constexpr std::array<FileTypeBox, CFileTypesPage::kBoxes> kTable = {{
    {"1192", &PlayerSettings::registerQzl},
    {"1193", &PlayerSettings::registerQzx},
    {"1194", &PlayerSettings::registerM3u},
    {"1190", &PlayerSettings::registerWav},
    {"1189", &PlayerSettings::registerMp3},
    {"1188", &PlayerSettings::registerCda},
    {"1191", &PlayerSettings::registerAudioCd},
}};

} // namespace

CFileTypesPage::CFileTypesPage(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("194"));
    auto* group = new QGroupBox(DialogText(StringId::FileTypesGroup));
    auto* boxes = new QVBoxLayout(group);
    boxes->addWidget(new QLabel(DialogText(StringId::FileTypesNote)));
    boxes->addSpacing(4);
    for (size_t i = 0; i < kBoxes; ++i) {
        m_boxes[i] = new QCheckBox(DialogText(StringId::FirstFileType + static_cast<int32_t>(i)));
        m_boxes[i]->setObjectName(QString::fromLatin1(kTable[i].controlId));
        boxes->addWidget(m_boxes[i]);
    }
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addStretch(1);
}

void CFileTypesPage::Load(const PlayerSettings& settings)
{
    for (size_t i = 0; i < kBoxes; ++i)
        m_boxes[i]->setChecked(settings.*kTable[i].setting != 0);
}

void CFileTypesPage::Store(PlayerSettings& settings) const
{
    for (size_t i = 0; i < kBoxes; ++i)
        settings.*kTable[i].setting = m_boxes[i]->isChecked() ? 1 : 0;
}
