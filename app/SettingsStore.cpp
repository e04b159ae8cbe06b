#include "SettingsStore.h"

#include "ControlFunction.h"
#include "ControlTable.h"

#include <QSettings>
#include <QString>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>

namespace {

constexpr int32_t kHighestDevice = 1535; // the last four-channel sound server output
constexpr int32_t kMinBlockFrames = 128;
constexpr int32_t kMaxBlockFrames = 16384; // 128 ticks
constexpr int32_t kMinRateHz = 8000;
constexpr int32_t kMinPanelHeight = 120;
constexpr int32_t kMaxPanelHeight = 4000;

// The value as a whole number, or fallback when it is missing or something else.
int32_t Number(const QSettings& file, const char* name, int32_t fallback)
{
    const QVariant value = file.value(QString::fromLatin1(name));
    if (!value.isValid())
        return fallback;
    bool ok = false;
    const qlonglong number = value.toString().trimmed().toLongLong(&ok);
    if (!ok || number < INT32_MIN || number > INT32_MAX)
        return fallback;
    return static_cast<int32_t>(number);
}

int32_t InRange(const QSettings& file, const char* name, int32_t fallback, int32_t low, int32_t high)
{
    const int32_t value = Number(file, name, fallback);
    return value < low || value > high ? fallback : value;
}

int32_t Flag(const QSettings& file, const char* name, int32_t fallback)
{
    return Number(file, name, fallback) != 0 ? 1 : 0;
}

void ReadControl(const QSettings& file, const char* name, CControlTable& controls, int32_t id,
                 int32_t fallback)
{
    const CControlFunction* function = controls.FindFunction(id);
    const int32_t high = function != nullptr ? function->Maximum() : 255;
    controls.SetValue(id, 0, InRange(file, name, fallback, 0, high), Marks::ChangedAndApply);
}

} // namespace

std::string CSettingsStore::DefaultPath()
{
    std::string folder;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && config[0] == '/')
        folder = config;
    else if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        folder = std::string(home) + "/.config";
    else
        folder = "/tmp";
    return folder + "/Kelmaric/Quandel Player.conf";
}

CSettingsStore::CSettingsStore(std::string path) : m_path(std::move(path))
{
}

int32_t CSettingsStore::EncodeFadeTime(float seconds)
{
    // In double, so -3.0 s gives 9970 and not 9969.99.
    const double stored = (static_cast<double>(seconds) + 1000.0) * 10.0;
    return static_cast<int32_t>(std::clamp(stored, 0.0, static_cast<double>(INT32_MAX)));
}

float CSettingsStore::DecodeFadeTime(int32_t stored)
{
    return static_cast<float>(stored * 0.1 - 1000.0);
}

void CSettingsStore::Read(PlayerSettings& settings, CControlTable& controls) const
{
    const QSettings file(QString::fromStdString(m_path), QSettings::IniFormat);
    const int32_t run = InRange(file, "Run", 0, 0, INT32_MAX - 1);
    settings.run = run + 1;
    settings.outputDevice = InRange(file, "OutputDevice", settings.outputDevice, 0, kHighestDevice);
    settings.outputFrequency = static_cast<uint16_t>(
        InRange(file, "OutputFrequency", settings.outputFrequency, kMinRateHz, UINT16_MAX));
    // A block outside the drivers' range is clamped to it; one that is not a size at all keeps
    // the default.
    const int32_t block = Number(file, "OutputBlockSize", settings.outputBlockSize);
    settings.outputBlockSize =
        block <= 0 ? settings.outputBlockSize : std::clamp(block, kMinBlockFrames, kMaxBlockFrames);
    settings.outputResolution =
        static_cast<uint8_t>(InRange(file, "OutputResolution", settings.outputResolution, 1, 2));
    settings.outputStereo = Flag(file, "OutputStereo", settings.outputStereo);
    settings.windowPosX = InRange(file, "WindowPosX", settings.windowPosX, -32768, 32767);
    settings.windowPosY = InRange(file, "WindowPosY", settings.windowPosY, -32768, 32767);
    // A letter, kept as its character code; or the cue sheet of a disc image that serves as the
    // drive.
    const QString drive = file.value(QStringLiteral("DriveAudioCD")).toString().trimmed();
    if (drive.startsWith(QLatin1Char('/'))) {
        settings.cdImage = drive.toStdString();
    } else {
        const int32_t letter = Number(file, "DriveAudioCD", settings.driveAudioCd);
        const int32_t upper = letter >= 'a' && letter <= 'z' ? letter - 'a' + 'A' : letter;
        settings.driveAudioCd = upper >= 'A' && upper <= 'Z' ? static_cast<char>(upper) : 0;
    }
    settings.registerQzl = Flag(file, "RegisterQZL", settings.registerQzl);
    settings.registerQzx = Flag(file, "RegisterQZX", settings.registerQzx);
    settings.registerM3u = Flag(file, "RegisterM3U", settings.registerM3u);
    settings.registerMp3 = Flag(file, "RegisterMP3", settings.registerMp3);
    settings.registerWav = Flag(file, "RegisterWAV", settings.registerWav);
    settings.registerCda = Flag(file, "RegisterCDA", settings.registerCda);
    settings.registerAudioCd = Flag(file, "RegisterAudioCD", settings.registerAudioCd);
    settings.playlistRecDirAdd = Flag(file, "PlaylistRecDirAdd", settings.playlistRecDirAdd);
    settings.playlistRepeat = Flag(file, "PlaylistRepeat", settings.playlistRepeat);
    const int32_t fade = Number(file, "AutoFadeTime", -1);
    if (fade >= 0) {
        // Stored values go in steps of 0.1 s; rounding the decoded value keeps -3.0 from
        // turning into -3.0000305.
        const float seconds = std::round(DecodeFadeTime(fade) * 10.0f) / 10.0f;
        settings.autoFadeTime = std::clamp(seconds, kMinFadeSeconds, kMaxFadeSeconds);
    }
    ReadControl(file, "XFadeMode", controls, ControlId::XFaderMode, 0);
    ReadControl(file, "MasterVolume", controls, ControlId::MasterVolume, 128);
    settings.toolTips = Flag(file, "ToolTips", settings.toolTips);
    settings.timeLineModeFixed = Flag(file, "TimeLineModeFixed", settings.timeLineModeFixed);
    settings.automixSkipSilence = Flag(file, "AutomixSkipSilence", settings.automixSkipSilence);
    settings.automixLevelTracks = Flag(file, "AutomixLevelTracks", settings.automixLevelTracks);
    const QString folder = file.value(QStringLiteral("DefaultLoadDir")).toString();
    if (!folder.isEmpty() && folder.size() < 4096)
        settings.defaultLoadDir = folder.toStdString();
}

void CSettingsStore::ReadPanels(PanelSettings& panels) const
{
    QSettings file(QString::fromStdString(m_path), QSettings::IniFormat);
    file.beginGroup(QStringLiteral("Apperance"));
    panels.mixerOpen = Flag(file, "PanelMixerOpen", panels.mixerOpen);
    panels.mixViewOpen = Flag(file, "PanelMixViewOpen", panels.mixViewOpen);
    panels.playListOpen = Flag(file, "PanelPlayListOpen", panels.playListOpen);
    const int32_t height = Number(file, "PanelPlayListHeight", panels.playListHeight);
    panels.playListHeight =
        height <= 0 ? panels.playListHeight : std::clamp(height, kMinPanelHeight, kMaxPanelHeight);
    file.endGroup();
}

bool CSettingsStore::Write(const PlayerSettings& settings, const CControlTable& controls,
                           const PanelSettings& panels, bool withWindow) const
{
    QSettings file(QString::fromStdString(m_path), QSettings::IniFormat);
    const auto put = [&file](const char* name, const QVariant& value) {
        file.setValue(QString::fromLatin1(name), value);
    };
    put("Run", settings.run);
    put("OutputDevice", settings.outputDevice);
    put("OutputFrequency", settings.outputFrequency);
    put("OutputBlockSize", settings.outputBlockSize);
    put("OutputResolution", settings.outputResolution);
    put("OutputStereo", settings.outputStereo);
    if (!settings.cdImage.empty())
        put("DriveAudioCD", QString::fromStdString(settings.cdImage));
    else
        put("DriveAudioCD", static_cast<int>(settings.driveAudioCd));
    put("RegisterQZL", settings.registerQzl);
    put("RegisterQZX", settings.registerQzx);
    put("RegisterM3U", settings.registerM3u);
    put("RegisterMP3", settings.registerMp3);
    put("RegisterWAV", settings.registerWav);
    put("RegisterCDA", settings.registerCda);
    put("RegisterAudioCD", settings.registerAudioCd);
    if (withWindow) {
        put("WindowPosX", settings.windowPosX);
        put("WindowPosY", settings.windowPosY);
    }
    put("PlaylistRecDirAdd", settings.playlistRecDirAdd);
    put("PlaylistRepeat", settings.playlistRepeat);
    put("AutoFadeTime", EncodeFadeTime(settings.autoFadeTime));
    put("XFadeMode", controls.GetValue(ControlId::XFaderMode, 0));
    put("ToolTips", settings.toolTips);
    put("TimeLineModeFixed", settings.timeLineModeFixed);
    put("AutomixSkipSilence", settings.automixSkipSilence);
    put("AutomixLevelTracks", settings.automixLevelTracks);
    put("MasterVolume", controls.GetValue(ControlId::MasterVolume, 0));
    put("DefaultLoadDir", QString::fromStdString(settings.defaultLoadDir));
    file.beginGroup(QStringLiteral("Apperance"));
    put("PanelMixerOpen", panels.mixerOpen);
    put("PanelMixViewOpen", panels.mixViewOpen);
    put("PanelPlayListOpen", panels.playListOpen);
    put("PanelPlayListHeight", panels.playListHeight);
    file.endGroup();
    file.sync();
    return file.status() == QSettings::NoError;
}
