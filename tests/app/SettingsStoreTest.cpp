#include "SettingsStore.h"

#include "ControlTable.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string ReadAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

TEST(SettingsStore, AnEmptyFileKeepsEveryDefaultAndTheFirstStartCountsOne)
{
    CTempDir dir;
    const CSettingsStore store(dir.Path("Quandel Player.conf"));
    PlayerSettings settings;
    settings.defaultLoadDir = "/home/dj/Music";
    CControlTable controls;
    store.Read(settings, controls);
    const PlayerSettings defaults;
    EXPECT_EQ(settings.run, 1);
    EXPECT_EQ(settings.outputDevice, defaults.outputDevice);
    EXPECT_EQ(settings.outputFrequency, 44100);
    EXPECT_EQ(settings.outputBlockSize, 8192);
    EXPECT_EQ(settings.outputResolution, 2);
    EXPECT_EQ(settings.windowPosX, -1);
    EXPECT_EQ(settings.windowPosY, -1);
    EXPECT_EQ(settings.driveAudioCd, 0);
    EXPECT_EQ(settings.registerQzl + settings.registerQzx + settings.registerCda + settings.registerAudioCd,
              4);
    EXPECT_EQ(settings.registerM3u + settings.registerMp3 + settings.registerWav, 0);
    EXPECT_FLOAT_EQ(settings.autoFadeTime, 10.0f);
    EXPECT_EQ(settings.toolTips, 1);
    EXPECT_EQ(settings.defaultLoadDir, "/home/dj/Music");
    EXPECT_EQ(controls.GetValue(ControlId::MasterVolume, 0), 128);
    EXPECT_EQ(controls.GetValue(ControlId::XFaderMode, 0), 0);
    PanelSettings panels;
    store.ReadPanels(panels);
    EXPECT_EQ(panels.playListHeight, 180);
    EXPECT_EQ(panels.mixerOpen + panels.mixViewOpen + panels.playListOpen, 3);
}

TEST(SettingsStore, FadeTimesAreKeptAsTenthsAboveMinusAThousandSeconds)
{
    EXPECT_EQ(CSettingsStore::EncodeFadeTime(-3.0f), 9970);
    EXPECT_EQ(CSettingsStore::EncodeFadeTime(10.0f), 10100);
    EXPECT_EQ(CSettingsStore::EncodeFadeTime(0.0f), 10000);
    EXPECT_EQ(CSettingsStore::EncodeFadeTime(-9.9f), 9901);

    CTempDir dir;
    const CSettingsStore store(dir.Path("s.conf"));
    for (const float seconds : {-3.0f, -9.9f, 0.0f, 0.1f, 12.3f, 99.0f}) {
        PlayerSettings settings;
        settings.autoFadeTime = seconds;
        CControlTable controls;
        ASSERT_TRUE(store.Write(settings, controls, PanelSettings{}, true));
        PlayerSettings back;
        store.Read(back, controls);
        EXPECT_FLOAT_EQ(back.autoFadeTime, seconds);
    }
    EXPECT_NE(ReadAll(dir.Path("s.conf")).find("AutoFadeTime=10990"), std::string::npos);
}

TEST(SettingsStore, WhatIsWrittenIsReadBackAndTheWindowOnlyWhenThereIsOne)
{
    CTempDir dir;
    const CSettingsStore store(dir.Path("s.conf"));
    PlayerSettings settings;
    settings.run = 7;
    settings.outputDevice = 257;
    settings.outputFrequency = 48000;
    settings.outputBlockSize = 2048;
    settings.windowPosX = 120;
    settings.windowPosY = 64;
    settings.driveAudioCd = 'E';
    settings.registerMp3 = 1;
    settings.registerQzl = 0;
    settings.playlistRepeat = 1;
    settings.toolTips = 0;
    settings.automixLevelTracks = 1;
    settings.defaultLoadDir = "/home/dj/Música/sets";
    CControlTable controls;
    controls.SetValue(ControlId::MasterVolume, 0, 191, Marks::Changed);
    controls.SetValue(ControlId::XFaderMode, 0, 1, Marks::Changed);
    PanelSettings panels{0, 1, 0, 240};
    ASSERT_TRUE(store.Write(settings, controls, panels, true));

    PlayerSettings back;
    CControlTable backControls;
    store.Read(back, backControls);
    EXPECT_EQ(back.run, 8) << "each start counts one more";
    EXPECT_EQ(back.outputDevice, 257);
    EXPECT_EQ(back.outputFrequency, 48000);
    EXPECT_EQ(back.outputBlockSize, 2048);
    EXPECT_EQ(back.windowPosX, 120);
    EXPECT_EQ(back.windowPosY, 64);
    EXPECT_EQ(back.driveAudioCd, 'E');
    EXPECT_EQ(back.registerMp3, 1);
    EXPECT_EQ(back.registerQzl, 0);
    EXPECT_EQ(back.playlistRepeat, 1);
    EXPECT_EQ(back.toolTips, 0);
    EXPECT_EQ(back.automixSkipSilence, 0);
    EXPECT_EQ(back.automixLevelTracks, 1);
    EXPECT_EQ(back.defaultLoadDir, "/home/dj/Música/sets");
    EXPECT_EQ(backControls.GetValue(ControlId::MasterVolume, 0), 191);
    EXPECT_EQ(backControls.GetValue(ControlId::XFaderMode, 0), 1);
    PanelSettings backPanels;
    store.ReadPanels(backPanels);
    EXPECT_EQ(backPanels.mixerOpen, 0);
    EXPECT_EQ(backPanels.mixViewOpen, 1);
    EXPECT_EQ(backPanels.playListHeight, 240);
    EXPECT_NE(ReadAll(dir.Path("s.conf")).find("[Apperance]"), std::string::npos);

    // Without a window its position is left as the file had it.
    settings.windowPosX = 5;
    ASSERT_TRUE(store.Write(settings, controls, panels, false));
    store.Read(back, backControls);
    EXPECT_EQ(back.windowPosX, 120);

    // A disc image in place of a drive letter survives the round trip.
    settings.cdImage = "/home/dj/rips/live set.cue";
    ASSERT_TRUE(store.Write(settings, controls, panels, true));
    PlayerSettings image;
    store.Read(image, backControls);
    EXPECT_EQ(image.cdImage, "/home/dj/rips/live set.cue");
}

TEST(SettingsStore, GarbageValuesFallBackToTheirDefaultsOrAreClamped)
{
    CTempDir dir;
    const std::string path = dir.Path("s.conf");
    WriteFile(path, "[General]\n"
                    "Run=many\n"
                    "OutputDevice=999999\n"
                    "OutputFrequency=0\n"
                    "OutputBlockSize=-4096\n"
                    "OutputResolution=24\n"
                    "OutputStereo=2\n"
                    "WindowPosX=1e9\n"
                    "WindowPosY=99999999999999999999\n"
                    "DriveAudioCD=@\n"
                    "RegisterQZL=\n"
                    "AutoFadeTime=1000000000\n"
                    "XFadeMode=77\n"
                    "MasterVolume=-1\n"
                    "ToolTips=yes\n"
                    "DefaultLoadDir=\n"
                    "[Apperance]\n"
                    "PanelPlayListHeight=3\n"
                    "PanelMixerOpen=x\n"
                    "\x01\x02\xff garbage line without equals\n");
    const CSettingsStore store(path);
    PlayerSettings settings;
    settings.defaultLoadDir = "/music";
    CControlTable controls;
    store.Read(settings, controls);
    EXPECT_EQ(settings.run, 1);
    EXPECT_EQ(settings.outputDevice, 0);
    EXPECT_EQ(settings.outputFrequency, 44100) << "a rate of 0 never reaches a division";
    EXPECT_EQ(settings.outputBlockSize, 8192);
    EXPECT_EQ(settings.outputResolution, 2);
    EXPECT_EQ(settings.outputStereo, 1);
    EXPECT_EQ(settings.windowPosX, -1);
    EXPECT_EQ(settings.windowPosY, -1);
    EXPECT_EQ(settings.driveAudioCd, 0);
    EXPECT_EQ(settings.registerQzl, 1);
    EXPECT_FLOAT_EQ(settings.autoFadeTime, CSettingsStore::kMaxFadeSeconds);
    EXPECT_GE(controls.GetValue(ControlId::XFaderMode, 0), 0);
    EXPECT_LE(controls.GetValue(ControlId::XFaderMode, 0), 1);
    EXPECT_EQ(controls.GetValue(ControlId::MasterVolume, 0), 128);
    EXPECT_EQ(settings.toolTips, 1);
    EXPECT_EQ(settings.defaultLoadDir, "/music");
    PanelSettings panels;
    store.ReadPanels(panels);
    EXPECT_EQ(panels.playListHeight, 120) << "clamped to the smallest height a drag allows";
    EXPECT_EQ(panels.mixerOpen, 1);

    // Sizes outside the drivers' range are clamped to it; lower-case letters are letters.
    WriteFile(path, "[General]\nOutputBlockSize=1000000\nDriveAudioCD=101\nAutoFadeTime=0\n");
    store.Read(settings, controls);
    EXPECT_EQ(settings.outputBlockSize, 16384);
    EXPECT_EQ(settings.driveAudioCd, 'E');
    EXPECT_FLOAT_EQ(settings.autoFadeTime, CSettingsStore::kMinFadeSeconds);
}

TEST(SettingsStore, AFileThatCannotBeWrittenIsReportedAndTheReadGoesOn)
{
    CTempDir dir;
    WriteFile(dir.Path("folder"), "a file where the settings folder belongs");
    const CSettingsStore store(dir.Path("folder/s.conf"));
    PlayerSettings settings;
    CControlTable controls;
    EXPECT_FALSE(store.Write(settings, controls, PanelSettings{}, true));
    store.Read(settings, controls);
    EXPECT_EQ(settings.run, 1);
}

} // namespace
