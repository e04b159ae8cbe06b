// The player's start-up and shutdown inside the test process, so that its dialogs can be
// answered through real Qt events, on the offscreen platform, playing to the test sound server.
#include "PlayerApp.h"
#include "CdDrive.h"
#include "CdReader.h"
#include "CdTestDisc.h"
#include "CdWatcher.h"
#include "CoreTestSupport.h"
#include "DialogAnswers.h"
#include "MainDialog.h"
#include "MediaDrives.h"
#include "PlayCdDialog.h"
#include "PlayerTestSupport.h"
#include "SetupSheet.h"
#include "SkinWindow.h"
#include "TempDir.h"
#include "XmlPlaylist.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

namespace {

// Runs the player's look at the CD drive, as its display tick does, until done holds.
bool PollCdUntil(CPlayerApp& app, const std::function<bool()>& done)
{
    return QTest::qWaitFor(
        [&] {
            app.PollCdDrive();
            return done();
        },
        15000);
}

class PlayerAppTest : public ::testing::Test {
protected:
    PlayerAppTest() : m_home(m_dir.Root()) {}
    void SetUp() override
    {
        ASSERT_NE(std::getenv("PULSE_SERVER"), nullptr)
            << "run through ctest: its fixture starts the sound server";
        m_home.Apply();
    }
    void TearDown() override
    {
        CCdDrive::SetDiscImage("");
        CMediaDrives::Program().Scan();
    }

    std::unique_ptr<CPlayerApp> MakeApp(std::vector<std::string> arguments = {})
    {
        m_arguments = {"quandel-player"};
        m_arguments.insert(m_arguments.end(), arguments.begin(), arguments.end());
        m_argv.clear();
        for (std::string& argument : m_arguments)
            m_argv.push_back(argument.data());
        m_argc = static_cast<int>(m_argv.size());
        return std::make_unique<CPlayerApp>(m_argc, m_argv.data());
    }

    static void Screenshot(QWidget* widget, const char* name)
    {
        QDir().mkpath(QStringLiteral(QUANDEL_SCREENS));
        widget->grab().save(QStringLiteral(QUANDEL_SCREENS "/") + QString::fromLatin1(name));
    }

    CTempDir m_dir;
    CPlayerHome m_home;
    std::vector<std::string> m_arguments;
    std::vector<char*> m_argv;
    int m_argc = 0;
};

TEST_F(PlayerAppTest, TheFirstStartAsksForTheSoundDeviceBeforeOpeningOneAndCountsOneStart)
{
    std::unique_ptr<CPlayerApp> app = MakeApp();
    bool deviceOpenWhileAsked = true;
    CDialogAnswers answers({[&](QWidget* sheet) {
        deviceOpenWhileAsked = app->Output().Master() != nullptr;
        ASSERT_NE(dynamic_cast<CSetupSheet*>(sheet), nullptr);
        auto* devices = sheet->findChild<QComboBox*>(QStringLiteral("1016"));
        ASSERT_NE(devices, nullptr);
        const auto& list = app->Devices();
        for (size_t i = 0; i < list.size(); ++i)
            if (list[i].id == 256)
                devices->setCurrentIndex(static_cast<int>(i));
        Click(sheet, "1");
    }});
    ASSERT_TRUE(app->InitInstance());
    EXPECT_EQ(answers.Answered(), 1);
    EXPECT_FALSE(deviceOpenWhileAsked);
    EXPECT_TRUE(app->Output().Running());
    EXPECT_EQ(app->Settings().run, 1);
    ASSERT_NE(app->MainDialog(), nullptr);
    CSkinWindow* window = app->MainDialog()->Window();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
    EXPECT_TRUE(app->MainDialog()->IsPanelOpen(CMainDialog::kMixer));
    EXPECT_TRUE(app->MainDialog()->IsPanelOpen(CMainDialog::kCases));
    QTest::qWait(100);
    Screenshot(window, "main-window-first-start.png");
    app->ExitInstance();
    const std::string settings = Bytes(m_home.ConfigFile());
    EXPECT_NE(settings.find("Run=1\n"), std::string::npos) << settings;
    EXPECT_NE(settings.find("OutputDevice=256\n"), std::string::npos) << settings;
    EXPECT_TRUE(std::filesystem::exists(m_home.DataFolder() + "last.qzl"));
}

TEST_F(PlayerAppTest, AStartThatFailsAtTheSoundDeviceLeavesEveryFileAsItWas)
{
    // A device that is not there: the question comes; Retry opens the setup sheet, which is
    // cancelled, the question comes again and is cancelled.
    m_home.WriteSettings({}, 3, 300);
    std::filesystem::create_directories(m_home.DataFolder());
    const std::string track = WriteToneTrack(m_home.Root() + "/music/a.wav", 440.0, 2.0);
    CPlaylist list;
    list.AddTrack(track, true);
    ASSERT_TRUE(CXmlPlaylist::Save(list, m_home.DataFolder() + "last.qzl"));
    ASSERT_TRUE(CXmlPlaylist::Save(list, m_home.DataFolder() + "case2.qzl"));
    const std::string settingsBefore = Bytes(m_home.ConfigFile());
    const std::string lastBefore = Bytes(m_home.DataFolder() + "last.qzl");
    const std::string caseBefore = Bytes(m_home.DataFolder() + "case2.qzl");

    std::unique_ptr<CPlayerApp> app = MakeApp();
    CDialogAnswers answers({[](QWidget* box) { ClickBox(box, QMessageBox::Retry); },
                            [](QWidget* sheet) {
                                EXPECT_NE(dynamic_cast<CSetupSheet*>(sheet), nullptr);
                                Click(sheet, "2");
                            },
                            [](QWidget* box) { ClickBox(box, QMessageBox::Cancel); }});
    EXPECT_FALSE(app->InitInstance());
    EXPECT_EQ(answers.Answered(), 3);
    EXPECT_EQ(answers.Seen().size(), 3u);
    app->ExitInstance();
    EXPECT_EQ(app->ExitCode(), CPlayerApp::kExitStartFailed);
    EXPECT_EQ(Bytes(m_home.ConfigFile()), settingsBefore);
    EXPECT_EQ(Bytes(m_home.DataFolder() + "last.qzl"), lastBefore);
    EXPECT_EQ(Bytes(m_home.DataFolder() + "case2.qzl"), caseBefore);
    EXPECT_FALSE(std::filesystem::exists(m_home.DataFolder() + "case1.qzl"));
}

TEST_F(PlayerAppTest, AMinimisedOrMaximisedWindowStoresItsRestoredPosition)
{
    for (const bool maximise : {false, true}) {
        m_home.WriteSettings("WindowPosX=150\nWindowPosY=90\n");
        std::unique_ptr<CPlayerApp> app = MakeApp();
        ASSERT_TRUE(app->InitInstance());
        CSkinWindow* window = app->MainDialog()->Window();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_EQ(window->geometry().topLeft(), QPoint(150, 90));
        if (maximise)
            window->showMaximized();
        else
            window->showMinimized();
        QTest::qWait(50);
        app->ExitInstance();
        const std::string settings = Bytes(m_home.ConfigFile());
        EXPECT_NE(settings.find("WindowPosX=150\n"), std::string::npos) << maximise << settings;
        EXPECT_NE(settings.find("WindowPosY=90\n"), std::string::npos) << maximise << settings;
    }
}

TEST_F(PlayerAppTest, StartingWithAMixFileReplacesTheTimeLineWithItsListAndPlays)
{
    m_home.WriteSettings();
    const std::string mix = m_home.Root() + "/music/set.qzx";
    {
        CPlayerCore recording;
        recording.List().AddTrack(WriteToneTrack(m_home.Root() + "/music/a.wav", 440.0, 8.0), true);
        recording.List().AddTrack(WriteToneTrack(m_home.Root() + "/music/b.wav", 660.0, 8.0), true);
        CCoreRun live(recording);
        recording.StartRecording();
        for (uint32_t t = 0; t < 400; ++t)
            live.Tick([&] {
                if (t == 0)
                    recording.LoadTrackToDeck(0, recording.List().Entry(0).location.c_str(),
                                              recording.List().Entry(0).id);
                if (t == 3)
                    recording.Controls().SetValue(ControlId::DeckStartStop, 0, 1, Marks::ChangedAndApply);
            });
        recording.FinishRecording();
        ASSERT_TRUE(recording.SaveDocument(mix));
    }
    // The last Time Line held something else.
    std::filesystem::create_directories(m_home.DataFolder());
    CPlaylist old;
    old.AddTrack(WriteToneTrack(m_home.Root() + "/music/old.wav", 220.0, 2.0), true);
    ASSERT_TRUE(CXmlPlaylist::Save(old, m_home.DataFolder() + "last.qzl"));

    std::unique_ptr<CPlayerApp> app = MakeApp({mix});
    ASSERT_TRUE(app->InitInstance());
    CPlayerCore& core = app->Core();
    ASSERT_EQ(core.List().Count(), 2);
    EXPECT_NE(core.List().Entry(0).location.find("a.wav"), std::string::npos);
    EXPECT_EQ(core.PlaybackModeValue(), CPlayerCore::kDjMix);
    EXPECT_TRUE(core.RunStop());
    app->ExitInstance();
    EXPECT_NE(Bytes(m_home.DataFolder() + "last.qzl").find("a.wav"), std::string::npos);
    EXPECT_TRUE(std::filesystem::exists(m_home.DataFolder() + "last.qzx")) << "the mix is kept with the list";
}

TEST_F(PlayerAppTest, AnEmptyTimeLineWithAnAudioCdLoadsItsTracksAndPlaysWithoutAQuestion)
{
    const CTestDisc disc({{true, 750}, {false, 300}, {true, 1500}});
    const std::string cue = disc.Write(m_home.Root() + "/music");
    m_home.WriteSettings("DriveAudioCD=" + cue + "\n");
    std::unique_ptr<CPlayerApp> app = MakeApp();
    CDialogAnswers answers({});
    ASSERT_TRUE(app->InitInstance());
    EXPECT_EQ(answers.Answered(), 0);
    EXPECT_TRUE(answers.Seen().empty());
    CPlayerCore& core = app->Core();
    ASSERT_EQ(core.List().Count(), 2) << "the two audio tracks; the data track is left out";
    EXPECT_EQ(core.List().Entry(0).media, kMediaAudioCd);
    EXPECT_TRUE(core.RunStop());
    EXPECT_EQ(core.PlaybackModeValue(), CPlayerCore::kAutomix);
    app->ExitInstance();
    EXPECT_NE(Bytes(m_home.ConfigFile()).find(cue), std::string::npos) << "the image stays the drive";
}

TEST_F(PlayerAppTest, SavedListsThatCannotBeReadStartEmptyAndAreKeptAside)
{
    m_home.WriteSettings();
    std::filesystem::create_directories(m_home.DataFolder());
    const std::string track = WriteToneTrack(m_home.Root() + "/music/a.wav", 440.0, 2.0);
    CPlaylist list;
    list.AddTrack(track, true);
    std::string xml;
    ASSERT_TRUE(CXmlPlaylist::SaveToString(list, xml));
    const std::string truncated = xml.substr(0, xml.size() / 2);
    std::ofstream(m_home.DataFolder() + "last.qzl", std::ios::binary) << truncated;
    std::filesystem::create_directories(m_home.DataFolder() + "case2.qzl");
    std::ofstream(m_home.DataFolder() + "case3.qzl", std::ios::binary) << std::string("\x00\xff<<<\x01", 6);
    ASSERT_TRUE(CXmlPlaylist::Save(list, m_home.DataFolder() + "case4.qzl"));

    std::unique_ptr<CPlayerApp> app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    EXPECT_EQ(app->Core().List().Count(), 0);
    EXPECT_EQ(app->Core().Case(1).Count(), 0);
    EXPECT_EQ(app->Core().Case(2).Count(), 0);
    EXPECT_EQ(app->Core().Case(3).Count(), 1);
    EXPECT_EQ(Bytes(m_home.DataFolder() + "last.qzl.bad"), truncated);
    EXPECT_TRUE(std::filesystem::is_directory(m_home.DataFolder() + "case2.qzl.bad"));
    EXPECT_TRUE(std::filesystem::exists(m_home.DataFolder() + "case3.qzl.bad"));
    app->ExitInstance();
    // The next save wrote good lists beside what was kept.
    EXPECT_EQ(CXmlPlaylist::Peek(m_home.DataFolder() + "last.qzl"), CXmlPlaylist::kList);
    EXPECT_EQ(CXmlPlaylist::Peek(m_home.DataFolder() + "case2.qzl"), CXmlPlaylist::kList);
    EXPECT_EQ(Bytes(m_home.DataFolder() + "last.qzl.bad"), truncated);
}

TEST_F(PlayerAppTest, AnUnwritableDataFolderIsToldOnceAtStartAndThePlayerPlaysOn)
{
    m_home.WriteSettings();
    // A file where the data folder belongs: nothing can be saved there, whoever runs the test.
    std::filesystem::create_directories(
        std::filesystem::path(m_home.DataFolder()).parent_path().parent_path());
    const std::string blocker = std::filesystem::path(m_home.DataFolder()).parent_path().string();
    std::ofstream(blocker) << "not a folder";
    std::string told;
    CDialogAnswers answers({[&told](QWidget* box) {
        told = qobject_cast<QMessageBox*>(box)->text().toStdString();
        ClickBox(box, QMessageBox::Ok);
    }});
    std::unique_ptr<CPlayerApp> app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    EXPECT_TRUE(app->Output().Running());
    EXPECT_EQ(answers.Answered(), 1);
    EXPECT_NE(told.find(m_home.DataFolder()), std::string::npos) << told;
    // Known from the start: the end tries once more and asks nothing.
    app->ExitInstance();
    EXPECT_EQ(answers.Answered(), 1);
    EXPECT_EQ(Bytes(blocker), "not a folder");
}

TEST_F(PlayerAppTest, ADiscTakenOutLeavesTheTimeLineAndOneBroughtBackPlaysWhenTheUserSaysSo)
{
    const CTestDisc disc({{true, 750}, {true, 1500}});
    const std::string cue = disc.Write(m_home.Root() + "/music");
    const std::string image = m_home.Root() + "/music/image.bin";
    const std::string aside = m_home.Root() + "/aside.bin";
    m_home.WriteSettings("DriveAudioCD=" + cue + "\n");
    std::unique_ptr<CPlayerApp> app = MakeApp();
    ASSERT_TRUE(app->InitInstance());
    CPlayerCore& core = app->Core();
    ASSERT_EQ(core.List().Count(), 2);
    ASSERT_TRUE(core.RunStop());
    core.AddToList(WriteToneTrack(m_home.Root() + "/music/a.wav", 440.0, 2.0));
    // A case entry whose file goes with the disc: the look after the change finds it missing.
    const std::string gone = WriteToneTrack(m_home.Root() + "/music/gone.wav", 660.0, 1.0);
    core.Case(2).AddTrack(gone, true);
    ASSERT_TRUE(core.Case(2).Entry(0).exists);
    std::filesystem::remove(gone);
    const CCdWatcher* watcher = app->CdWatcher();
    ASSERT_NE(watcher, nullptr);
    EXPECT_EQ(watcher->Path(), cue);
    ASSERT_TRUE(QTest::qWaitFor([&] { return watcher->Looks() >= 1; }, 15000));
    EXPECT_TRUE(watcher->Present());

    {
        // Taken out while a dialog is open: the change waits for the dialog to close.
        QDialog other;
        other.setWindowModality(Qt::ApplicationModal);
        other.show();
        std::filesystem::rename(image, aside);
        ASSERT_TRUE(PollCdUntil(*app, [&] { return !watcher->Present(); }));
        app->PollCdDrive();
        EXPECT_EQ(core.List().Count(), 3);
        EXPECT_TRUE(core.RunStop());
    }
    {
        CDialogAnswers answers({});
        ASSERT_TRUE(PollCdUntil(*app, [&] { return core.List().Count() == 1; }));
        EXPECT_TRUE(answers.Seen().empty()) << "a disc taken out asks nothing";
    }
    EXPECT_NE(core.List().Entry(0).location.find("a.wav"), std::string::npos);
    EXPECT_FALSE(core.RunStop()) << "the tracks playing went with the disc";
    EXPECT_EQ(core.Mix().TickCount(), 0u);
    EXPECT_FALSE(core.Case(2).Entry(0).exists);

    // Back in, and the user cancels: nothing changes.
    {
        CDialogAnswers answers({[](QWidget* dialog) {
            EXPECT_NE(dynamic_cast<CPlayCdDialog*>(dialog), nullptr) << dialog->metaObject()->className();
            Click(dialog, "2");
        }});
        std::filesystem::rename(aside, image);
        ASSERT_TRUE(
            PollCdUntil(*app, [&] { return answers.Answered() == 1 && !QApplication::activeModalWidget(); }));
        app->PollCdDrive();
    }
    ASSERT_EQ(core.List().Count(), 1);
    EXPECT_FALSE(core.RunStop());

    // Out again: no CD track is left to take, and the list stays as it was.
    std::filesystem::rename(image, aside);
    ASSERT_TRUE(PollCdUntil(*app, [&] { return !watcher->Present(); }));
    app->PollCdDrive();
    EXPECT_EQ(core.List().Count(), 1);

    // In again, and the user plays it: the disc's tracks replace the list and play.
    {
        CDialogAnswers answers({[](QWidget* dialog) { Click(dialog, "1"); }});
        std::filesystem::rename(aside, image);
        ASSERT_TRUE(PollCdUntil(*app, [&] { return core.RunStop(); }));
        EXPECT_EQ(answers.Answered(), 1);
    }
    ASSERT_EQ(core.List().Count(), 2);
    EXPECT_EQ(core.List().Entry(0).media, kMediaAudioCd);
    EXPECT_TRUE(core.List().Entry(1).exists);
    EXPECT_EQ(core.PlaybackModeValue(), CPlayerCore::kAutomix);
    app->ExitInstance();
    EXPECT_EQ(app->CdWatcher(), nullptr);
    CMediaDrives::Program().Reader().CloseAudioCd();
}

} // namespace
