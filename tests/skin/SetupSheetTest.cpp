// The setup sheet through real mouse and key events on Qt's offscreen platform.
#include "SetupSheet.h"
#include "DialogTestKit.h"
#include "StringTable.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QSlider>
#include <QTabWidget>

#include <memory>
#include <string>
#include <vector>

using namespace dialogtest;

namespace {

class SetupSheetTest : public ::testing::Test {
protected:
    const std::vector<SetupDevice> devices = {{"ALSA Default Device", 0},
                                              {"ALSA: HDA Intel PCH, ALC892 Analog", 3},
                                              {"Sound Server Default Output", 256}};
    const std::vector<char> drives = {'d', 'E'};

    // A shown sheet over the test's settings.
    CSetupSheet& Open(const std::vector<SetupDevice>& list)
    {
        sheet = std::make_unique<CSetupSheet>(settings, list, drives);
        Show(sheet.get());
        return *sheet;
    }
    CSetupSheet& Open() { return Open(devices); }
    void ShowPage(int index)
    {
        sheet->Tabs()->setCurrentIndex(index);
        QApplication::processEvents();
    }
    QString Latency() { return Control<QLabel>(sheet.get(), "1111")->text(); }
    QSlider* Slider() { return Control<QSlider>(sheet.get(), "1019"); }

    PlayerSettings settings;
    std::unique_ptr<CSetupSheet> sheet;
};

TEST_F(SetupSheetTest, HasTheCaptionThePagesInOrderAndTheirControls)
{
    Open();
    EXPECT_EQ(sheet->windowTitle(), "Setup");
    ASSERT_EQ(sheet->Tabs()->count(), 3);
    EXPECT_EQ(sheet->Tabs()->tabText(0), "Audio");
    EXPECT_EQ(sheet->Tabs()->tabText(1), "Preferences");
    EXPECT_EQ(sheet->Tabs()->tabText(2), "File Types");
    for (const char* id : {"1016", "1019", "1111", "1073", "1187", "1052", "1051", "1095", "1096", "1192",
                           "1193", "1194", "1190", "1189", "1188", "1191", "1", "2"})
        EXPECT_NE(sheet->findChild<QWidget*>(id), nullptr) << id;
    EXPECT_EQ(Control<QAbstractButton>(sheet.get(), "1")->text(), "OK");
    EXPECT_EQ(Control<QAbstractButton>(sheet.get(), "2")->text(), "Cancel");
    EXPECT_EQ(Slider()->minimum(), 1);
    EXPECT_EQ(Slider()->maximum(), 128);
    EXPECT_EQ(Slider()->tickInterval(), 8);
}

TEST_F(SetupSheetTest, LatencyFollowsTheSliderAtTheOutputRate)
{
    const struct {
        uint16_t rateHz;
        std::vector<Qt::Key> keys;
        int position;
        const char* latency;
    } cases[] = {
        {44100, {Qt::Key_Home}, 1, "3"},
        {44100,
         {Qt::Key_Home, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right, Qt::Key_Right,
          Qt::Key_Right, Qt::Key_Right},
         8,
         "23"},
        {44100, {Qt::Key_End}, 128, "372"},
        {44100, {Qt::Key_Home, Qt::Key_PageUp}, 9, "26"},
        {48000, {Qt::Key_Home, Qt::Key_PageUp}, 9, "24"},
        {48000, {Qt::Key_End}, 128, "341"},
        {22050, {Qt::Key_End, Qt::Key_Left}, 127, "737"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.latency);
        settings.outputFrequency = c.rateHz;
        Open();
        Slider()->setFocus();
        for (const Qt::Key key : c.keys)
            QTest::keyClick(Slider(), key);
        EXPECT_EQ(Slider()->value(), c.position);
        EXPECT_EQ(Latency(), c.latency);
    }
}

TEST_F(SetupSheetTest, OpensAtTheStoredBlockSizeAndShowsItsLatency)
{
    Open(); // 8192 frames at 44100 Hz
    EXPECT_EQ(Slider()->value(), 64);
    EXPECT_EQ(Latency(), "186");
    settings.outputBlockSize = 1024;
    Open();
    EXPECT_EQ(Slider()->value(), 8);
    EXPECT_EQ(Latency(), "23");
    settings.outputBlockSize = 100000; // beyond the slider: its end
    Open();
    EXPECT_EQ(Slider()->value(), 128);
}

TEST_F(SetupSheetTest, ARateOfZeroShowsNoLatencyAtAnyPosition)
{
    settings.outputFrequency = 0;
    Open();
    EXPECT_EQ(Latency(), "--");
    Slider()->triggerAction(QAbstractSlider::SliderToMaximum);
    EXPECT_EQ(Latency(), "--");
    Slider()->triggerAction(QAbstractSlider::SliderToMinimum);
    EXPECT_EQ(Latency(), "--");
    Slider()->triggerAction(QAbstractSlider::SliderPageStepAdd);
    EXPECT_EQ(Latency(), "--");
    Click(sheet.get(), "1");
    EXPECT_EQ(settings.outputBlockSize, 9 * 128);
}

TEST_F(SetupSheetTest, OkStoresTheChosenDeviceAndBlockSize)
{
    settings.outputDevice = 0;
    Open();
    auto* device = Control<QComboBox>(sheet.get(), "1016");
    EXPECT_EQ(device->currentIndex(), 0);
    device->setFocus();
    QTest::keyClick(device, Qt::Key_Down);
    QTest::keyClick(device, Qt::Key_Down);
    EXPECT_EQ(device->currentText(), "Sound Server Default Output");
    Slider()->setFocus();
    QTest::keyClick(Slider(), Qt::Key_Home);
    QTest::keyClick(Slider(), Qt::Key_PageUp);
    Click(sheet.get(), "1");
    EXPECT_EQ(sheet->result(), QDialog::Accepted);
    EXPECT_EQ(settings.outputDevice, 256);
    EXPECT_EQ(settings.outputBlockSize, 9 * 128);
    EXPECT_TRUE(settings.outputChanged);
}

TEST_F(SetupSheetTest, ADeviceNoLongerPresentSelectsTheFirst)
{
    settings.outputDevice = 3;
    Open();
    EXPECT_EQ(Control<QComboBox>(sheet.get(), "1016")->currentText(), "ALSA: HDA Intel PCH, ALC892 Analog");
    settings.outputDevice = 1024; // a four-channel device that was unplugged
    Open();
    EXPECT_EQ(Control<QComboBox>(sheet.get(), "1016")->currentIndex(), 0);
    Click(sheet.get(), "1");
    EXPECT_EQ(settings.outputDevice, 0);
}

TEST_F(SetupSheetTest, AnEmptyDeviceListKeepsTheStoredDevice)
{
    settings.outputDevice = 512;
    Open({});
    Click(sheet.get(), "1");
    EXPECT_EQ(settings.outputDevice, 512);
    EXPECT_TRUE(settings.outputChanged);
}

TEST_F(SetupSheetTest, TheCdDriveIsSelectedByLetterAndKeptWhenNotListed)
{
    const struct {
        char stored;
        int selected; // -1: none
        std::vector<Qt::Key> keys;
        char afterOk;
    } cases[] = {
        {'E', 1, {}, 'E'},  {'e', 1, {}, 'E'}, {'d', 0, {}, 'D'},
        {'X', -1, {}, 'X'}, {0, -1, {}, 0},    {'E', 1, {Qt::Key_Up}, 'D'},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(1, c.stored));
        settings.driveAudioCd = c.stored;
        Open();
        ShowPage(1);
        auto* drive = Control<QComboBox>(sheet.get(), "1187");
        ASSERT_EQ(drive->count(), 2);
        EXPECT_EQ(drive->itemText(0), "D:");
        EXPECT_EQ(drive->itemText(1), "E:");
        EXPECT_EQ(drive->currentIndex(), c.selected);
        drive->setFocus();
        for (const Qt::Key key : c.keys)
            QTest::keyClick(drive, key);
        Click(sheet.get(), "1");
        EXPECT_EQ(settings.driveAudioCd, c.afterOk);
    }
}

// Each box of the Preferences and File Types pages, clicked alone, changes its own setting
// and no other.
TEST_F(SetupSheetTest, EachCheckBoxIsBoundToTheSettingItNames)
{
    const struct {
        int page;
        const char* id;
        const char* text;
        int32_t PlayerSettings::*setting;
    } boxes[] = {
        {1, "1073", "Display Tooltips", &PlayerSettings::toolTips},
        {1, "1052", "Standard track block size in Timeline view", &PlayerSettings::timeLineModeFixed},
        {1, "1051", "Include sub directories when adding directories", &PlayerSettings::playlistRecDirAdd},
        {1, "1095", "Skip silence", &PlayerSettings::automixSkipSilence},
        {1, "1096", "Level tracks", &PlayerSettings::automixLevelTracks},
        {2, "1192", "Kelmaric Music List (.QZL)", &PlayerSettings::registerQzl},
        {2, "1193", "Kelmaric Music Mix (.QZX)", &PlayerSettings::registerQzx},
        {2, "1194", "Music Playlist (.M3U)", &PlayerSettings::registerM3u},
        {2, "1190", "Microsoft Wave (.WAV)", &PlayerSettings::registerWav},
        {2, "1189", "MPEG Layer 3  (.MP3)", &PlayerSettings::registerMp3},
        {2, "1188", "CDDA Audio CD Tracks (.CDA)", &PlayerSettings::registerCda},
        {2, "1191", "Auto Detect Audio CD and Launch Player", &PlayerSettings::registerAudioCd},
    };
    for (const auto& box : boxes) {
        SCOPED_TRACE(box.id);
        // Alternate values, so that a box bound to a neighbour's setting shows the wrong state.
        settings = PlayerSettings{};
        int32_t value = 0;
        for (const auto& other : boxes)
            settings.*other.setting = (value++ % 2);
        const PlayerSettings before = settings;
        Open();
        ShowPage(box.page);
        auto* check = Control<QCheckBox>(sheet.get(), box.id);
        ASSERT_NE(check, nullptr);
        EXPECT_EQ(check->text(), box.text);
        EXPECT_EQ(check->isChecked(), before.*box.setting != 0);
        ClickCheckBox(check);
        Click(sheet.get(), "1");
        PlayerSettings expected = before;
        expected.*box.setting = before.*box.setting != 0 ? 0 : 1;
        expected.outputChanged = true;
        expected.driveAudioCd = settings.driveAudioCd;
        EXPECT_EQ(Fields(settings), Fields(expected));
    }
}

TEST_F(SetupSheetTest, CancelChangesNothing)
{
    settings.outputDevice = 3;
    settings.driveAudioCd = 'D';
    settings.defaultLoadDir = "/home/dj/Music";
    const PlayerSettings before = settings;
    Open();
    QTest::keyClick(Control<QComboBox>(sheet.get(), "1016"), Qt::Key_Down);
    Slider()->triggerAction(QAbstractSlider::SliderToMaximum);
    ShowPage(1);
    QTest::keyClick(Control<QComboBox>(sheet.get(), "1187"), Qt::Key_Down);
    Click(sheet.get(), "1073");
    ShowPage(2);
    for (const char* id : {"1192", "1189", "1191"})
        Click(sheet.get(), id);
    Click(sheet.get(), "2");
    EXPECT_EQ(sheet->result(), QDialog::Rejected);
    EXPECT_EQ(Fields(settings), Fields(before));
}

TEST_F(SetupSheetTest, RunSetupReturnsOneWithTheEditsOnOk)
{
    settings.registerWav = 0;
    WhenModal([](QWidget* dialog) {
        auto* tabs = dialog->findChild<QTabWidget*>();
        tabs->setCurrentIndex(2);
        Click(dialog, "1190");
        Click(dialog, "1");
    });
    EXPECT_EQ(RunSetup(nullptr, settings, devices, drives), 1);
    EXPECT_EQ(settings.registerWav, 1);
    EXPECT_EQ(settings.registerMp3, 0);
    EXPECT_TRUE(settings.outputChanged);
}

TEST_F(SetupSheetTest, RunSetupReturnsZeroAndLeavesTheSettingsOnCancel)
{
    const PlayerSettings before = settings;
    WhenModal([](QWidget* dialog) {
        dialog->findChild<QTabWidget*>()->setCurrentIndex(2);
        Click(dialog, "1190");
        Click(dialog, "2");
    });
    EXPECT_EQ(RunSetup(nullptr, settings, devices, drives), 0);
    EXPECT_EQ(Fields(settings), Fields(before));
    // Escape is Cancel too.
    WhenModal([](QWidget* dialog) { QTest::keyClick(dialog, Qt::Key_Escape); });
    EXPECT_EQ(RunSetup(nullptr, settings, devices, drives), 0);
    EXPECT_EQ(Fields(settings), Fields(before));
}

TEST_F(SetupSheetTest, NoTextIsCutInEitherLanguage)
{
    for (const auto language : {CStringTable::Language::English, CStringTable::Language::German}) {
        SCOPED_TRACE(static_cast<int>(language));
        CStringTable::Program().SetLanguage(language);
        Open();
        for (int page = 0; page < 3; ++page) {
            ShowPage(page);
            ExpectNoClippedText(sheet.get());
        }
        if (language == CStringTable::Language::German) {
            EXPECT_EQ(sheet->Tabs()->tabText(1), "Einstellungen");
            EXPECT_EQ(Control<QAbstractButton>(sheet.get(), "2")->text(), "Abbrechen");
        }
        const QTabBar* bar = sheet->Tabs()->tabBar();
        for (int i = 0; i < bar->count(); ++i)
            EXPECT_GE(bar->tabRect(i).width(), bar->fontMetrics().horizontalAdvance(bar->tabText(i)));
    }
    CStringTable::Program().SetLanguage(CStringTable::Language::English);
    Open();
    EXPECT_EQ(sheet->Tabs()->tabText(1), "Preferences");
}

} // namespace
