// Screenshots of every dialog for review, written to <build>/screens/: the setup sheet's three
// pages (in English and German), the about window, Play CD and Playlist & Mix Info. Each is also checked for
// cut texts.
#include "AboutDialog.h"
#include "ControlClassTable.h"
#include "DialogTestKit.h"
#include "MixInfoDialog.h"
#include "PictureManager.h"
#include "PlayCdDialog.h"
#include "ResourceTable.h"
#include "SetupSheet.h"
#include "SkinForm.h"
#include "StringTable.h"

#include <QDir>
#include <QImage>
#include <QTabWidget>

#include <string>

using namespace dialogtest;

namespace {

void Save(QWidget* dialog, const char* name)
{
    const QString folder = QString::fromUtf8(QUANDEL_SCREENS_DIR);
    ASSERT_TRUE(QDir().mkpath(folder));
    const QImage image = dialog->grab().toImage();
    ASSERT_FALSE(image.isNull());
    const QString path = folder + QLatin1Char('/') + QString::fromLatin1(name);
    ASSERT_TRUE(image.save(path, "PNG")) << path.toStdString();
    ExpectNoClippedText(dialog);
}

TEST(DialogScreens, SetupSheetPages)
{
    PlayerSettings settings;
    settings.outputDevice = 3;
    settings.driveAudioCd = 'D';
    const std::vector<SetupDevice> devices = {{"ALSA Default Device", 0},
                                              {"ALSA: HDA Intel PCH, ALC892 Analog", 3},
                                              {"Sound Server Default Output", 256},
                                              {"JACK Audio Server", 512}};
    CSetupSheet sheet(settings, devices, {'D', 'E'});
    Show(&sheet);
    const char* names[] = {"setup-audio.png", "setup-preferences.png", "setup-file-types.png"};
    for (int page = 0; page < 3; ++page) {
        sheet.Tabs()->setCurrentIndex(page);
        QApplication::processEvents();
        Save(&sheet, names[page]);
    }
}

// German texts run longer: the same pages in German.
TEST(DialogScreens, SetupSheetPagesInGerman)
{
    CStringTable::Program().SetLanguage(CStringTable::Language::German);
    PlayerSettings settings;
    CSetupSheet sheet(settings, {{"ALSA-Standardgerät", 0}}, {'D'});
    CStringTable::Program().SetLanguage(CStringTable::Language::English);
    Show(&sheet);
    const char* names[] = {"setup-audio-de.png", "setup-preferences-de.png", "setup-file-types-de.png"};
    for (int page = 0; page < 3; ++page) {
        sheet.Tabs()->setCurrentIndex(page);
        QApplication::processEvents();
        Save(&sheet, names[page]);
    }
}

TEST(DialogScreens, About)
{
    RegisterSkinControlClasses();
    CPictureManager pictures(CResourceTable::Program());
    ASSERT_EQ(pictures.LoadMap(), 1);
    CAboutDialog dialog(pictures);
    Show(&dialog);
    ASSERT_TRUE(dialog.HasForm());
    Save(&dialog, "about.png");
}

TEST(DialogScreens, PlayCd)
{
    CPlayCdDialog dialog("Play the recorded mix \"Friday Warm-Up\"", true);
    Show(&dialog);
    Save(&dialog, "play-cd.png");
}

TEST(DialogScreens, MixInfo)
{
    CMixInfoDialog dialog("Friday Warm-Up", "Friday Warm-Up Mix",
                          "Recorded at the Harbour Club.\nSecond set, 18 tracks.");
    Show(&dialog);
    Save(&dialog, "mix-info.png");
}

} // namespace
