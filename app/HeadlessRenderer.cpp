#include "HeadlessRenderer.h"

#include "AudioEngine.h"
#include "AudioSource.h"
#include "DemoTracks.h"
#include "M3uPlaylist.h"
#include "OfflineOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"
#include "PlayerCore.h"
#include "WavRecorderOutput.h"
#include "XmlPlaylist.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr double kTickSeconds = 128.0 / 44100.0;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Clock(double seconds)
{
    const auto whole = static_cast<long>(std::max(0.0, seconds));
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

// The player core as the renderer drives it: it notes each change-over as it happens and the
// tick at which the Time Line stopped, without allocating on the rendering thread.
class CRenderCore : public CPlayerCore {
public:
    struct Event {
        uint32_t tick;
        int deck;
        int entryIndex; // in the Time Line list
    };
    static constexpr int kMaxEvents = 4096;

    void Arm(uint32_t endTick) { m_limitTick = endTick; }
    // Before the first block: one Automix step asks for the first track, which is loaded at
    // once, so the mix starts with the first tick rather than a block later.
    void Prime(uint32_t refillMs)
    {
        CPlayerCore::ScheduleTimeLine();
        Engine().ServeRequestsNow(refillMs);
    }

    void ScheduleTimeLine() noexcept override
    {
        CPlayerCore::ScheduleTimeLine();
        const bool running = RunStop();
        if (running)
            m_started = true;
        NoteChangeOvers();
        const uint32_t tick = m_tick.load(std::memory_order_relaxed);
        if (m_endTick.load() == UINT32_MAX &&
            ((m_started && !running) || tick >= m_limitTick || tick >= m_lastTrackEnd))
            m_endTick.store(std::min(tick, m_lastTrackEnd));
        m_tick.fetch_add(1, std::memory_order_relaxed);
    }

    int Render(ClientRecord& record, CAudioBus& bus, uint16_t firstTick, uint16_t tickCount) noexcept override
    {
        CPlayerCore::Render(record, bus, firstTick, tickCount);
        return Finished() ? 0 : 1;
    }

    bool Finished() const noexcept { return m_endTick.load() != UINT32_MAX; }
    uint32_t EndTick() const noexcept { return m_endTick.load(); }
    uint32_t TicksDone() const noexcept { return m_tick.load(std::memory_order_relaxed); }
    int EventCount() const noexcept { return m_eventCount.load(std::memory_order_acquire); }
    const Event& EventAt(int i) const noexcept { return m_events[static_cast<size_t>(i)]; }

private:
    void Note(int deck, int entryIndex) noexcept
    {
        const int n = m_eventCount.load(std::memory_order_relaxed);
        if (n < kMaxEvents) {
            m_events[static_cast<size_t>(n)] = {m_tick.load(std::memory_order_relaxed), deck, entryIndex};
            m_eventCount.store(n + 1, std::memory_order_release);
        }
    }

    void NoteChangeOvers() noexcept
    {
        if (PlaybackModeValue() == kDjMix) {
            // A mix changes tracks when a deck starts playing a track it did not play before.
            for (int deck = 0; deck < 2; ++deck) {
                const bool playing = Engine().Deck(deck).Playing();
                const int entry = Engine().LoadedEntry(deck);
                if (playing && entry >= 0 && entry != m_heard[deck]) {
                    m_heard[deck] = entry;
                    Note(deck, List().IndexOfId(entry));
                }
            }
            return;
        }
        const int transition = Automix().Transition();
        if (!m_firstNoted && m_started) {
            m_firstNoted = true;
            const TimeLineCursor cursor = TimeLine().CurrentAndNext();
            Note(cursor.deck, List().IndexOfId(cursor.track));
        }
        if (transition == CAutomix::kChangeOver && m_lastTransition != CAutomix::kChangeOver) {
            const TimeLineCursor cursor = TimeLine().CurrentAndNext();
            if (cursor.nextTrack >= 0) {
                Note(cursor.nextDeck, List().IndexOfId(cursor.nextTrack));
            } else if (!Automix().RepeatAll()) {
                // The last track's own end is the end of the mix: what follows is the fade to
                // an empty deck, or a pause before nothing.
                const double remaining = Engine().Deck(cursor.deck).RemainingSeconds();
                m_lastTrackEnd = m_tick.load(std::memory_order_relaxed) +
                                 static_cast<uint32_t>(std::ceil(remaining / kTickSeconds));
            }
        }
        m_lastTransition = transition;
    }

    std::atomic<uint32_t> m_tick{0}; // read by the progress display
    uint32_t m_limitTick = UINT32_MAX;
    uint32_t m_lastTrackEnd = UINT32_MAX;
    bool m_started = false;
    bool m_firstNoted = false;
    int m_lastTransition = CAutomix::kIdle;
    std::array<int, 2> m_heard{-1, -1};
    std::atomic<uint32_t> m_endTick{UINT32_MAX};
    std::array<Event, kMaxEvents> m_events{};
    std::atomic<int> m_eventCount{0};
};

// Keeps frames [first, end) of a 16-bit stereo WAV written by the recorder and fixes its sizes;
// returns the peak sample magnitude of what remains.
bool TrimWav(const std::string& path, uint64_t first, uint64_t end, int& peak)
{
    std::fstream file(path, std::ios::binary | std::ios::in | std::ios::out);
    if (!file)
        return false;
    file.seekg(0, std::ios::end);
    const uint64_t bytes = static_cast<uint64_t>(file.tellg());
    const uint64_t have = bytes > 44 ? (bytes - 44) / 4 : 0;
    end = std::min(end, have);
    first = std::min(first, end);
    std::vector<char> block(1 << 20);
    uint64_t readAt = 44 + first * 4;
    uint64_t writeAt = 44;
    uint64_t left = (end - first) * 4;
    peak = 0;
    while (left > 0) {
        const auto n = static_cast<std::streamsize>(std::min<uint64_t>(block.size(), left));
        file.seekg(static_cast<std::streamoff>(readAt));
        file.read(block.data(), n);
        for (std::streamsize i = 0; i + 1 < n; i += 2) {
            const auto sample =
                static_cast<int16_t>(static_cast<uint8_t>(block[static_cast<size_t>(i)]) |
                                     static_cast<uint8_t>(block[static_cast<size_t>(i + 1)]) << 8);
            peak = std::max(peak, std::abs(static_cast<int>(sample)));
        }
        if (readAt != writeAt) {
            file.seekp(static_cast<std::streamoff>(writeAt));
            file.write(block.data(), n);
        }
        readAt += static_cast<uint64_t>(n);
        writeAt += static_cast<uint64_t>(n);
        left -= static_cast<uint64_t>(n);
    }
    const auto dataBytes = static_cast<uint32_t>((end - first) * 4);
    auto put32 = [&](std::streamoff at, uint32_t v) {
        char b[4] = {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                     static_cast<char>(v >> 24)};
        file.seekp(at);
        file.write(b, 4);
    };
    put32(4, 36 + dataBytes);
    put32(40, dataBytes);
    const bool written = static_cast<bool>(file);
    file.close();
    std::error_code ec;
    fs::resize_file(path, 44 + dataBytes, ec);
    return written && !ec;
}

std::string ProgramFolder()
{
    std::error_code ec;
    const fs::path self = fs::read_symlink("/proc/self/exe", ec);
    return ec ? std::string(".") : self.parent_path().string();
}

} // namespace

// ---- Options -------------------------------------------------------------------------------

const char* CHeadlessRenderer::HelpText()
{
    return "usage: quandel-render [options] [INPUT...]\n"
           "\n"
           "Renders a mix without a display. INPUT is an M3U or .qzl list, a folder, track files\n"
           "(.mp3, .wav, ...) played in Automix in the given order, or a .qzx Mix-File replayed\n"
           "with the list stored in it. Without INPUT the bundled demo is made and rendered.\n"
           "\n"
           "options:\n"
           "  -o FILE.wav       where the mix is written (default: the first input's name + .wav)\n"
           "  --fade SECONDS    Automix fade time; negative: a pause between tracks (default 8)\n"
           "  --repeat          start the list again after its last track (needs --to)\n"
           "  --from TIME       start writing at TIME (seconds, or m:ss)\n"
           "  --to TIME         stop at TIME\n"
           "  --play            play through the sound card (ALSA \"default\") in real time\n"
           "  --block TICKS     ticks of 128 frames per rendered block (1..128, default 8)\n"
           "  -q                no progress, no change-over lines, only errors and the summary\n"
           "  -h, --help        this text\n"
           "\n"
           "exit codes:\n"
           "  0  the mix was rendered\n"
           "  1  bad options\n"
           "  2  nothing to play: no input could be read, or none of its tracks\n"
           "  3  the output file or the sound device could not be used\n"
           "  4  rendered, but some tracks were missing or could not be decoded (each was named)\n";
}

namespace {

bool ParseTime(const std::string& text, double& seconds)
{
    char* end = nullptr;
    const size_t colon = text.find(':');
    if (colon != std::string::npos) {
        const long minutes = std::strtol(text.substr(0, colon).c_str(), &end, 10);
        if (*end != '\0')
            return false;
        const double rest = std::strtod(text.c_str() + colon + 1, &end);
        seconds = minutes * 60.0 + rest;
        return *end == '\0' && minutes >= 0 && rest >= 0.0;
    }
    seconds = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && seconds >= 0.0;
}

} // namespace

bool CHeadlessRenderer::ParseArguments(int argc, char** argv, Options& options, std::string& error,
                                       bool& help)
{
    help = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = arg + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string text;
        if (arg == "-h" || arg == "--help") {
            help = true;
            return true;
        } else if (arg == "-o") {
            if (!value(options.output))
                return false;
        } else if (arg == "--fade") {
            if (!value(text))
                return false;
            char* end = nullptr;
            options.fadeSeconds = std::strtof(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(options.fadeSeconds)) {
                error = "--fade wants seconds, not \"" + text + "\"";
                return false;
            }
        } else if (arg == "--from" || arg == "--to") {
            if (!value(text))
                return false;
            double seconds = 0.0;
            if (!ParseTime(text, seconds)) {
                error = arg + " wants a time in seconds or m:ss, not \"" + text + "\"";
                return false;
            }
            (arg == "--from" ? options.fromSeconds : options.toSeconds) = seconds;
        } else if (arg == "--block") {
            if (!value(text))
                return false;
            const long ticks = std::strtol(text.c_str(), nullptr, 10);
            if (ticks < 1 || ticks > 128) {
                error = "--block wants 1..128 ticks";
                return false;
            }
            options.blockTicks = static_cast<uint32_t>(ticks);
        } else if (arg == "--repeat") {
            options.repeat = true;
        } else if (arg == "--play") {
            options.play = true;
        } else if (arg == "-q") {
            options.quiet = true;
        } else if (arg.size() > 1 && arg[0] == '-') {
            error = "unknown option " + arg;
            return false;
        } else {
            options.inputs.push_back(arg);
        }
    }
    if (options.toSeconds >= 0.0 && options.toSeconds <= options.fromSeconds) {
        error = "--to must lie after --from";
        return false;
    }
    if (options.repeat && options.toSeconds < 0.0 && !options.play) {
        error = "--repeat renders forever without --to";
        return false;
    }
    return true;
}

// ---- Running -------------------------------------------------------------------------------

CHeadlessRenderer::CHeadlessRenderer(Options options, FILE* messages)
    : m_options(std::move(options)), m_messages(messages)
{
}

void CHeadlessRenderer::Report(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::vfprintf(m_messages, format, args);
    va_end(args);
    std::fflush(m_messages);
}

bool CHeadlessRenderer::PrepareDemo(std::string& listPath)
{
    const std::string folder =
        m_options.demoFolder.empty() ? ProgramFolder() + "/demo" : m_options.demoFolder;
    std::vector<std::string> files;
    std::string error;
    if (!CDemoTracks::Write(folder, m_options.demoMp3, files, error)) {
        Report("quandel-render: %s\n", error.c_str());
        return false;
    }
    CPlaylist list;
    const auto& tracks = CDemoTracks::Tracks();
    for (size_t i = 0; i < files.size(); ++i) {
        const int index = list.AddTrack(files[i], true);
        if (index < 0)
            continue;
        TrackEntry& entry = list.Entry(index);
        entry.title = tracks[i].title;
        entry.artist = "Quandel Demo";
        entry.tempo = tracks[i].bpm;
        entry.tempoQuality = 1.0f;
    }
    list.SetTitle("Quandel Player demo");
    listPath = folder + "/demo.qzl";
    if (!CXmlPlaylist::Save(list, listPath)) {
        Report("quandel-render: cannot write the demo list %s\n", listPath.c_str());
        return false;
    }
    if (m_options.output.empty())
        m_options.output = folder + "/demo-mix.wav";
    return true;
}

int CHeadlessRenderer::Run()
{
    std::vector<std::string> inputs = m_options.inputs;
    if (inputs.empty()) {
        std::string demo;
        if (!PrepareDemo(demo))
            return kOutputFailed;
        inputs.push_back(demo);
    }
    CRenderCore core;
    core.Automix().SetFadeTime(m_options.fadeSeconds);
    core.Automix().SetRepeatAll(m_options.repeat);

    // The first input that opens decides the mode; later track inputs join an Automix list.
    bool opened = false;
    int unreadable = 0;
    for (const std::string& input : inputs) {
        const std::string extension = Lower(fs::path(input).extension().string());
        if (!fs::exists(input)) {
            Report("quandel-render: %s: no such file or folder\n", input.c_str());
            ++unreadable;
            continue;
        }
        bool ok = false;
        if (!opened) {
            ok = core.OpenDocument(input);
        } else if (core.PlaybackModeValue() == CPlayerCore::kDjMix) {
            Report("quandel-render: %s: ignored, a Mix-File plays alone\n", input.c_str());
            continue;
        } else if (extension == ".qzl") {
            ok = CXmlPlaylist::Load(core.List(), input, true);
        } else if (extension == ".m3u") {
            ok = CM3uPlaylist::LoadM3u(core.List(), input, true);
        } else if (fs::is_directory(input)) {
            ok = core.List().AddFolder(input, true) > 0;
        } else {
            ok = core.List().AddTrack(input, true) >= 0;
        }
        if (!ok) {
            Report("quandel-render: %s: cannot be read as a list, a Mix-File or a track\n", input.c_str());
            ++unreadable;
            continue;
        }
        opened = true;
    }
    if (!opened) {
        Report("quandel-render: nothing to play\n");
        return kNothingToPlay;
    }

    const bool djMix = core.PlaybackModeValue() == CPlayerCore::kDjMix;
    // Every track is tried once before the run: one that is missing or that no decoder opens is
    // named and left out, so the mix goes on without a gap where it would have been.
    int skipped = unreadable;
    double totalSeconds = 0.0;
    CPlaylist& list = core.List();
    for (int i = 0; i < list.Count();) {
        TrackEntry& entry = list.Entry(i);
        std::unique_ptr<CAudioSource> source = CAudioSource::CreateForPath(entry.location.c_str());
        const bool opens = source && source->Open(entry.location.c_str()) != 0;
        double seconds = 0.0;
        if (opens) {
            seconds = static_cast<double>(source->GetBlockCount()) * source->GetBlockFrames() /
                      source->GetSampleRate();
            source->Close();
        }
        if (!opens) {
            Report("quandel-render: %s: %s, skipped\n", entry.location.c_str(),
                   fs::exists(entry.location) ? "cannot be decoded" : "missing");
            ++skipped;
            if (djMix) {
                ++i;
                continue;
            }
            list.Remove(i, true);
            continue;
        }
        if (entry.playTime <= 0)
            entry.playTime = static_cast<int32_t>(std::lround(seconds));
        totalSeconds += seconds;
        ++i;
    }
    if (djMix) {
        core.SetPlaybackMode(CPlayerCore::kDjMix);
        if (!core.MixTracksPresent()) {
            Report("quandel-render: %s\n", CPlayerCore::kMixMissingTracks);
            return kNothingToPlay;
        }
        totalSeconds = core.Mix().TickCount() * kTickSeconds;
    } else {
        core.SetPlaybackMode(CPlayerCore::kAutomix);
        if (list.Count() == 0) {
            Report("quandel-render: none of the tracks can be played\n");
            return kNothingToPlay;
        }
        // Each change-over overlaps the tracks by the fade time (a pause adds it instead).
        totalSeconds -= (list.Count() - 1) * static_cast<double>(m_options.fadeSeconds);
    }
    if (m_options.toSeconds >= 0.0) {
        totalSeconds = m_options.toSeconds;
        core.Arm(static_cast<uint32_t>(std::ceil(m_options.toSeconds / kTickSeconds)));
    }

    if (m_options.output.empty())
        m_options.output = fs::path(inputs.front()).replace_extension("").string() + ".wav";
    m_summary.outputPath = m_options.play ? std::string("the sound card") : m_options.output;

    COutputManager manager;
    COutputDeviceInfo masterRecord;
    masterRecord.blockFrames = m_options.blockTicks * 128;
    masterRecord.mainGroupMask = 1;
    const uint32_t blockMs = static_cast<uint32_t>(std::ceil(masterRecord.blockFrames * 1000.0 / 44100.0));
    if (m_options.play) {
        if (GetDevice(0, masterRecord) != 0 || manager.OpenMaster(masterRecord) == nullptr) {
            Report("quandel-render: the sound card (ALSA \"default\") cannot be opened\n");
            return kOutputFailed;
        }
    } else {
        core.Engine().SetSynchronousLoading(true);
        CAudioEngine& engine = core.Engine();
        auto driver =
            std::make_unique<COfflineOutput>([&engine, blockMs] { engine.ServeRequestsNow(blockMs); });
        if (manager.OpenMaster(masterRecord, std::move(driver)) == nullptr) {
            Report("quandel-render: the offline output cannot be opened\n");
            return kOutputFailed;
        }
    }
    CWavRecorderOutput* recorder = nullptr;
    COutputDeviceInfo recorderRecord;
    if (!m_options.play) {
        recorderRecord.device = 768;
        recorderRecord.mainGroupMask = 1;
        recorder = static_cast<CWavRecorderOutput*>(manager.AttachSecondary(recorderRecord));
        if (recorder == nullptr || recorder->StartRecording(m_options.output.c_str(), 0, 0) != 0) {
            Report("quandel-render: %s: cannot be written\n", m_options.output.c_str());
            manager.Close();
            return kOutputFailed;
        }
        recorder->SetWriting(true);
    }

    const bool terminal = !m_options.quiet && isatty(fileno(m_messages)) != 0;
    int eventsShown = 0;
    auto started = std::chrono::steady_clock::now();
    auto lastProgress = started - std::chrono::seconds(1);
    auto showEvents = [&] {
        for (; eventsShown < core.EventCount(); ++eventsShown) {
            const CRenderCore::Event& event = core.EventAt(eventsShown);
            const std::string title = event.entryIndex >= 0 && event.entryIndex < list.Count()
                                          ? list.Entry(event.entryIndex).title
                                          : std::string("(no track)");
            if (!m_options.quiet)
                Report("%s%7s  Deck %c  %s\n", terminal ? "\r\033[K" : "",
                       Clock(event.tick * kTickSeconds).c_str(), event.deck == 1 ? 'B' : 'A', title.c_str());
        }
    };
    auto showProgress = [&](bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!terminal || (!force && now - lastProgress < std::chrono::milliseconds(200)))
            return;
        lastProgress = now;
        const double done = core.TicksDone() * kTickSeconds;
        const double wall = std::chrono::duration<double>(now - started).count();
        const double fraction = totalSeconds > 0.0 ? std::clamp(done / totalSeconds, 0.0, 1.0) : 0.0;
        const int filled = static_cast<int>(fraction * 30.0);
        Report("\r\033[K[%s%s] %s / %s  %.0fx", std::string(static_cast<size_t>(filled), '#').c_str(),
               std::string(static_cast<size_t>(30 - filled), '.').c_str(), Clock(done).c_str(),
               Clock(totalSeconds).c_str(), wall > 0.0 ? done / wall : 0.0);
    };

    ClientRecord clientRecord;
    core.SetRunStop(true);
    if (!m_options.play && !djMix)
        core.Prime(blockMs);
    if (m_options.play) {
        manager.Start(core, clientRecord);
        while (!core.Finished() && manager.Running()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            showEvents();
            showProgress(false);
        }
        manager.Stop();
    } else {
        // The offline master renders on this thread until the core says it is finished; the
        // progress is drawn from the block hook's thread, which is this one.
        std::atomic<bool> done{false};
        std::thread painter([&] {
            while (!done.load()) {
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
                showEvents();
                showProgress(false);
            }
        });
        manager.Start(core, clientRecord);
        done.store(true);
        painter.join();
    }
    showProgress(true);
    if (terminal)
        Report("\r\033[K");
    showEvents();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (recorder != nullptr)
        recorder->StopRecording();
    manager.Close();

    const uint64_t endFrame =
        static_cast<uint64_t>(core.Finished() ? core.EndTick() : core.TicksDone()) * 128;
    const auto firstFrame = static_cast<uint64_t>(std::llround(m_options.fromSeconds / kTickSeconds)) * 128;
    int peak = 0;
    if (!m_options.play && !TrimWav(m_options.output, firstFrame, endFrame, peak)) {
        Report("quandel-render: %s: cannot be written\n", m_options.output.c_str());
        return kOutputFailed;
    }
    m_summary.seconds = static_cast<double>(endFrame - std::min(firstFrame, endFrame)) / 44100.0;
    m_summary.peakDb = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -200.0;
    m_summary.speed = wall > 0.0 ? static_cast<double>(endFrame) / 44100.0 / wall : 0.0;
    m_summary.tracksPlayed = core.EventCount();
    m_summary.tracksSkipped = skipped;
    const std::string skippedText = skipped > 0 ? ", " + std::to_string(skipped) + " skipped" : "";
    char peakText[48] = "";
    if (!m_options.play)
        std::snprintf(peakText, sizeof peakText, ", peak %.1f dBFS", m_summary.peakDb);
    Report("%s%s: %s, %d track%s%s%s, %.0fx real time\n", m_options.play ? "played on " : "mix written to ",
           m_summary.outputPath.c_str(), Clock(m_summary.seconds).c_str(), m_summary.tracksPlayed,
           m_summary.tracksPlayed == 1 ? "" : "s", skippedText.c_str(), peakText, m_summary.speed);
    return skipped > 0 ? kTracksSkipped : kOk;
}
