#include "SetupSheet.h"

#include "DialogText.h"
#include "FileTypesPage.h"
#include "PlayerSettings.h"
#include "PreferencesPage.h"
#include "StringIds.h"

#include <QDialogButtonBox>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

CSetupSheet::CSetupSheet(PlayerSettings& settings, const std::vector<SetupDevice>& devices,
                         const std::vector<char>& cdDrives, QWidget* parent, SetupControllers* controllers)
    : QDialog(parent), m_settings(settings), m_controllers(controllers)
{
    setWindowTitle(DialogText(StringId::SetupCaption));
    m_audio = new CAudioPage(devices);
    m_preferences = new CPreferencesPage(cdDrives);
    m_fileTypes = new CFileTypesPage;
    m_audio->Load(settings);
    m_preferences->Load(settings);
    m_fileTypes->Load(settings);

    m_tabs = new QTabWidget;
    m_tabs->addTab(m_audio, DialogText(StringId::AudioTitle));
    m_tabs->addTab(m_preferences, DialogText(StringId::PreferencesTitle));
    m_tabs->addTab(m_fileTypes, DialogText(StringId::FileTypesTitle));
    if (controllers != nullptr) {
        m_controllersPage = new CControllersPage(*controllers);
        m_tabs->addTab(m_controllersPage, DialogText(StringId::ControllersTitle));
    }

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton(DialogText(StringId::SetupOk), QDialogButtonBox::AcceptRole);
    ok->setObjectName(QString::fromLatin1(kOkButtonName));
    ok->setDefault(true);
    buttons->addButton(DialogText(StringId::SetupCancel), QDialogButtonBox::RejectRole)
        ->setObjectName(QString::fromLatin1(kCancelButtonName));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_tabs);
    layout->addWidget(buttons);
    // The pages' wrapped notes and long device names decide the size; the user cannot make
    // the sheet so small that they are cut.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void CSetupSheet::accept()
{
    m_audio->Store(m_settings);
    m_preferences->Store(m_settings);
    m_fileTypes->Store(m_settings);
    if (m_controllersPage != nullptr)
        m_controllersPage->Store(*m_controllers);
    QDialog::accept();
}

int RunSetup(QWidget* parent, PlayerSettings& settings, const std::vector<SetupDevice>& devices,
             const std::vector<char>& cdDrives, SetupControllers* controllers)
{
    PlayerSettings edited = settings;
    SetupControllers editedControllers = controllers != nullptr ? *controllers : SetupControllers();
    CSetupSheet sheet(edited, devices, cdDrives, parent,
                      controllers != nullptr ? &editedControllers : nullptr);
    if (sheet.exec() != QDialog::Accepted)
        return 0;
    settings = edited;
    if (controllers != nullptr)
        *controllers = editedControllers;
    return 1;
}
