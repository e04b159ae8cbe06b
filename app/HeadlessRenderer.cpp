#include "HeadlessRenderer.h"

#include "AnalysisWorker.h"
#include "AudioEngine.h"
#include "AudioSource.h"
#include "ControlTable.h"
#include "DemoTracks.h"
#include "DocumentKind.h"
#include "EntryAnalysis.h"
#include "FileReplacer.h"
#include "ListLoadReport.h"
#include "MixFileWriter.h"
#include "MixTracklist.h"
#include "OfflineOutput.h"
#include "OutputDeviceInfo.h"
#include "OutputDevices.h"
#include "OutputManager.h"
#include "RenderArguments.h"
#include "RenderCore.h"
#include "TerminalText.h"
#include "Tick.h"
#include "XmlPlaylist.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <thread>
#include <unistd.h>

namespace fs = std::filesystem;

std::atomic<int> CHeadlessRenderer::s_interruptSignal{0};

namespace {

// The largest magnitude among count samples (32768 for -32768).
int PeakOf(const int16_t* samples, size_t count) noexcept
{
    int peak = 0;
    size_t i = 0;
#if defined(__SSE2__)
    __m128i high = _mm_setzero_si128();
    __m128i low = _mm_setzero_si128();
    for (; i + 8 <= count; i += 8) {
        const __m128i eight = _mm_loadu_si128(reinterpret_cast<const __m128i*>(samples + i));
        high = _mm_max_epi16(high, eight);
        low = _mm_min_epi16(low, eight);
    }
    alignas(16) int16_t highs[8];
    alignas(16) int16_t lows[8];
    _mm_store_si128(reinterpret_cast<__m128i*>(highs), high);
    _mm_store_si128(reinterpret_cast<__m128i*>(lows), low);
    for (int k = 0; k < 8; ++k)
        peak = std::max({peak, static_cast<int>(highs[k]), -static_cast<int>(lows[k])});
#endif
    for (; i < count; ++i)
        peak = std::max(peak, std::abs(static_cast<int>(samples[i])));
    return peak;
}

constexpr double kRate = kEngineRate;
// A mix is replayed tick by tick from its stream; whatever the stream says, it has ended a few
// ticks (its first loads) after its last one.
constexpr uint64_t kMixEndMarginTicks = 64;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string ExtensionOf(const std::string& path)
{
    return Lower(fs::path(path).extension().string());
}

std::string Shown(const std::string& text)
{
    return CTerminalText::Escape(text);
}

// A message written for a message box, on one terminal line.
std::string OneLine(const std::string& text)
{
    std::string line;
    for (const char c : text) {
        if (c != '\n')
            line += c;
        else if (!line.empty() && line.back() != ' ')
            line += ' ';
    }
    return Shown(line);
}

// What stat says of a path, without following it into an exception.
enum class PathKind { Missing, Unreadable, Folder, File, Other };

PathKind KindOf(const std::string& path, int& error)
{
    struct stat info {};
    error = 0;
    if (::stat(path.c_str(), &info) != 0) {
        error = errno;
        return error == ENOENT || error == ENOTDIR ? PathKind::Missing : PathKind::Unreadable;
    }
    if (S_ISDIR(info.st_mode))
        return PathKind::Folder;
    return S_ISREG(info.st_mode) ? PathKind::File : PathKind::Other;
}

// Whether two paths name the same existing file (also through links).
bool SameFile(const std::string& a, const std::string& b)
{
    struct stat first {};
    struct stat second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 &&
           first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

// The player's folder of per-user data; empty when neither XDG_DATA_HOME nor HOME says.
std::string DataFolder()
{
    if (const char* data = std::getenv("XDG_DATA_HOME"); data != nullptr && data[0] == '/')
        return std::string(data) + "/quandel-player";
    if (const char* home = std::getenv("HOME"); home != nullptr && home[0] != '\0')
        return std::string(home) + "/.local/share/quandel-player";
    return {};
}

std::string DefaultDemoFolder()
{
    const std::string data = DataFolder();
    return data.empty() ? "quandel-demo" : data + "/demo";
}

// Where analyses are kept between runs; empty (no cache) when there is no data folder to make.
std::string DefaultAnalysisCache()
{
    const std::string data = DataFolder();
    std::error_code error;
    if (data.empty() || (!std::filesystem::create_directories(data, error) && error))
        return {};
    return data + "/analysis.txt";
}

// The name of a path without its extension, also for a folder given with a trailing slash.
std::string StemOf(const std::string& path)
{
    std::string trimmed = path;
    while (trimmed.size() > 1 && trimmed.back() == '/')
        trimmed.pop_back();
    fs::path p(trimmed);
    if (!p.has_extension())
        return trimmed;
    return p.replace_extension("").string();
}

} // namespace

// ---- Options -------------------------------------------------------------------------------

const char* CHeadlessRenderer::HelpText()
{
    return CRenderArguments::HelpText();
}

bool CHeadlessRenderer::ParseArguments(int argc, char** argv, Options& options, std::string& error,
                                       bool& help)
{
    return CRenderArguments::Parse(argc, argv, options, error, help);
}

void CHeadlessRenderer::Interrupt(int signal) noexcept
{
    s_interruptSignal.store(signal);
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
    const std::string folder = m_options.demoFolder.empty() ? DefaultDemoFolder() : m_options.demoFolder;
    std::vector<std::string> files;
    std::string error;
    if (!CDemoTracks::Write(folder, m_options.demoMp3, files, error)) {
        Report("quandel-render: %s\n", Shown(error).c_str());
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
        Report("quandel-render: cannot write the demo list %s\n", Shown(listPath).c_str());
        return false;
    }
    Report("demo tracks and list made in %s\n", Shown(folder).c_str());
    if (m_options.output.empty())
        m_options.output = folder + "/demo-mix.wav";
    return true;
}

void CHeadlessRenderer::ReportListProblems(const ListLoadReport& report, int& leftOut)
{
    for (const ListLoadReport::Dropped& dropped : report.dropped)
        Report("quandel-render: %s: %s, left out\n", Shown(dropped.location).c_str(), dropped.reason.c_str());
    leftOut += static_cast<int>(report.dropped.size());
    if (report.droppedUnlisted > 0) {
        Report("quandel-render: %d more entries left out that could not be played\n", report.droppedUnlisted);
        leftOut += report.droppedUnlisted;
    }
    if (report.beyondLimit > 0) {
        Report("quandel-render: %s%d more entr%s left out: a list holds at most %d\n",
               report.countingStopped ? "at least " : "", report.beyondLimit,
               report.beyondLimit == 1 ? "y" : "ies", CPlaylist::kMaxEntries);
        leftOut += report.beyondLimit;
    }
}

// The first input that opens decides the mode; later inputs join an Automix list.
bool CHeadlessRenderer::OpenInputs(CRenderCore& core, const std::vector<std::string>& inputs, int& leftOut)
{
    bool opened = false;
    for (const std::string& input : inputs) {
        int error = 0;
        const PathKind kind = KindOf(input, error);
        const DocumentKind document = DocumentKindOf(input);
        const char* problem = nullptr;
        if (kind == PathKind::Missing)
            problem = "no such file or folder";
        else if (kind == PathKind::Unreadable)
            problem = std::strerror(error);
        else if (kind == PathKind::Other)
            problem = "not a regular file or a folder";
        if (problem != nullptr) {
            Report("quandel-render: %s: %s\n", Shown(input).c_str(), problem);
            ++leftOut;
            continue;
        }
        ListLoadReport report;
        bool ok = false;
        if (!opened) {
            ok = core.OpenDocument(input, &report);
        } else if (core.PlaybackModeValue() == CPlayerCore::kDjMix || document == DocumentKind::MixFile) {
            Report("quandel-render: %s: ignored, a Mix-File plays alone\n", Shown(input).c_str());
            ++leftOut;
            continue;
        } else {
            ok = core.AppendDocument(input, &report) > 0;
        }
        ReportListProblems(report, leftOut);
        if (!ok) {
            if (document == DocumentKind::MixFile && !opened) {
                Report("quandel-render: %s: %s\n", Shown(input).c_str(),
                       Shown(core.Mix().LoadError()).c_str());
                ++leftOut;
            } else if (report.Empty()) {
                Report("quandel-render: %s: %s\n", Shown(input).c_str(),
                       kind == PathKind::Folder ? "holds no track"
                                                : "cannot be read as a list, a Mix-File or a track");
                ++leftOut;
            }
            continue;
        }
        if (!opened && core.List().Title().empty())
            m_listTitle = fs::path(StemOf(input)).filename().string();
        opened = true;
    }
    if (m_listTitle.empty())
        m_listTitle = core.List().Title();
    return opened;
}

// Every track is tried once before the run: one that is missing or that no decoder opens is
// named and left out, so the mix goes on without a gap where it would have been. A mix keeps
// its list whole: it names its tracks by their place in it.
int CHeadlessRenderer::CheckTracks(CRenderCore& core, std::vector<double>& seconds)
{
    const bool djMix = core.PlaybackModeValue() == CPlayerCore::kDjMix;
    CPlaylist& list = core.List();
    int skipped = 0;
    for (int i = 0; i < list.Count();) {
        TrackEntry& entry = list.Entry(i);
        const bool cd = ExtensionOf(entry.location) == ".cda";
        int error = 0;
        const PathKind kind = cd ? PathKind::File : KindOf(entry.location, error);
        std::string problem;
        double length = 0.0;
        if (kind == PathKind::Missing) {
            problem = "missing";
        } else if (kind == PathKind::Unreadable) {
            problem = std::strerror(error);
        } else if (kind != PathKind::File) {
            problem = "not a regular file";
        } else {
            std::unique_ptr<CAudioSource> source = CAudioSource::CreateForPath(entry.location.c_str());
            if (source && source->Open(entry.location.c_str()) != 0 && source->GetSampleRate() > 0) {
                const int64_t exact = source->GetTotalFrames();
                const double frames =
                    exact > 0 ? static_cast<double>(exact)
                              : static_cast<double>(source->GetBlockCount()) * source->GetBlockFrames();
                length = frames / source->GetSampleRate();
                source->Close();
            } else {
                problem = "cannot be decoded";
                if (source && source->GetOpenError() != nullptr)
                    problem += std::string(": ") + source->GetOpenError();
            }
        }
        if (!problem.empty()) {
            Report("quandel-render: %s: %s, skipped\n", Shown(entry.location).c_str(),
                   Shown(problem).c_str());
            ++skipped;
            if (djMix) {
                ++i;
                continue;
            }
            list.Remove(i, true);
            continue;
        }
        if (entry.playTime <= 0)
            entry.playTime = static_cast<int32_t>(std::lround(length));
        seconds.push_back(length);
        ++i;
    }
    return skipped;
}

// Every track of the list analysed on the worker's thread, this thread showing its progress;
// results go into the entries, a tempo the list gave staying. False when a signal ended it.
bool CHeadlessRenderer::AnalyseTracks(CRenderCore& core)
{
    CPlaylist& list = core.List();
    std::vector<CAnalysisWorker::Job> jobs;
    for (int i = 0; i < list.Count(); ++i) {
        if (ExtensionOf(list.Entry(i).location) != ".cda")
            jobs.push_back({list.Entry(i).id, list.Entry(i).location, false});
    }
    if (jobs.empty())
        return true;
    const bool terminal = !m_options.quiet && isatty(fileno(m_messages)) != 0;
    const int total = static_cast<int>(jobs.size());
    CAnalysisWorker worker(m_options.analysisCache.empty() ? DefaultAnalysisCache() : m_options.analysisCache,
                           CAnalysisWorker::Priority::Normal);
    worker.Add(std::move(jobs));
    while (!worker.WaitIdle(std::chrono::milliseconds(100))) {
        if (s_interruptSignal.load() != 0)
            return false;
        if (terminal)
            Report("\r\033[Kanalysing %d/%d", std::min(worker.GetProgress().done + 1, total), total);
    }
    int withTempo = 0;
    for (const CAnalysisWorker::Result& result : worker.TakeResults()) {
        if (TrackEntry* entry = list.EntryById(result.entryId); entry != nullptr) {
            CEntryAnalysis::Apply(result.analysis, *entry, TempoChoice::KeepListed);
            withTempo += entry->tempo > 0.0f ? 1 : 0;
        }
    }
    if (!m_options.quiet)
        Report("%sanalysed %d track%s, %d with a tempo\n", terminal ? "\r\033[K" : "", total,
               total == 1 ? "" : "s", withTempo);
    return true;
}

// The mix goes to -o, or next to the first input under its name; nothing the render reads is
// ever a place it writes.
bool CHeadlessRenderer::ChooseOutputs(CRenderCore& core, const std::vector<std::string>& inputs)
{
    std::vector<std::string> taken = inputs;
    const CPlaylist& list = core.List();
    for (int i = 0; i < list.Count(); ++i)
        taken.push_back(list.Entry(i).location);
    if (!core.Mix().Path().empty())
        taken.push_back(core.Mix().Path());
    auto namesInput = [&](const std::string& path) {
        return std::any_of(taken.begin(), taken.end(),
                           [&](const std::string& in) { return SameFile(in, path); });
    };
    if (m_options.output.empty() && !m_options.play) {
        const std::string stem = StemOf(inputs.front());
        m_options.output = stem + ".wav";
        if (namesInput(m_options.output))
            m_options.output = stem + "-mix.wav";
    }
    const std::vector<std::pair<const char*, std::string*>> outputs = {
        {"the mix", &m_options.output},
        {"the tracklist", &m_options.tracklist},
        {"the CUE sheet", &m_options.cueSheet}};
    for (size_t i = 0; i < outputs.size(); ++i) {
        const std::string& path = *outputs[i].second;
        if (path.empty() || path == "-" || (i == 0 && m_options.play))
            continue;
        int error = 0;
        if (KindOf(path, error) == PathKind::Folder) {
            Report("quandel-render: %s is a folder: %s needs a file name\n", Shown(path).c_str(),
                   outputs[i].first);
            return false;
        }
        if (namesInput(path)) {
            Report("quandel-render: %s is one of the inputs: %s is never written over it\n",
                   Shown(path).c_str(), outputs[i].first);
            return false;
        }
        for (size_t k = 0; k < i; ++k) {
            if (*outputs[k].second == path || SameFile(*outputs[k].second, path)) {
                Report("quandel-render: %s is named for both %s and %s\n", Shown(path).c_str(),
                       outputs[k].first, outputs[i].first);
                return false;
            }
        }
    }
    return true;
}

bool CHeadlessRenderer::WriteReports(CRenderCore& core, const std::vector<CoreEvent>& heard,
                                     uint64_t firstFrame, uint64_t endFrame)
{
    if (m_options.tracklist.empty() && m_options.cueSheet.empty())
        return true;
    CMixTracklist tracklist;
    for (const CoreEvent& event : heard) {
        const TrackEntry* entry = core.List().EntryById(event.entryId);
        if (entry != nullptr)
            tracklist.Add(static_cast<uint64_t>(event.tick) * 128, event.deck, entry->artist, entry->title,
                          entry->tempo);
    }
    tracklist.Cut(firstFrame, endFrame);
    bool ok = true;
    if (!m_options.tracklist.empty() &&
        !CFileReplacer::Replace(m_options.tracklist, tracklist.TracklistText())) {
        Report("quandel-render: %s: the tracklist cannot be written\n", Shown(m_options.tracklist).c_str());
        ok = false;
    }
    if (!m_options.cueSheet.empty()) {
        const fs::path wav(m_options.output);
        const fs::path cue(m_options.cueSheet);
        // Beside its sheet the file is named alone, so the two can move together.
        const std::string name =
            wav.parent_path() == cue.parent_path() ? wav.filename().string() : fs::absolute(wav).string();
        if (!CFileReplacer::Replace(m_options.cueSheet, tracklist.CueSheetText(m_listTitle, name))) {
            Report("quandel-render: %s: the CUE sheet cannot be written\n",
                   Shown(m_options.cueSheet).c_str());
            ok = false;
        }
    }
    return ok;
}

int CHeadlessRenderer::Run()
{
    s_interruptSignal.store(0);
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
    core.Automix().SetSkipSilence(m_options.skipSilence);
    core.Automix().SetLevelTracks(m_options.levelTracks);

    int leftOut = 0;
    if (!OpenInputs(core, inputs, leftOut)) {
        Report("quandel-render: nothing to play\n");
        return kNothingToPlay;
    }
    if (const char* notice = core.MixNotice(); notice != nullptr && notice[0] != '\0')
        Report("quandel-render: %s\n", notice);
    const bool djMix = core.PlaybackModeValue() == CPlayerCore::kDjMix;
    std::vector<double> lengths;
    const int skipped = leftOut + CheckTracks(core, lengths);
    if (m_options.analyse && !djMix && !AnalyseTracks(core))
        return kInterrupted + s_interruptSignal.load();
    double totalSeconds = 0.0;
    uint64_t limitFrame = CRenderCore::kOpenEnd;
    if (djMix) {
        core.SetPlaybackMode(CPlayerCore::kDjMix);
        if (const char* problem = core.MixStartProblem(); problem != nullptr && problem[0] != '\0') {
            Report("quandel-render: %s\n", OneLine(problem).c_str());
            return kNothingToPlay;
        }
        totalSeconds = core.Mix().TickCount() * kTickSeconds;
        limitFrame = (core.Mix().TickCount() + kMixEndMarginTicks) * kTickFrames;
    } else {
        core.SetPlaybackMode(CPlayerCore::kAutomix);
        if (core.List().Count() == 0) {
            Report("quandel-render: none of the tracks can be played\n");
            return kNothingToPlay;
        }
        for (size_t i = 0; i < lengths.size(); ++i)
            totalSeconds +=
                lengths[i] -
                (i > 0 ? CAutomix::ChangeOverOverlapSeconds(m_options.fadeSeconds, lengths[i]) : 0.0);
    }
    if (m_options.toSeconds >= 0.0) {
        totalSeconds = m_options.toSeconds;
        limitFrame =
            std::min<uint64_t>(limitFrame, static_cast<uint64_t>(std::llround(m_options.toSeconds * kRate)));
    }
    core.Arm(limitFrame);
    const auto firstFrame = static_cast<uint64_t>(std::llround(m_options.fromSeconds * kRate));
    totalSeconds -= m_options.fromSeconds;
    m_summary.estimatedSeconds = totalSeconds;

    if (!ChooseOutputs(core, inputs))
        return kUsage;
    m_summary.outputPath = m_options.play ? std::string("the sound card") : m_options.output;
    core.Controls().SetValue(ControlId::MasterVolume, 0, m_options.masterVolume, Marks::ChangedAndApply);

    // What is heard when, as the core reports it; drained on this thread, which is the
    // user-interface thread of the run.
    std::vector<CoreEvent> events;
    const bool terminal = !m_options.quiet && isatty(fileno(m_messages)) != 0;
    size_t eventsShown = 0;
    const auto started = std::chrono::steady_clock::now();
    auto lastShown = started;
    auto takeEvents = [&] {
        std::vector<CoreEvent> taken;
        core.PollEvents(&taken);
        for (const CoreEvent& event : taken)
            if (event.type == CoreEvent::Type::TrackStarted)
                events.push_back(event);
    };
    auto showEvents = [&] {
        for (; eventsShown < events.size(); ++eventsShown) {
            const CoreEvent& event = events[eventsShown];
            const uint64_t frame = static_cast<uint64_t>(event.tick) * 128;
            if (m_options.quiet || frame >= core.EndFrame())
                continue;
            const TrackEntry* entry = core.List().EntryById(event.entryId);
            const std::string title = entry != nullptr ? Shown(entry->title) : std::string("(no track)");
            Report("%s%7s  Deck %c  %s\n", terminal ? "\r\033[K" : "",
                   CTerminalText::Clock(static_cast<double>(frame) / kRate).c_str(),
                   event.deck == 1 ? 'B' : 'A', title.c_str());
        }
    };
    auto showProgress = [&] {
        if (!terminal)
            return;
        const double done = static_cast<double>(core.FramesDone()) / kRate - m_options.fromSeconds;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        const std::string line =
            CTerminalText::ProgressLine(CTerminalText::Columns(m_messages), std::max(done, 0.0), totalSeconds,
                                        wall > 0.0 ? (done + m_options.fromSeconds) / wall : 0.0);
        Report("\r\033[K%s", line.c_str());
    };
    // Now and then: the events taken and shown, the progress redrawn.
    auto catchUp = [&](bool force) {
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - lastShown < std::chrono::milliseconds(100))
            return;
        lastShown = now;
        takeEvents();
        showEvents();
        showProgress();
    };

    COutputManager manager;
    COutputDeviceInfo masterRecord;
    masterRecord.blockFrames = m_options.blockTicks * kTickFrames;
    masterRecord.mainGroupMask = 1;
    const auto blockMs = static_cast<uint32_t>(std::ceil(masterRecord.blockFrames * 1000.0 / kRate));
    CMixFileWriter writer(m_options.play ? std::string() : m_options.output);
    int peak = 0;
    // The block hook below lives as long as the manager's master, so what it refers to is here.
    CAudioEngine& engine = core.Engine();
    uint32_t blocks = 0;
    if (m_options.play) {
        if (GetDevice(0, masterRecord) != 0 || manager.OpenMaster(masterRecord) == nullptr) {
            Report("quandel-render: the sound card (ALSA \"default\") cannot be opened\n");
            return kOutputFailed;
        }
    } else {
        if (!writer.Open()) {
            Report("quandel-render: %s: %s\n", Shown(m_options.output).c_str(), writer.Error().c_str());
            return kOutputFailed;
        }
        core.Engine().SetSynchronousLoading(true);
        // Before each block: the decks' loads and refills, a stop asked for by a signal, and now
        // and then the events (at least every 64 blocks, long before the queue could fill).
        auto beforeBlock = [&, blockMs] {
            if (s_interruptSignal.load() != 0)
                core.RequestStop();
            engine.ServeRequestsAhead(blockMs);
            catchUp(++blocks % 64 == 0);
        };
        // Each block as rendered: the frames of it that lie in [from, end) go to the file.
        auto sink = [&](const void* samples, uint32_t, uint32_t frames) {
            const uint64_t blockEnd = core.FramesDone();
            const uint64_t blockStart = blockEnd - std::min<uint64_t>(frames, blockEnd);
            const uint64_t from = std::max(blockStart, firstFrame);
            const uint64_t to = std::min(blockEnd, core.EndFrame());
            if (to <= from)
                return;
            const auto* block = static_cast<const int16_t*>(samples) + (from - blockStart) * 2;
            const auto count = static_cast<uint32_t>(to - from);
            peak = std::max(peak, PeakOf(block, count * 2));
            if (!writer.Write(block, count))
                core.RequestStop();
        };
        if (manager.OpenMaster(masterRecord, std::make_unique<COfflineOutput>(beforeBlock, sink)) ==
            nullptr) {
            Report("quandel-render: the offline output cannot be opened\n");
            return kOutputFailed;
        }
    }

    ClientRecord clientRecord;
    core.SetRunStop(true);
    if (!m_options.play && !djMix)
        core.Prime(blockMs);
    if (!m_options.play) {
        const int threads =
            m_options.threads != 0 ? m_options.threads : (std::thread::hardware_concurrency() > 1 ? 2 : 1);
        engine.SetDecodeAhead(threads > 1);
    }
    // The offline master renders on this thread until the core says it is finished.
    manager.Start(core, clientRecord);
    if (!m_options.play)
        engine.SetDecodeAhead(false); // waits for the last decoding handed over
    if (m_options.play) {
        while (!core.Finished() && manager.Running()) {
            if (s_interruptSignal.load() != 0)
                core.RequestStop();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            catchUp(true);
        }
        manager.Stop();
    }
    if (terminal)
        Report("\r\033[K");
    takeEvents();
    showEvents();
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    manager.Close();

    const uint64_t endFrame = std::min(core.EndFrame(), core.FramesDone());
    if (const int signal = s_interruptSignal.load(); signal != 0) {
        writer.Abandon();
        Report("quandel-render: interrupted: no mix written%s\n",
               m_options.play || m_options.output == "-" ? ""
                                                         : ", an earlier file at the output stays as it was");
        return kInterrupted + signal;
    }
    if (writer.Failed()) {
        writer.Abandon();
        Report("quandel-render: %s: %s; an earlier file there stays as it was\n",
               Shown(m_options.output).c_str(), writer.Error().c_str());
        return kOutputFailed;
    }
    if (firstFrame >= endFrame) {
        writer.Abandon();
        Report("quandel-render: nothing to play after --from %s: the mix is %s long\n",
               CTerminalText::Clock(m_options.fromSeconds).c_str(),
               CTerminalText::Clock(static_cast<double>(endFrame) / kRate).c_str());
        return kNothingToPlay;
    }
    if (!m_options.play && !writer.Commit()) {
        Report("quandel-render: %s: %s; an earlier file there stays as it was\n",
               Shown(m_options.output).c_str(), writer.Error().c_str());
        return kOutputFailed;
    }
    const bool reportsWritten = WriteReports(core, events, firstFrame, endFrame);

    m_summary.seconds = static_cast<double>(endFrame - firstFrame) / kRate;
    m_summary.peakDb = peak > 0 ? 20.0 * std::log10(peak / 32768.0) : -200.0;
    m_summary.speed = wall > 0.0 ? static_cast<double>(endFrame) / kRate / wall : 0.0;
    m_summary.tracksPlayed = 0;
    for (const CoreEvent& event : events)
        m_summary.tracksPlayed += static_cast<uint64_t>(event.tick) * 128 < endFrame ? 1 : 0;
    m_summary.tracksSkipped = skipped;
    const std::string skippedText = skipped > 0 ? ", " + std::to_string(skipped) + " left out" : "";
    char peakText[48] = "";
    if (!m_options.play)
        std::snprintf(peakText, sizeof peakText, ", peak %.1f dBFS", m_summary.peakDb);
    const std::string where =
        m_options.output == "-" ? std::string("standard output") : Shown(m_summary.outputPath);
    Report("%s%s: %s, %d track%s%s%s%s, %.0fx real time\n", m_options.play ? "played on " : "mix written to ",
           where.c_str(), CTerminalText::Clock(m_summary.seconds).c_str(), m_summary.tracksPlayed,
           m_summary.tracksPlayed == 1 ? "" : "s", skippedText.c_str(), peakText,
           writer.IsRf64() ? " (RF64)" : "", m_summary.speed);
    if (!reportsWritten)
        return kOutputFailed;
    return skipped > 0 ? kTracksSkipped : kOk;
}
