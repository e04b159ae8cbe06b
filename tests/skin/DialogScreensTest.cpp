// Screenshots of every dialog for review, written to <build>/screens/: the setup sheet's four
// pages (in English and German), the about window, Play CD, Playlist & Mix Info, and the list
// window's Find Entry, Edit Entry (also in German) and Edit Group. Each is also checked for cut
// texts.
#include "AboutDialog.h"
#include "ControlClassTable.h"
#include "DialogTestKit.h"
#include "EditEntryDialog.h"
#include "EditGroupDialog.h"
#include "FindEntryDialog.h"
#include "ListFind.h"
#include "MixInfoDialog.h"
#include "PictureManager.h"
#include "PlayCdDialog.h"
#include "Playlist.h"
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
    SetupControllers controllers;
    controllers.devices = {{"Deckstar Mini:out 129:0", "generic-two-deck", true},
                           {"Aurelle Twin:controller 130:0", "aurelle-twin", false}};
    controllers.mappings = {"aurelle-twin", "generic-two-deck"};
    controllers.problems = {"/home/dj/.local/share/Kelmaric/Quandel Player/mappings/aurelle-twin.midimap:7: "
                            "unknown control id 999"};
    CSetupSheet sheet(settings, devices, {'D', 'E'}, nullptr, &controllers);
    Show(&sheet);
    const char* names[] = {"setup-audio.png", "setup-preferences.png", "setup-file-types.png",
                           "setup-controllers.png"};
    for (int page = 0; page < 4; ++page) {
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
    SetupControllers controllers;
    controllers.devices = {{"Deckstar Mini:out 129:0", "generic-two-deck", true}};
    controllers.mappings = {"generic-two-deck"};
    CSetupSheet sheet(settings, {{"ALSA-Standardgerät", 0}}, {'D'}, nullptr, &controllers);
    CStringTable::Program().SetLanguage(CStringTable::Language::English);
    Show(&sheet);
    const char* names[] = {"setup-audio-de.png", "setup-preferences-de.png", "setup-file-types-de.png",
                           "setup-controllers-de.png"};
    for (int page = 0; page < 4; ++page) {
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

// A case as the list window shows it: artists and albums for the find dialog's drop-downs,
// two entries of one album selected for the group edit.
void FillCase(CPlaylist& list)
{
    const char* tracks[][4] = {
        {"Porcelain Sky", "Mobius Reed", "Playa Nights",
         "/home/dj/Music/Mobius Reed/Playa Nights/05 Porcelain Sky.mp3"},
        {"Natural Tides", "Mobius Reed", "Playa Nights",
         "/home/dj/Music/Mobius Reed/Playa Nights/03 Natural Tides.mp3"},
        {"Caf\xC3\xA9 Lumi\xC3\xA8re", "\xC3\x89lise Marnay", "Nuit Blanche",
         "/home/dj/Music/\xC3\x89lise Marnay/Cafe Lumiere.mp3"},
        {"J\xC3\xB3ga", "Bj\xC3\xB6rk", "Homogenic", "/home/dj/Music/Bjork/Homogenic/02 Joga.mp3"},
    };
    for (const auto& [title, artist, album, location] : tracks) {
        TrackEntry entry;
        entry.title = title;
        entry.artist = artist;
        entry.album = album;
        entry.location = location;
        entry.genre = 18;
        entry.comment = "Warm-up set";
        list.AddCopy(entry);
    }
    list.SetSelected(0, true);
    list.SetSelected(1, true);
}

TEST(DialogScreens, FindEntry)
{
    CPlaylist list;
    FillCase(list);
    int current = 0;
    ListFindState state{"", "", "Mobius Reed", ""};
    CFindEntryDialog dialog(list, current, state);
    Show(&dialog);
    Save(&dialog, "find-entry.png");
}

TEST(DialogScreens, EditEntry)
{
    CPlaylist list;
    FillCase(list);
    list.Entry(0).trackNumber = 5;
    CEditEntryDialog english(list.Entry(0));
    Show(&english);
    Save(&english, "edit-entry.png");

    CStringTable::Program().SetLanguage(CStringTable::Language::German);
    CEditEntryDialog german(list.Entry(2));
    CStringTable::Program().SetLanguage(CStringTable::Language::English);
    Show(&german);
    Save(&german, "edit-entry-de.png");
}

TEST(DialogScreens, EditGroup)
{
    CPlaylist list;
    FillCase(list);
    CEditGroupDialog dialog(list);
    Show(&dialog);
    Save(&dialog, "edit-group.png");
}

} // namespace
