#pragma once

#include "AudioPage.h"
#include "ControllersPage.h"

#include <QDialog>

#include <vector>

class CFileTypesPage;
class CPreferencesPage;
class QTabWidget;
struct PlayerSettings;

// The setup property sheet: caption "Setup" (string 111), the pages Audio, Preferences,
// File Types and, when the caller has DJ controllers to show, Controllers in that order, OK (object name "1")
// and Cancel ("2"), no Apply and no Help. The pages exchange with a settings record the caller gives;
// accept() stores every page into it before the sheet closes, reject() leaves it alone.
class CSetupSheet : public QDialog {
public:
    // settings outlives the sheet; it is read now and written only on accept().
    // controllers, when given, outlives the sheet and is written on accept() as settings is.
    CSetupSheet(PlayerSettings& settings, const std::vector<SetupDevice>& devices,
                const std::vector<char>& cdDrives, QWidget* parent = nullptr,
                SetupControllers* controllers = nullptr);

    void accept() override;

    QTabWidget* Tabs() const { return m_tabs; }

private:
    PlayerSettings& m_settings;
    QTabWidget* m_tabs = nullptr; // children of the sheet
    CAudioPage* m_audio = nullptr;
    CPreferencesPage* m_preferences = nullptr;
    CFileTypesPage* m_fileTypes = nullptr;
    CControllersPage* m_controllersPage = nullptr; // null without controllers
    SetupControllers* m_controllers = nullptr;
};

// Shows the sheet modally over a copy of the settings. 1 for OK: settings becomes the edited
// copy (outputChanged set by the Audio page); 0 for Cancel: settings is untouched.
// controllers (may be null) is written only on OK, as settings is.
int RunSetup(QWidget* parent, PlayerSettings& settings, const std::vector<SetupDevice>& devices,
             const std::vector<char>& cdDrives, SetupControllers* controllers = nullptr);
