#include "PlayerApp.h"

#include "AboutDialog.h"
#include "AudioEngine.h"
#include "CdDrive.h"
#include "CdReader.h"
#include "CdWatcher.h"
#include "ControlClassTable.h"
#include "FileAssociations.h"
#include "ListAnalysis.h"
#include "MainDialog.h"
#include "MediaDrives.h"
#include "MidiControllers.h"
#include "OutputDevices.h"
#include "OutputDriver.h"
#include "PictureManager.h"
#include "PlayCdDialog.h"
#include "ResourceTable.h"
#include "SettingsStore.h"
#include "SetupSheet.h"
#include "ShutdownSignals.h"
#include "SkinForm.h"
#include "SkinWindow.h"
#include "StringIds.h"
#include "StringTable.h"
#include "XmlPlaylist.h"

#include <QApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

constexpr const char* kProgramTitle = "Quandel Player";
constexpr int kStringOpenDeviceFailed = 102;
constexpr int kStringSaveFailed = 110;
constexpr int kStringInternalError = 33013;
constexpr int kStringPlayRecordedMix = 33043; // "%s" stands for the mix's title
// How long a stopped transport is given to fall silent before lists and decks change.
constexpr int kSettleMs = 300;

QString Text(int id)
{
    return QString::fromUtf8(CStringTable::Program().Get(id));
}

std::string DataFolderForUser()
{
    std::string base;
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        base = data;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        base = std::string(home) + "/.local/share";
    else
        base = "/tmp";
    return base + "/Kelmaric/Quandel Player/";
}

// The locale that names the language of messages, as the C library chooses it.
const char* MessagesLocale()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(name); value != nullptr && value[0] != '\0')
            return value;
    return "";
}

bool Exists(const std::string& path)
{
    struct stat st {};
    return lstat(path.c_str(), &st) == 0;
}

// Lets the event loop run for ms without taking user input: the displays go on, nothing the
// user does lands in the middle of a list change.
void Settle(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
}

// "\040" and friends, as /proc/self/mounts writes blanks and tabs in paths.
std::string UnescapeMountField(const std::string& field)
{
    std::string out;
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const std::string digits = field.substr(i + 1, 3);
            if (digits.find_first_not_of("01234567") == std::string::npos) {
                out += static_cast<char>(std::stoi(digits, nullptr, 8));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// A folder the user may write in: a file can be made there (it is removed again).
bool CanWriteIn(const std::string& folder)
{
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    std::string probe = folder + "/.quandel-write-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0)
        return false;
    close(fd);
    unlink(probe.c_str());
    return true;
}

// The player whose window is open, for the save at an exit the toolkit makes on its own.
CPlayerApp* s_running = nullptr;
std::thread::id s_runningThread;

} // namespace

CPlayerApp::CPlayerApp(int& argc, char** argv)
{
    if (QCoreApplication::instance() == nullptr)
        m_ownedApplication = std::make_unique<QApplication>(argc, argv);
    for (int i = 0; i < argc; ++i)
        m_arguments.emplace_back(argv[i]);
}

CPlayerApp::~CPlayerApp()
{
    if (s_running == this)
        s_running = nullptr;
    CloseOutputs();
    m_mainDialog.reset();
}

const std::string& CPlayerApp::SettingsPath() const
{
    if (m_settingsPath.empty())
        m_settingsPath = CSettingsStore::DefaultPath();
    return m_settingsPath;
}

int CPlayerApp::Run()
{
    if (InitInstance() && !m_quitRequested)
        QApplication::exec();
    ExitInstance();
    return m_exitCode;
}

bool CPlayerApp::InitInstance()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Kelmaric"));
    QCoreApplication::setApplicationName(QString::fromLatin1(kProgramTitle));
    QGuiApplication::setDesktopFileName(QStringLiteral("quandel-player"));

    std::vector<const char*> argv;
    for (const std::string& argument : m_arguments)
        argv.push_back(argument.c_str());
    m_command = PlayerArguments::Parse(static_cast<int>(argv.size()), argv.data());
    if (!m_command.error.empty()) {
        std::fprintf(stderr, "quandel-player: %s (see --help)\n", m_command.error.c_str());
        m_exitCode = kExitUsage;
        return false;
    }

    // One player per user: a later start hands its file over and ends here.
    switch (m_instance.Claim(m_command.file)) {
    case CSingleInstance::Role::HandedOver:
        m_exitCode = kExitOk;
        return false;
    case CSingleInstance::Role::PathTooLong:
        std::fprintf(stderr,
                     "quandel-player: %s: the path is longer than %zu bytes and cannot be handed to the "
                     "running player\n",
                     m_command.file.c_str(), CSingleInstance::kMaxPath);
        m_exitCode = kExitUsage;
        return false;
    case CSingleInstance::Role::NotTaken:
        std::fprintf(stderr, "quandel-player: a player runs already, but it did not take the file: %s\n",
                     m_instance.Error().c_str());
        m_exitCode = kExitStartFailed;
        return false;
    case CSingleInstance::Role::Failed:
        // Without the block the player still runs; a second start then runs beside it.
        std::fprintf(stderr, "quandel-player: %s; starting without the hand-over between starts\n",
                     m_instance.Error().c_str());
        break;
    case CSingleInstance::Role::First:
        break;
    }
    m_signals = std::make_unique<CShutdownSignals>([this](int) { OnShutdownSignal(); });

    m_programPath = QCoreApplication::applicationFilePath().toStdString();
    m_dataFolder = DataFolderForUser();
    std::error_code error;
    std::filesystem::create_directories(m_dataFolder, error);
    m_analysis = std::make_unique<CListAnalysis>(m_dataFolder + "analysis.txt");
    CStringTable::Program().SetLanguage(CStringTable::LanguageForLocale(MessagesLocale()));

    m_settings.defaultLoadDir = QStandardPaths::writableLocation(QStandardPaths::MusicLocation).toStdString();
    const CSettingsStore store(SettingsPath());
    store.Read(m_settings, m_core.Controls());
    m_core.Automix().SetFadeTime(m_settings.autoFadeTime);
    m_core.Automix().SetRepeatAll(m_settings.playlistRepeat != 0);
    m_core.SetTimeLineModeFixed(m_settings.timeLineModeFixed != 0);
    m_core.Automix().SetSkipSilence(m_settings.automixSkipSilence != 0);
    m_core.Automix().SetLevelTracks(m_settings.automixLevelTracks != 0);

    WriteAssociations();

    m_pictures = std::make_unique<CPictureManager>(CResourceTable::Program());
    m_pictures->LoadMap();
    RegisterSkinControlClasses();
    ListDevices();

    m_mainDialog = std::make_unique<CMainDialog>(*this, *m_pictures);
    SelectCdDrive();
    WatchCdDrive();
    m_mainDialog->ReadPanelSettings(store);
    if (!m_mainDialog->Create(m_settings.windowPosX, m_settings.windowPosY)) {
        std::fprintf(stderr, "quandel-player: the skin's forms are missing from this build\n");
        m_exitCode = kExitStartFailed;
        return false;
    }

    CheckSaveFolders();
    // The first start: the user chooses the sound device before one is opened.
    if (m_settings.run == 1)
        RunSetup();
    if (m_quitRequested || !OpenOutputs()) {
        m_exitCode = kExitStartFailed;
        return false;
    }

    const std::string lastList = m_dataFolder + "last.qzl";
    if (!m_command.file.empty())
        OpenDocument(m_command.file);
    else if (KeepOrSetAside(lastList))
        OpenDocument(lastList);
    if (m_core.List().Count() == 0 && CheckCd(false, false))
        m_core.SetRunStop(true);
    // A file opened from the desktop plays at once.
    if (!m_command.file.empty())
        m_core.SetRunStop(true);
    LoadCases();

    StartControllers();
    m_initialised = true;
    CSkinForm::SetInputEnabled(true);
    // The toolkit ends the process by itself when the display goes away: what the user had is
    // saved first.
    static const bool s_hooked = std::atexit(&CPlayerApp::SaveAtUnplannedExit) == 0;
    if (s_hooked) {
        s_running = this;
        s_runningThread = std::this_thread::get_id();
    }
    return true;
}

int CPlayerApp::ExitInstance()
{
    if (s_running == this)
        s_running = nullptr;
    m_instance.Release();
    m_cdWatcher.reset();
    m_controllers.reset(); // stops the MIDI thread, which touches the fader hold
    m_faderHold.reset();
    // What was found so far is kept with the lists; the track being read is given up.
    if (m_analysis != nullptr) {
        ApplyAnalyses();
        m_analysis.reset();
    }
    if (!m_initialised) {
        CloseOutputs();
        return m_exitCode;
    }
    SaveAll(true);
    return m_exitCode;
}

void CPlayerApp::SaveAll(bool mayAsk)
{
    CloseOutputs();
    m_core.PollEvents();

    m_settings.autoFadeTime = m_core.Automix().FadeTime();
    m_settings.playlistRepeat = m_core.Automix().RepeatAll() ? 1 : 0;
    const bool withWindow = m_mainDialog != nullptr && m_mainDialog->Window() != nullptr;
    PanelSettings panels;
    if (withWindow) {
        const QPoint position = m_mainDialog->RestoredPosition();
        m_settings.windowPosX = position.x();
        m_settings.windowPosY = position.y();
        panels = m_mainDialog->Panels();
    }
    if (!CSettingsStore(SettingsPath()).Write(m_settings, m_core.Controls(), panels, withWindow))
        std::fprintf(stderr, "quandel-player: the settings could not be written to %s\n",
                     SettingsPath().c_str());

    // Tracks of a CD that is gone cannot be played from the list; a mix that named them no
    // longer fits it.
    if (m_core.List().Refresh(true) != 0)
        m_core.Mix().Clear();
    // Each answer is followed by one more try; Cancel ends the loop after it. Folders the user
    // was told at start cannot be written are not asked about again.
    while (!SaveTimeLine()) {
        if (!mayAsk || m_foldersReadOnly) {
            std::fprintf(stderr, "quandel-player: the Time Line could not be saved to %slast.qzl\n",
                         m_dataFolder.c_str());
            break;
        }
        const auto answer =
            QMessageBox::warning(DialogParent(), QString::fromLatin1(kProgramTitle), Text(kStringSaveFailed),
                                 QMessageBox::Retry | QMessageBox::Cancel);
        if (answer != QMessageBox::Retry) {
            SaveTimeLine();
            break;
        }
    }
    SaveCases();
    m_initialised = false;
}

void CPlayerApp::SaveAtUnplannedExit()
{
    // Only the user-interface thread's exit, while the window is open: the toolkit ends the
    // process when its display went away. Nothing may be asked; the process then ends at once,
    // as the threads still running would not survive the program's static destructors.
    CPlayerApp* app = s_running;
    if (app == nullptr || !app->m_initialised || std::this_thread::get_id() != s_runningThread)
        return;
    s_running = nullptr;
    std::fprintf(stderr, "quandel-player: the display went away; saving the settings and lists\n");
    app->m_instance.Release();
    app->m_cdWatcher.reset();
    app->SaveAll(false);
    std::fflush(nullptr);
    std::_Exit(kExitStartFailed);
}

void CPlayerApp::CheckSaveFolders()
{
    const std::string settingsFolder = std::filesystem::path(SettingsPath()).parent_path().string();
    for (const std::string& folder : {settingsFolder, m_dataFolder}) {
        if (CanWriteIn(folder))
            continue;
        m_foldersReadOnly = true;
        std::fprintf(stderr, "quandel-player: %s cannot be written: settings and lists will not be saved\n",
                     folder.c_str());
        QMessageBox::warning(
            DialogParent(), QString::fromLatin1(kProgramTitle),
            Text(StringId::CannotSave).replace(QStringLiteral("%s"), QString::fromStdString(folder)));
        return;
    }
}

bool CPlayerApp::SaveTimeLine()
{
    return m_core.SaveDocument(m_dataFolder + "last.qzl");
}

void CPlayerApp::SaveCases()
{
    for (int i = 1; i <= CPlayerCore::kCases; ++i) {
        const std::string path = m_dataFolder + "case" + std::to_string(i) + ".qzl";
        if (!CXmlPlaylist::Save(m_core.Case(i - 1), path))
            std::fprintf(stderr, "quandel-player: case %d could not be saved to %s\n", i, path.c_str());
    }
}

bool CPlayerApp::KeepOrSetAside(const std::string& path)
{
    if (!Exists(path))
        return false;
    if (CXmlPlaylist::Peek(path) != CXmlPlaylist::kNotAList)
        return true;
    std::string aside = path + ".bad";
    for (int n = 1; Exists(aside) && n < 1000; ++n)
        aside = path + "." + std::to_string(n) + ".bad";
    if (std::rename(path.c_str(), aside.c_str()) == 0)
        std::fprintf(stderr, "quandel-player: %s is not a list the player can read; kept as %s\n",
                     path.c_str(), aside.c_str());
    else
        std::fprintf(stderr, "quandel-player: %s is not a list the player can read\n", path.c_str());
    return false;
}

void CPlayerApp::LoadCases()
{
    for (int i = 1; i <= CPlayerCore::kCases; ++i) {
        const std::string path = m_dataFolder + "case" + std::to_string(i) + ".qzl";
        if (KeepOrSetAside(path))
            CXmlPlaylist::Load(m_core.Case(i - 1), path, false);
    }
}

bool CPlayerApp::OpenDocument(const std::string& path)
{
    m_busy = true;
    const bool opened = m_core.OpenDocument(path);
    m_core.Publish(true);
    if (opened && m_analysis != nullptr)
        m_analysis->Queue(m_core.List(), 0, m_core.List().Count(), false);
    m_busy = false;
    return opened;
}

void CPlayerApp::PollHandover()
{
    // A file handed over while the player still starts waits for the start to finish: the
    // last Time Line would replace it otherwise.
    if (m_busy || !m_initialised)
        return;
    std::string path;
    if (m_instance.TakeHandover(path) && !path.empty())
        OpenDocument(path);
}

void CPlayerApp::PollCore()
{
    if (m_analysis != nullptr)
        ApplyAnalyses();
    m_core.PollEvents();
}

void CPlayerApp::ApplyAnalyses()
{
    // Every display tick: nothing here allocates while no result waits.
    std::array<CPlaylist*, 1 + CPlayerCore::kCases> lists{&m_core.List()};
    for (int i = 0; i < CPlayerCore::kCases; ++i)
        lists[static_cast<size_t>(i) + 1] = &m_core.Case(i);
    m_analysis->Apply(lists);
}

void CPlayerApp::PollOutput()
{
    if (!m_initialised || !m_outputOpen || m_outputLosing || m_quitRequested || m_output.Running())
        return;
    m_outputLosing = true;
    CloseOutputs();
    std::fprintf(stderr, "quandel-player: the sound device stopped playing\n");
    const auto answer =
        QMessageBox::warning(DialogParent(), QString::fromLatin1(kProgramTitle),
                             Text(StringId::SoundDeviceLost), QMessageBox::Retry | QMessageBox::Cancel);
    // Retry opens the same device again; when it is still not there, the user is asked as at
    // start-up (and may choose another in the setup). Cancel ends the player as closing it does.
    const bool playing = answer == QMessageBox::Retry && !m_quitRequested && OpenOutputs();
    if (!playing && !m_quitRequested && m_mainDialog != nullptr && m_mainDialog->Window() != nullptr)
        m_mainDialog->Window()->close();
    m_outputLosing = false;
}

std::string CPlayerApp::CdRoot() const
{
    const std::string image = CCdDrive::DiscImage();
    if (!image.empty())
        return std::filesystem::path(image).parent_path().string();
    const std::vector<std::string> devices = CCdDrive::ListDevices();
    const int index = CMediaDrives::Program().CdLetter() - 'D';
    if (index < 0 || static_cast<size_t>(index) >= devices.size())
        return {};
    std::error_code error;
    const std::filesystem::path device =
        std::filesystem::canonical(devices[static_cast<size_t>(index)], error);
    std::ifstream mounts("/proc/self/mounts");
    std::string source;
    std::string target;
    std::string rest;
    while (mounts >> source >> target && std::getline(mounts, rest)) {
        const std::filesystem::path mounted = std::filesystem::canonical(UnescapeMountField(source), error);
        if (!error && mounted == device)
            return UnescapeMountField(target);
    }
    return {};
}

bool CPlayerApp::CheckCd(bool askAlways, bool askForMix)
{
    if (m_busy)
        return false;
    const std::string root = CdRoot();
    const std::string index = root.empty() ? std::string() : root + "/index.qzl";
    std::string mixTitle;
    const int peek =
        index.empty() || !Exists(index) ? CXmlPlaylist::kNotAList : CXmlPlaylist::Peek(index, &mixTitle);
    CMediaDrives& drives = CMediaDrives::Program();
    if (drives.CdDrives().empty())
        return false;
    drives.SelectCdDrive(drives.CdLetter());
    if (!drives.CdHasAudio() && peek == CXmlPlaylist::kNotAList)
        return false;
    bool useMix = peek == CXmlPlaylist::kListWithMix;
    if (askAlways || (askForMix && useMix)) {
        const std::string second = useMix
                                       ? Text(kStringPlayRecordedMix)
                                             .replace(QStringLiteral("%s"), QString::fromStdString(mixTitle))
                                             .toStdString()
                                       : std::string();
        const int choice = ChoosePlayOrder(DialogParent(), second, useMix);
        if (choice < 0)
            return false;
        useMix = useMix && choice == 1;
    }
    m_busy = true;
    m_core.SetRunStop(false);
    Settle(kSettleMs);
    m_core.Engine().UnloadTrack(0);
    m_core.Engine().UnloadTrack(1);
    if (peek == CXmlPlaylist::kListWithMix && useMix) {
        m_core.OpenDocument(index);
    } else if (peek != CXmlPlaylist::kNotAList) {
        m_core.Mix().Clear();
        CXmlPlaylist::Load(m_core.List(), index, false);
        m_core.SetPlaybackMode(CPlayerCore::kAutomix);
    } else {
        m_core.Mix().Clear();
        m_core.List().FillFromCd();
        m_core.SetPlaybackMode(CPlayerCore::kAutomix);
    }
    m_core.Publish(true);
    m_busy = false;
    return true;
}

void CPlayerApp::PollCdDrive()
{
    // A change met while a list is being opened, or while a dialog is open (the question about
    // the last disc, or a CD check of the load menu asking its own), stays with the watcher
    // until a later call.
    if (!m_initialised || m_busy || m_cdPolling || m_quitRequested ||
        QApplication::activeModalWidget() != nullptr)
        return;
    WatchCdDrive();
    if (m_cdWatcher == nullptr)
        return;
    m_cdPolling = true;
    while (const std::optional<CCdWatcher::Change> change = m_cdWatcher->Take()) {
        if (*change == CCdWatcher::Change::Arrival)
            OnCdArrival();
        else
            OnCdRemoval();
        RecheckLists();
        if (m_quitRequested)
            break;
    }
    m_cdPolling = false;
}

void CPlayerApp::WatchCdDrive()
{
    const std::string image = CCdDrive::DiscImage();
    const CMediaDrives& drives = CMediaDrives::Program();
    std::string watched = image.empty() ? std::string(1, drives.CdLetter()) : image;
    if (watched == m_cdWatched)
        return;
    m_cdWatched = std::move(watched);
    m_cdWatcher.reset();
    if (!image.empty()) {
        m_cdWatcher = std::make_unique<CCdWatcher>(CCdWatcher::Target::DiscImage, image);
        return;
    }
    const std::vector<std::string> devices = CCdDrive::ListDevices();
    const int index = drives.CdLetter() - 'D';
    if (index >= 0 && static_cast<size_t>(index) < devices.size())
        m_cdWatcher =
            std::make_unique<CCdWatcher>(CCdWatcher::Target::Drive, devices[static_cast<size_t>(index)]);
}

void CPlayerApp::OnCdArrival()
{
    // The table of contents still held belongs to the disc that went; the CD check selects the
    // drive again, which reads the new one.
    CMediaDrives& drives = CMediaDrives::Program();
    drives.Reader().CloseAudioCd();
    drives.Scan();
    if (CheckCd(true, true))
        m_core.SetRunStop(true);
}

void CPlayerApp::OnCdRemoval()
{
    // Closed first: the table of contents held would still answer for the tracks that went.
    CMediaDrives& drives = CMediaDrives::Program();
    drives.Reader().CloseAudioCd();
    drives.Scan();
    drives.SelectCdDrive(drives.CdLetter());
    m_busy = true;
    if (m_core.List().Refresh(true) != 0) {
        // A mix that named the tracks no longer fits the list.
        m_core.SetRunStop(false);
        m_core.Mix().Clear();
    }
    m_core.Publish();
    m_busy = false;
}

void CPlayerApp::RecheckLists()
{
    m_busy = true;
    m_core.List().Refresh(false);
    for (int i = 0; i < CPlayerCore::kCases; ++i)
        m_core.Case(i).Refresh(false);
    m_core.Publish();
    m_busy = false;
}

void CPlayerApp::ListDevices()
{
    m_devices.clear();
    COutputDeviceInfo record;
    for (uint32_t id = 0; GetDevice(id, record) == 0; id = record.device + 1) {
        if (record.master != 0)
            m_devices.push_back({record.name, record.device});
        if (record.device == UINT32_MAX)
            break;
    }
}

void CPlayerApp::SelectCdDrive()
{
    if (!m_settings.cdImage.empty())
        CCdDrive::SetDiscImage(m_settings.cdImage);
    CMediaDrives& drives = CMediaDrives::Program();
    drives.Scan();
    const std::vector<char>& letters = drives.CdDrives();
    if (letters.empty())
        return;
    char letter = letters.front();
    for (const char candidate : letters)
        if (candidate == m_settings.driveAudioCd)
            letter = candidate;
    drives.SelectCdDrive(letter);
    if (m_settings.cdImage.empty())
        m_settings.driveAudioCd = letter;
}

bool CPlayerApp::TryOpenOutputs()
{
    // Only the device the user chose: when it is gone, the user is asked, not given another.
    if (GetDevice(static_cast<uint32_t>(m_settings.outputDevice), m_masterRecord) != 0 ||
        m_masterRecord.device != static_cast<uint32_t>(m_settings.outputDevice))
        return false;
    m_masterRecord.sampleRate = m_settings.outputFrequency;
    m_masterRecord.blockFrames = static_cast<uint32_t>(m_settings.outputBlockSize);
    m_masterRecord.bytesPerSample = m_settings.outputResolution;
    m_masterRecord.stereo = m_settings.outputStereo != 0 ? 1 : 0;
    if (m_output.OpenMaster(m_masterRecord) == nullptr)
        return false;
    if (GetDevice(OutputIds::kWavRecorder, m_recorderRecord) != 0 ||
        m_recorderRecord.device != OutputIds::kWavRecorder)
        return false;
    return m_output.AttachSecondary(m_recorderRecord) != nullptr;
}

bool CPlayerApp::OpenOutputs()
{
    CloseOutputs();
    while (!TryOpenOutputs()) {
        CloseOutputs();
        const auto answer =
            QMessageBox::warning(DialogParent(), QString::fromLatin1(kProgramTitle),
                                 Text(kStringOpenDeviceFailed), QMessageBox::Retry | QMessageBox::Cancel);
        if (answer != QMessageBox::Retry || m_quitRequested)
            return false;
        RunSetup();
        if (m_quitRequested)
            return false;
    }
    // The core gets ready here, on this thread (the engine starts its loader and refill threads,
    // the first snapshot is published), before the driver asks it for a block; the manager's
    // Stop ends it after the last.
    m_core.Start(m_clientRecord.flags);
    if (m_output.Start(m_core, m_clientRecord) != 0) {
        CloseOutputs();
        QMessageBox::critical(DialogParent(), QString::fromLatin1(kProgramTitle), Text(kStringInternalError));
        return false;
    }
    m_outputOpen = true;
    return true;
}

void CPlayerApp::CloseOutputs()
{
    m_outputOpen = false;
    if (m_output.Running())
        m_output.Stop();
    m_output.Close();
}

bool CPlayerApp::RunSetup()
{
    std::vector<SetupDevice> devices;
    for (const OutputDeviceChoice& device : m_devices)
        devices.push_back({device.name, static_cast<int32_t>(device.id)});
    PlayerSettings edited = m_settings;
    edited.outputChanged = false;
    // The Controllers page once the controllers run (not at the first start, before them).
    SetupControllers controllers;
    if (m_controllers != nullptr) {
        for (const MidiDeviceInfo& device : m_controllers->Devices())
            controllers.devices.push_back({device.port, device.mapping, device.open});
        controllers.mappings = m_controllers->MappingNames();
        controllers.problems = m_controllers->Problems();
        controllers.learn = m_controllers->Learning();
    }
    const SetupControllers before = controllers;
    if (::RunSetup(DialogParent(), edited, devices, CMediaDrives::Program().CdDrives(),
                   m_controllers != nullptr ? &controllers : nullptr) != 1)
        return false;
    if (m_controllers != nullptr) {
        for (size_t i = 0; i < controllers.devices.size(); ++i) {
            if (controllers.devices[i].mapping != before.devices[i].mapping)
                m_controllers->ChooseMapping(controllers.devices[i].port, controllers.devices[i].mapping);
        }
        m_controllers->SetLearning(controllers.learn);
    }
    const bool outputChanged = edited.outputChanged;
    edited.outputChanged = false;
    m_settings = edited;
    m_core.SetTimeLineModeFixed(m_settings.timeLineModeFixed != 0);
    m_core.Automix().SetSkipSilence(m_settings.automixSkipSilence != 0);
    m_core.Automix().SetLevelTracks(m_settings.automixLevelTracks != 0);
    if (m_settings.cdImage.empty() && m_settings.driveAudioCd != 0)
        CMediaDrives::Program().SelectCdDrive(m_settings.driveAudioCd);
    WriteAssociations();
    return outputChanged;
}

void CPlayerApp::Setup()
{
    const bool wasRunning = m_output.Running();
    if (RunSetup() && wasRunning && !OpenOutputs()) {
        // The new device failed and the user gave up: the program cannot play on.
        m_mainDialog->Window()->close();
    }
}

void CPlayerApp::About()
{
    ShowAbout(DialogParent(), *m_pictures);
}

void CPlayerApp::WriteAssociations()
{
    CFileAssociations::ForUser(m_programPath).Write(m_settings);
}

QWidget* CPlayerApp::DialogParent() const
{
    return m_mainDialog != nullptr ? m_mainDialog->Window() : nullptr;
}

void CPlayerApp::OnShutdownSignal()
{
    m_quitRequested = true;
    // A dialog open now ends as if cancelled; the window then closes as if the user closed it.
    if (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    if (m_initialised && m_mainDialog != nullptr && m_mainDialog->Window() != nullptr)
        m_mainDialog->Window()->close();
}

// ---- DJ controllers ------------------------------------------------------------------------

void CPlayerApp::StartControllers()
{
    MidiControllersOptions options;
    // The shipped mappings beside an installed program, or in the source tree of a build; the
    // user's own after them, so a file of the same name replaces the shipped one.
    const std::string programFolder = std::filesystem::path(m_programPath).parent_path().string();
    options.mappingFolders = {programFolder + "/../share/quandel-player/mappings", QUANDEL_SHIPPED_MAPPINGS,
                              m_dataFolder + "mappings"};
    // The controller's cross-fader holds Automix off before its value is written, so that
    // Automix never moves it back in between.
    m_faderHold = std::make_unique<CControllerFaderHold>(m_core);
    options.crossFaderTouched = [hold = m_faderHold.get()] {
        hold->Touch(CControllerFaderHold::Clock::now());
    };
    m_controllers = std::make_unique<CMidiControllers>(m_core.Controls(), options);
    // What could not be used is shown on the setup sheet's Controllers page.
    m_controllers->Start();
}

void CPlayerApp::PollControllers()
{
    if (m_controllers == nullptr || m_mainDialog == nullptr)
        return;
    MidiCommand command{};
    while (m_controllers->TakeCommand(command))
        m_mainDialog->RunControllerCommand(command);
    m_faderHold->Poll(CControllerFaderHold::Clock::now());
    m_controllers->SaveLearned();
}

void CPlayerApp::LearnControl(int32_t controlId, int deck)
{
    if (m_controllers != nullptr && m_controllers->Learning())
        m_controllers->LearnTarget(controlId, deck);
}

bool CPlayerApp::Learning() const
{
    return m_controllers != nullptr && m_controllers->Learning();
}
